#pragma once
// Listener for one-byte control datagrams on UDP 127.0.0.1:9998. Nothing in
// the program starts it (the port is also the Prepar3D bridge's).
#include <QThread>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "cudpsocket.h"

class toSim : public QThread
{
public:
    explicit toSim(QObject *parent = nullptr);

    void onControlByte(unsigned char byte);
    void send(const char *data, std::uint32_t length, const sockaddr_in &address);

    // Cleared by the stop byte 0xFF; program-wide.
    static std::atomic<int> runFlag;

protected:
    void run() override;

private:
    // The listener thread creates and deletes the socket while another
    // thread may send through it: both sides take the lock around it.
    std::mutex m_socketLock;
    CUdpSocket *m_socket = nullptr;
    sockaddr_in m_peer = CUdpSocket::makeAddress("127.0.0.1", 9998);
};
