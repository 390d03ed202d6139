#include "serialcomm.h"

#include <QDebug>
#include <QMetaEnum>
#include <QRegularExpression>

#include "crc.h"
#include "deviceframe.h"

namespace {
const uint8_t *bytesOf(const QByteArray &d) { return reinterpret_cast<const uint8_t *>(d.constData()); }

template <typename Enum>
SerialChoices choicesOf(bool showNumber, const char *current)
{
    SerialChoices c;
    const QMetaEnum me = QMetaEnum::fromType<Enum>();
    for (int i = 0; i < me.keyCount(); ++i) {
        const int v = me.value(i);
        if (v == -1)
            continue;
        c.items.append({showNumber ? QString::number(v) : QString::fromLatin1(me.key(i)), v});
    }
    c.current = QString::fromLatin1(current);
    return c;
}
}

BaseSerialComm::BaseSerialComm(QObject *parent) : QSerialPort(parent), QSerialPortInfo() {}

SerialChoices BaseSerialComm::baudRateChoices() { return choicesOf<BaudRate>(true, "115200"); }
SerialChoices BaseSerialComm::dataBitsChoices() { return choicesOf<QSerialPort::DataBits>(true, "8"); }
SerialChoices BaseSerialComm::parityChoices() { return choicesOf<QSerialPort::Parity>(false, "NoParity"); }
SerialChoices BaseSerialComm::terminatorChoices() { return choicesOf<Terminator>(false, "NONE"); }

SerialChoices BaseSerialComm::stopBitsChoices()
{
    SerialChoices c = choicesOf<QSerialPort::StopBits>(true, "1");
    for (SerialChoices::Item &item : c.items)
        if (item.value == QSerialPort::OneAndHalfStop)
            item.text = QStringLiteral("1.5");
    return c;
}

int BaseSerialComm::readAllInto(QByteArray &out)
{
    out = readAll();
    return out.size();
}

qint64 BaseSerialComm::writeLatin1(const QString &text)
{
    return write(text.toLatin1());
}

void BaseSerialComm::appendTerminator(QByteArray &data, int terminator)
{
    if (data.isEmpty() || terminator == 0)
        return;
    if (terminator == CR_0x0D)
        data.append('\r');
    else if (terminator == LF_0xOA)
        data.append('\n');
    else if (terminator == CRLF_0x0D0A)
        data.append("\r\n");
}

bool BaseSerialComm::isHexText(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("\\A[a-f0-9A-F ]*\\z"));
    return re.match(text).hasMatch();
}

uint8_t BaseSerialComm::sum8(const QByteArray &d)
{
    uint8_t s = 0;
    for (char c : d)
        s = uint8_t(s + uint8_t(c));
    return s;
}

uint8_t BaseSerialComm::xor8(const QByteArray &d)
{
    uint8_t s = 0;
    for (char c : d)
        s ^= uint8_t(c);
    return s;
}

uint16_t BaseSerialComm::crc16Modbus(const QByteArray &d) { return ::crc16Modbus(d); }
uint16_t BaseSerialComm::crc16Kermit(const QByteArray &d) { return ::crc16Kermit(bytesOf(d), size_t(d.size())); }
uint32_t BaseSerialComm::crc32IsoHdlc(const QByteArray &d) { return ::crc32IsoHdlc(bytesOf(d), size_t(d.size())); }
uint8_t BaseSerialComm::crc8MaximDow(const QByteArray &d) { return ::crc8MaximDow(bytesOf(d), size_t(d.size())); }
uint16_t BaseSerialComm::crc16Usb(const QByteArray &d) { return ::crc16Usb(bytesOf(d), size_t(d.size())); }
uint16_t BaseSerialComm::crc16Ibm3740(const QByteArray &d) { return ::crc16Ibm3740(bytesOf(d), size_t(d.size())); }

uint16_t BaseSerialComm::sum8HexDigits(const QByteArray &d)
{
    static const char digits[] = "0123456789ABCDEF";
    const uint8_t s = sum8(d);
    return uint16_t(uint8_t(digits[s & 0x0F]) | (uint8_t(digits[s >> 4]) << 8));
}

QStringList BaseSerialComm::listPorts()
{
    QStringList out;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &p : ports)
        out << p.portName() + QLatin1Char(' ') + p.description();
    return out;
}

int BaseSerialComm::portListWidth(const QStringList &ports, int pointSize)
{
    int longest = 0;
    for (const QString &p : ports)
        longest = qMax(longest, p.toLocal8Bit().size());
    return int(longest * pointSize * 0.75);
}

QByteArray BaseSerialComm::hexToBytes(const QString &text, QString *badToken)
{
    const QString s = text.simplified();
    if (s.isEmpty())
        return QByteArray();
    QString bad;
    const QByteArray out = hexTokensToBytes(s.split(QLatin1Char(' ')), &bad);
    if (!bad.isNull())
        qDebug() << "非法的16进制字符：" << bad;
    if (badToken)
        *badToken = bad;
    return out;
}

QByteArray BaseSerialComm::hexTokensToBytes(const QStringList &tokens, QString *badToken, bool badAsZero)
{
    QByteArray out;
    for (const QString &t : tokens) {
        bool ok = false;
        const uint v = t.toUInt(&ok, 16);
        if (!ok && !badAsZero) {
            if (badToken)
                *badToken = t;
            break;
        }
        out.append(char(ok ? (v & 0xFF) : 0));
    }
    return out;
}

QStringList BaseSerialComm::openablePorts()
{
    QStringList out;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &p : ports) {
        QSerialPort port(p);
        if (port.open(QIODevice::ReadWrite)) {
            out << p.portName();
            port.close();
        }
    }
    return out;
}

Serial::Serial() : QObject(nullptr), m_port(new QSerialPort(nullptr)) {}

Serial::~Serial()
{
    delete m_port;
}

bool Serial::open(const QString &portName, qint32 baudRate)
{
    m_port->setPortName(portName);
    if (!m_port->open(QIODevice::ReadWrite))
        return false;
    m_port->setBaudRate(baudRate, QSerialPort::AllDirections);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    connect(m_port, &QSerialPort::readyRead, this, &Serial::readSignal);
    connect(m_port, &QSerialPort::readyRead, this, &Serial::readData);
    return true;
}

void Serial::close()
{
    m_port->clear(QSerialPort::AllDirections);
    m_port->close();
    disconnect(m_port, &QSerialPort::readyRead, this, &Serial::readSignal);
    disconnect(m_port, &QSerialPort::readyRead, this, &Serial::readData);
}

void Serial::write(const QByteArray &data) { m_port->write(data); }
void Serial::readData() { m_buffer = m_port->readAll(); }
QByteArray Serial::buffer() const { return m_buffer; }
bool Serial::waitReadable() { return m_port->waitForReadyRead(10); }
void Serial::clearBuffer() { m_buffer.clear(); }

uint16_t Serial::crc16Modbus(const QByteArray &d) { return ::crc16Modbus(d); }
uint16_t Serial::crc16Kermit(const QByteArray &d) { return ::crc16Kermit(bytesOf(d), size_t(d.size())); }
uint16_t Serial::crc16Usb(const QByteArray &d) { return ::crc16Usb(bytesOf(d), size_t(d.size())); }
uint16_t Serial::crc16Ibm3740(const QByteArray &d) { return ::crc16Ibm3740(bytesOf(d), size_t(d.size())); }
