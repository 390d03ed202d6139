#include "firmwareupdate.h"

#include <QCoreApplication>
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

OutcomeReport outcomeReport(Outcome outcome)
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
    }
    return r;
}

}
