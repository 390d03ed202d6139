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
    m_socket = new CUdpSocket;
    m_socket->open("127.0.0.1", 9998);
    while (runFlag.load() == 1) {
        char buffer[1024];
        std::memset(buffer, 0, sizeof buffer);
        // Only the first byte counts; a longer datagram is reported as
        // truncated by the socket and handled by that byte.
        m_socket->recvFrom(buffer, 1, nullptr);
        onControlByte(static_cast<unsigned char>(buffer[0]));
    }
    m_socket->close();
    delete m_socket;
    m_socket = nullptr;
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
    if (m_socket)
        m_socket->sendTo(data, length, address);
}
