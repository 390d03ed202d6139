#include "deviceprofilecsv.h"

#include <QFile>
#include <QList>
#include <QSaveFile>

#include "deviceframe.h"

namespace {
// A reply may carry more than the record (the reply parser takes at least the
// record's payload), never more than a frame holds.
bool recordLength(uint8_t length, int recordPayload)
{
    return length >= recordPayload && length <= DeviceFrame::MaxPayload;
}
}

bool holdsSystemRecord(const UART_set_sys_config_t &image)
{
    return image.command() == CmdDeviceInfo && recordLength(image.length(), UART_set_sys_config_t::PayloadLength);
}

bool holdsChannelRecord(const UART_set_chan_config_t &image)
{
    return (image.command() == CmdReadChanConfig || image.command() == CmdReadUserChanConfig)
           && recordLength(image.length(), UART_set_chan_config_t::PayloadLength);
}

QString channelNotReadText(int chan)
{
    return QStringLiteral("No channel %1 record read yet: nothing sent").arg(chan);
}

namespace {

template <int N>
void appendImage(QByteArray &out, const DeviceImage<N> &image, int firstLine)
{
    for (int k = 0; k < N; ++k) {
        out += QByteArray::number(firstLine + k);
        out += ',';
        out += QByteArray::number(image.data[k]);
        out += '\n';
    }
}

// The byte of each line position, in the profile's order.
uint8_t *bytePlace(DeviceProfileCsv &p, int position)
{
    if (position < DeviceProfileCsv::Chan0FirstLine)
        return &p.sys.data[position];
    if (position < DeviceProfileCsv::Chan1FirstLine)
        return &p.chan[0].data[position - DeviceProfileCsv::Chan0FirstLine];
    return &p.chan[1].data[position - DeviceProfileCsv::Chan1FirstLine];
}

} // namespace

QByteArray DeviceProfileCsv::toText() const
{
    QByteArray out;
    out.reserve(LineCount * 8);
    appendImage(out, sys, SysFirstLine);
    appendImage(out, chan[0], Chan0FirstLine);
    appendImage(out, chan[1], Chan1FirstLine);
    return out;
}

DeviceProfileCsv::ReadResult DeviceProfileCsv::fromText(const QByteArray &text)
{
    ReadResult r;
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();   // the end of the last line, not a line of its own
    r.lines = lines.size();

    DeviceProfileCsv loaded;
    for (int position = 0; position < lines.size(); ++position) {
        // The position comes from the line order; the index field is not read.
        const QString line = QString::fromLatin1(lines.at(position)).trimmed();
        const QStringList fields = line.split(QLatin1Char(','), Qt::SkipEmptyParts);
        if (fields.size() < 2) {
            r.refusal = Refusal::LineWithoutValue;
            r.badLine = position;
            return r;
        }
        if (position >= LineCount)
            continue;   // counted, never stored
        bool ok = false;
        const ushort value = fields.at(1).trimmed().toUShort(&ok, 10);
        *bytePlace(loaded, position) = uint8_t(ok ? value : 0);
    }
    if (r.lines != LineCount) {
        r.refusal = Refusal::LineCount;
        r.badLine = qMin(r.lines, int(LineCount));
        return r;
    }
    // A file of another kind must not be written into the device as a record.
    if (!holdsSystemRecord(loaded.sys)) {
        r.refusal = Refusal::NotSystemRecord;
        r.badLine = SysFirstLine + (loaded.sys.command() != CmdDeviceInfo ? 3 : 4);
        return r;
    }
    for (int c = 0; c < 2; ++c) {
        if (!holdsChannelRecord(loaded.chan[c])) {
            const int first = c == 0 ? Chan0FirstLine : Chan1FirstLine;
            const uint8_t cmd = loaded.chan[c].command();
            r.refusal = Refusal::NotChannelRecord;
            r.badLine = first + ((cmd == CmdReadChanConfig || cmd == CmdReadUserChanConfig) ? 4 : 3);
            return r;
        }
    }
    *this = loaded;
    return r;
}

DeviceProfileCsv::ReadResult DeviceProfileCsv::read(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        ReadResult r;
        r.refusal = Refusal::OpenFailed;
        return r;
    }
    // Read no more than a profile can hold: a file whose size is not known
    // beforehand (a pipe or device) is cut off one byte past the limit.
    QByteArray text;
    if (file.size() <= MaxFileBytes)
        text = file.read(MaxFileBytes + 1);
    if (file.size() > MaxFileBytes || text.size() > MaxFileBytes) {
        ReadResult r;
        r.refusal = Refusal::TooLarge;
        return r;
    }
    return fromText(text);
}

QString DeviceProfileCsv::write(const QString &path) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    const QByteArray text = toText();
    if (file.write(text) != text.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return error;
    }
    if (!file.commit())
        return file.errorString();
    return QString();
}

QString DeviceProfileCsv::ReadResult::message() const
{
    const int line = badLine + 1;
    switch (refusal) {
    case Refusal::None:
        return QString();
    case Refusal::OpenFailed:
        return QStringLiteral("The profile cannot be opened");
    case Refusal::TooLarge:
        return QStringLiteral("The file is too large for a profile (more than %1 bytes)").arg(MaxFileBytes);
    case Refusal::LineCount:
        if (lines > LineCount)
            return QStringLiteral("Line %1: a profile has only %2 lines").arg(line).arg(int(LineCount));
        return QStringLiteral("Line %1 is missing: a profile has %2 lines").arg(line).arg(int(LineCount));
    case Refusal::LineWithoutValue:
        return QStringLiteral("Line %1 holds no value").arg(line);
    case Refusal::NotSystemRecord:
        return QStringLiteral("Line %1: the profile holds no system record").arg(line);
    case Refusal::NotChannelRecord:
        return QStringLiteral("Line %1: the profile holds no channel %2 record")
            .arg(line)
            .arg(badLine >= Chan1FirstLine ? 1 : 0);
    }
    return QString();
}
