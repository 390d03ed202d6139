#include "cxpdata.h"
#include "cudpsocket.h"
#include "simstate.h"
// (being written)
SimState xpSimState;
SimState bridgeSimState;
CXpData::CXpData() : QThread(nullptr) {}
CXpData::~CXpData() {}
void CXpData::stop() { m_stop = true; m_flagChanged.notify_all(); }
void CXpData::setSimMode(unsigned int mode) { m_mode = static_cast<int>(mode); }
void CXpData::setActive(int active) { m_active = active; m_flagChanged.notify_all(); }
bool CXpData::killProcessByName(const QString &) { return false; }
void CXpData::publishSimState() {}
int CXpData::isSimConnected() { return 0; }
bool CXpData::isProcessRunning(const QString &) { return false; }
bool CXpData::launchBridge(const QString &) { return false; }
CXpData::XPlaneFields CXpData::xplaneFields() const { return m_xp; }
CXpData::BridgeFields CXpData::bridgeFields() const { return m_bridge; }
int CXpData::xplaneConnected() const { return m_xpConnected; }
bool CXpData::takeBridgeDatagram(const char *, int) { return false; }
void CXpData::run()
{
    m_stop = false;
    while (!m_stop) {
        std::unique_lock<std::mutex> lock(m_flagMutex);
        m_flagChanged.wait_for(lock, std::chrono::milliseconds(100));
    }
}
