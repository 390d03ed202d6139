#include "tosim.h"

#include <QDebug>

#include <cstring>

std::atomic<int> toSim::runFlag{1};

toSim::toSim(QObject *parent)
    : QThread(parent)
{
}

void toSim::run()
{
    auto *socket = new CUdpSocket;
    socket->open("127.0.0.1", 9998);
    {
        std::lock_guard<std::mutex> lock(m_socketLock);
        m_socket = socket;
    }
    while (runFlag.load() == 1) {
        char buffer[1024];
        std::memset(buffer, 0, sizeof buffer);
        // Only the first byte counts; a longer datagram is reported as
        // truncated by the socket and handled by that byte.
        socket->recvFrom(buffer, 1, nullptr);
        onControlByte(static_cast<unsigned char>(buffer[0]));
    }
    std::lock_guard<std::mutex> lock(m_socketLock);
    m_socket = nullptr;
    socket->close();
    delete socket;
}

void toSim::onControlByte(unsigned char byte)
{
    if (byte == 0x01) {
        qDebug() << "First Comm!";
    } else if (byte == 0xFF) {
        runFlag = 0;
        qDebug() << "Socket Close";
    }
}

void toSim::send(const char *data, std::uint32_t length, const sockaddr_in &address)
{
    // Sends what it is given, not a fixed 1024 bytes past the caller's data.
    std::lock_guard<std::mutex> lock(m_socketLock);
    if (m_socket)
        m_socket->sendTo(data, length, address);
}
