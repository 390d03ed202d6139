#pragma once
// Serial port layer. It lists the available ports; no port is opened in this
// program. It returns what a window shows and shows nothing itself.
#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QStringList>
#include <QVector>
#include <cstdint>

// The entries of a serial-setting choice: the text shown and the value it
// stands for, and the text selected at first.
struct SerialChoices {
    struct Item {
        QString text;
        int value;
    };
    QVector<Item> items;
    QString current;
};

class BaseSerialComm : public QSerialPort, public QSerialPortInfo
{
    Q_OBJECT
public:
    enum BaudRate {
        Baud1200 = 1200, Baud2400 = 2400, Baud4800 = 4800, Baud9600 = 9600, Baud19200 = 19200,
        Baud38400 = 38400, Baud57600 = 57600, Baud115200 = 115200, Baud128000 = 128000,
        Baud256000 = 256000, Baud921600 = 921600, Baud1000000 = 1000000, UnknownBaud = -1
    };
    Q_ENUM(BaudRate)
    enum Terminator { NONE = 0, CRLF_0x0D0A = 0x0D0A, CR_0x0D = 0x0D, LF_0xOA = 0x0A, UnknownTerminator = -1 };
    Q_ENUM(Terminator)

    explicit BaseSerialComm(QObject *parent = nullptr);

    static SerialChoices baudRateChoices();
    static SerialChoices dataBitsChoices();
    static SerialChoices parityChoices();
    static SerialChoices stopBitsChoices();
    static SerialChoices terminatorChoices();

    int readAllInto(QByteArray &out);
    qint64 writeLatin1(const QString &text);
    static void appendTerminator(QByteArray &data, int terminator);
    static bool isHexText(const QString &text);

    // Checksums over a byte array.
    static uint8_t sum8(const QByteArray &d);
    static uint8_t xor8(const QByteArray &d);
    static uint16_t crc16Modbus(const QByteArray &d);
    static uint16_t crc16Kermit(const QByteArray &d);
    static uint32_t crc32IsoHdlc(const QByteArray &d);
    // The 8-bit sum as two upper-case hex digits: low nibble's digit in the low byte.
    static uint16_t sum8HexDigits(const QByteArray &d);
    static uint8_t crc8MaximDow(const QByteArray &d);
    static uint16_t crc16Usb(const QByteArray &d);
    static uint16_t crc16Ibm3740(const QByteArray &d);

    // "name description" of every available port.
    static QStringList listPorts();
    // Width of a drop-down list showing these entries in a font of that point size.
    static int portListWidth(const QStringList &ports, int pointSize);
    // Space-separated hexadecimal bytes; ends at the first token that is none
    // (logged, and returned through badToken).
    static QByteArray hexToBytes(const QString &text, QString *badToken = nullptr);
    // Each token as one hexadecimal byte. A token that is none ends the
    // conversion and is returned through badToken, or reads as 0 with badAsZero.
    static QByteArray hexTokensToBytes(const QStringList &tokens, QString *badToken, bool badAsZero = false);
    static QStringList openablePorts();
};

class Serial : public QObject
{
    Q_OBJECT
public:
    explicit Serial();
    ~Serial() override;

    bool open(const QString &portName, qint32 baudRate);
    void close();
    void write(const QByteArray &data);
    QByteArray buffer() const;
    bool waitReadable();
    void clearBuffer();

    static uint16_t crc16Modbus(const QByteArray &d);
    static uint16_t crc16Kermit(const QByteArray &d);
    static uint16_t crc16Usb(const QByteArray &d);
    static uint16_t crc16Ibm3740(const QByteArray &d);

signals:
    void readSignal();
public slots:
    void readData();

private:
    QSerialPort *m_port;
    QByteArray m_buffer;
};
