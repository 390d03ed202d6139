#include "firmwareupdate.h"

#include <QCoreApplication>
#include <QFileDevice>
#include <QThread>
#include <QtGlobal>
#include <cstring>

#include "byteorder.h"
#include "usb_hid.h"

namespace Firmware {

uint16_t blockIndex = 0;

int blockCount(qint64 imageBytes)
{
    if (imageBytes <= 0)
        return 0;
    return int((imageBytes + BlockImageBytes - 1) / BlockImageBytes);
}

bool imageFits(qint64 imageBytes)
{
    return imageBytes <= MaxImageBytes;
}

void fillBlock(uint8_t *payload, const QByteArray &image, int index)
{
    std::memset(payload, 0, BlockPayloadLength);
    writeU16LE(payload, uint16_t(index));
    const qint64 offset = qint64(index) * BlockImageBytes;
    if (offset < 0 || offset >= image.size())
        return;
    const qint64 n = qMin<qint64>(BlockImageBytes, image.size() - offset);
    std::memcpy(payload + 2, image.constData() + offset, size_t(n));
}

ImageRead readImage(QIODevice &file)
{
    ImageRead r;
    const qint64 limit = MaxImageBytes + 1;
    // Read in pieces: QIODevice::read into a byte array cannot tell a failed
    // read from the end of the file, the read into a buffer can.
    constexpr qint64 PieceBytes = 64 * 1024;
    QByteArray piece(int(PieceBytes), Qt::Uninitialized);
    bool failed = false;
    while (r.bytes.size() < limit) {
        const qint64 n = file.read(piece.data(), qMin<qint64>(PieceBytes, limit - r.bytes.size()));
        if (n < 0) {
            failed = true;
            break;
        }
        if (n == 0)
            break;
        r.bytes.append(piece.constData(), int(n));
    }
    if (const auto *f = qobject_cast<const QFileDevice *>(&file))
        failed = failed || f->error() != QFileDevice::NoError;
    if (!file.isSequential() && r.bytes.size() < limit && r.bytes.size() != file.size())
        failed = true;
    r.whole = !failed;
    return r;
}

void waitSince(const QElapsedTimer &since, int ms)
{
    const qint64 end = qint64(ms) * 1000000;
    // The whole milliseconds left: such a wait ends up to one millisecond
    // late, which the end's fraction of a millisecond mostly covers.
    const qint64 coarseMs = (end - since.nsecsElapsed()) / 1000000;
    if (coarseMs > 0)
        delayMs(uint16_t(coarseMs));
    // No sleep here: a thread's shortest sleep is a whole clock tick on some
    // systems (15.6 ms on Windows).
    while (since.nsecsElapsed() < end) {
        QCoreApplication::processEvents();
        QThread::yieldCurrentThread();
    }
}

OutcomeReport outcomeReport(Outcome outcome, const QString &file)
{
    OutcomeReport r;
    switch (outcome) {
    case Outcome::StartTimeout:
        r = {true, true, QStringLiteral("ERROR"), QStringLiteral("Response Timeout"),
             QStringLiteral("Update\u2014Device Not Answer")};
        break;
    case Outcome::NoFile:
        r = {true, true, QStringLiteral("ERROR"), QStringLiteral("Upgrade Failed"),
             QStringLiteral("Update\u2014loading File is Error")};
        break;
    case Outcome::Invalid:
        r = {true, true, QStringLiteral("ERROR"), QStringLiteral("Invalid Firmware"),
             QStringLiteral("Update\u2014\u2014File is invalid")};
        break;
    case Outcome::Success:
        r = {true, false, QStringLiteral("Success"), QStringLiteral("Upgrade Successful"),
             QStringLiteral("Update-Device Update Success")};
        break;
    case Outcome::ResultTimeout:
        break;   // ends silently
    case Outcome::TooLarge:
        r = {true, true, QStringLiteral("ERROR"),
             QStringLiteral("Firmware file too large: at most %1 bytes can be sent").arg(MaxImageBytes),
             QStringLiteral("Update\u2014File too large")};
        break;
    case Outcome::Unreadable:
        r = {true, true, QStringLiteral("ERROR"), QStringLiteral("Firmware file could not be read: %1").arg(file),
             QStringLiteral("Update\u2014File could not be read: %1").arg(file)};
        break;
    }
    return r;
}

}
