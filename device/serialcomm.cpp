#include "serialcomm.h"

#include <QAbstractItemView>
#include <QDebug>
#include <QMessageBox>
#include <QMetaEnum>
#include <QRegularExpression>

#include "crc.h"
#include "deviceframe.h"

namespace {
const uint8_t *bytesOf(const QByteArray &d) { return reinterpret_cast<const uint8_t *>(d.constData()); }

template <typename Enum>
void fillFromEnum(QComboBox *cb, bool showNumber)
{
    const QMetaEnum me = QMetaEnum::fromType<Enum>();
    for (int i = 0; i < me.keyCount(); ++i) {
        const int v = me.value(i);
        if (v == -1)
            continue;
        cb->addItem(showNumber ? QString::number(v) : QString::fromLatin1(me.key(i)), v);
    }
}
}

BaseSerialComm::BaseSerialComm(QObject *parent) : QSerialPort(parent), QSerialPortInfo() {}

void BaseSerialComm::fillBaudRates(QComboBox *cb)
{
    fillFromEnum<BaudRate>(cb, true);
    cb->setCurrentText(QStringLiteral("115200"));
}

void BaseSerialComm::fillDataBits(QComboBox *cb)
{
    fillFromEnum<QSerialPort::DataBits>(cb, true);
    cb->setCurrentText(QStringLiteral("8"));
}

void BaseSerialComm::fillParities(QComboBox *cb)
{
    fillFromEnum<QSerialPort::Parity>(cb, false);
    cb->setCurrentText(QStringLiteral("NoParity"));
}

void BaseSerialComm::fillStopBits(QComboBox *cb)
{
    const QMetaEnum me = QMetaEnum::fromType<QSerialPort::StopBits>();
    for (int i = 0; i < me.keyCount(); ++i) {
        const int v = me.value(i);
        if (v == -1)
            continue;
        cb->addItem(v == 3 ? QStringLiteral("1.5") : QString::number(v), v);
    }
    cb->setCurrentText(QStringLiteral("1"));
}

void BaseSerialComm::fillTerminators(QComboBox *cb)
{
    fillFromEnum<Terminator>(cb, false);
    cb->setCurrentText(QStringLiteral("NONE"));
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

void BaseSerialComm::fillPortCombo(QComboBox *cb)
{
    const QStringList ports = listPorts();
    if (ports.isEmpty()) {
        QMessageBox::information(nullptr, QStringLiteral("No Serial Device"), QStringLiteral("No serial devices found."));
        return;
    }
    int longest = 0;
    for (const QString &p : ports)
        longest = qMax(longest, p.toLocal8Bit().size());
    cb->addItems(ports);
    cb->view()->setFixedWidth(int(longest * cb->font().pointSize() * 0.75));
}

QByteArray BaseSerialComm::hexToBytes(const QString &text)
{
    QByteArray out;
    const QString s = text.simplified();
    if (s.isEmpty())
        return out;
    const QStringList tokens = s.split(QLatin1Char(' '));
    for (const QString &t : tokens) {
        bool ok = false;
        const uint v = t.toUInt(&ok, 16);
        if (!ok) {
            qDebug() << "非法的16进制字符：" << t;
            QMessageBox::warning(nullptr, QStringLiteral("错误："),
                                 QStringLiteral("非法的16进制字符: \"%1\"").arg(t));
            break;
        }
        out.append(char(v & 0xFF));
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
