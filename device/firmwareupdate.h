#pragma once
// Firmware transfer arithmetic and the decisions of the update's 100 ms tick,
// without widgets: how an image is cut into numbered blocks, which images fit
// the block index, and what each outcome shows and logs.
#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <cstdint>

class QIODevice;

namespace Firmware {
constexpr int BlockImageBytes = 55;                // image bytes per block
constexpr int BlockPayloadLength = 57;             // u16 index + 55 bytes
constexpr qint64 MaxImageBytes = 65536LL * BlockImageBytes;   // beyond it the u16 index wraps
constexpr int TickMs = 100;
constexpr int ReadyTimeoutTicks = 299;             // a count above it ends the wait for ready
constexpr int ResultTimeoutTicks = 300;            // a count reaching it ends the wait for the verdict
constexpr int BlockPaceMs = 5;

// Update state (3 is not used).
enum State : int32_t { Idle = 0, WaitReady = 1, Sending = 2, WaitResult = 4 };
// Status byte of a 0x18 reply.
enum Status : uint8_t { Failed = 0, Ready = 1, Invalid = 2, Success = 3 };

// Index of the next block of the transfer in progress (program-wide; each
// transfer starts it at 0).
extern uint16_t blockIndex;

// Blocks an image of this size takes (an empty image takes none).
int blockCount(qint64 imageBytes);
bool imageFits(qint64 imageBytes);
// The 57-byte payload of block `index`: the index little-endian, then the 55
// image bytes from index * 55, zero-filled past the image's end.
void fillBlock(uint8_t *payload, const QByteArray &image, int index);

// An image read from where the file stands (its start, as the transfer seeks
// it): no more than the largest image and one byte, so that a file whose size
// is not known beforehand (a pipe, a device) shows that it is too large.
struct ImageRead {
    QByteArray bytes;
    // No read failed, and a file of known size gave all of it (or more than
    // an image holds). A read that fails part-way can hand back what it got
    // before with no error kept: only its size tells.
    bool whole = false;
};
ImageRead readImage(QIODevice &file);

// Waits in the event loop until `ms` have passed since `since` started. Timers
// of the event loop wake on whole milliseconds, so a plain 5 ms wait lasts up
// to 6 and a transfer of a thousand blocks grows by a tenth: the event loop
// waits all but the last one or two milliseconds, a polling loop the rest.
void waitSince(const QElapsedTimer &since, int ms);

// How an update ends.
enum class Outcome { StartTimeout, NoFile, Invalid, Success, ResultTimeout, TooLarge, Unreadable };
struct OutcomeReport {
    bool box = false;          // a box is shown
    bool critical = false;     // critical (else information)
    QString title, text;
    QString log;               // debug line before the time; empty: none
};
// `file` names the chosen image where the outcome says it.
OutcomeReport outcomeReport(Outcome outcome, const QString &file = QString());
}
