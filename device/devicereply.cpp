#include "devicereply.h"

#include "byteorder.h"
#include "deviceframe.h"

#include <cstring>

StreamCut cutStreamFrame(const QByteArray &buffer, int checkedFront)
{
    StreamCut cut;
    if (buffer.size() < DeviceFrame::HeaderSize)
        return cut;
    const int n = uint8_t(buffer[DeviceFrame::OffLength]);
    const int total = n + DeviceFrame::HeaderSize + 2;
    if (buffer.size() < total)
        return cut;   // the frame's last byte has not arrived yet

    const auto *bytes = reinterpret_cast<const uint8_t *>(buffer.constData());
    cut.consumed = total;
    cut.frame = buffer.left(total);
    cut.receivedCrc = readU16LE(bytes + n + DeviceFrame::HeaderSize);
    if (total <= checkedFront) {
        cut.status = StreamCut::Good;
        return cut;
    }
    cut.computedCrc = crc16Modbus(bytes, size_t(n + DeviceFrame::HeaderSize));
    cut.status = cut.computedCrc == cut.receivedCrc ? StreamCut::Good : StreamCut::BadCrc;
    return cut;
}

namespace {
struct ImageSpan {
    int size = 0;
    bool isRecord = false;   // a device record, whose received image ends in the stream CRC
};

ImageSpan imageSpanOf(uint8_t command)
{
    switch (command) {
    case CmdDeviceInfo:
        return {UART_get_sys_config_t::size, true};
    case CmdReadChanConfig:
    case CmdReadUserChanConfig:
        return {UART_get_chan_config_t::size, true};
    case CmdWriteSysConfig:
    case CmdWriteChanConfig:
    case CmdSaveFlash:
    case CmdFactoryReset:
    case CmdBootMode:
        return {8, false};
    case CmdChannelStatus:
        return {10, false};
    default:
        return {};
    }
}
} // namespace

DeviceReply decodeReply(const QByteArray &streamForm)
{
    DeviceReply r;
    // Header and payload as a frame, zero beyond what the reply carried: a
    // short reply never lends its CRC bytes to the fields that follow.
    uint8_t f[DeviceFrame::Size] = {};
    const int n = streamForm.size() > DeviceFrame::OffLength ? uint8_t(streamForm[DeviceFrame::OffLength]) : 0;
    const int carried = qMin(qMin(n, DeviceFrame::MaxPayload) + DeviceFrame::HeaderSize, int(streamForm.size()));
    std::memcpy(f, streamForm.constData(), size_t(carried));
    r.deviceId = f[DeviceFrame::OffDeviceId];
    r.command = f[DeviceFrame::OffCommand];
    r.p0 = f[DeviceFrame::OffPayload];

    const ImageSpan span = imageSpanOf(r.command);
    r.imageSize = span.size;
    std::memcpy(r.image, f, size_t(span.size));
    if (span.isRecord && streamForm.size() == span.size)
        std::memcpy(r.image + span.size - 2, streamForm.constData() + span.size - 2, 2);

    if (r.command == CmdLiveData)
        for (int i = 0; i < 3; ++i)
            r.values[i] = readF32LE(f + DeviceFrame::OffPayload + 1 + 4 * i);
    return r;
}
