#include "simconnectframer.h"
#include "simconnectmessages.h"

#include <cstdlib>
#include <cstring>

namespace simconnect {

ReceiveFramer::ReceiveFramer(std::uint32_t maxReceiveSize) : max_(maxReceiveSize)
{
    buf_ = static_cast<std::uint8_t *>(std::malloc(kStep));
    cap_ = buf_ ? kStep : 0;
}

ReceiveFramer::~ReceiveFramer()
{
    std::free(buf_);
    std::free(holder_);
}

ReceiveFramer::Result ReceiveFramer::makeRoom(std::uint32_t pendingSize)
{
    if (filled_ < cap_)
        return NeedMore;
    if (read_ > 0) {
        std::memmove(buf_, buf_ + read_, filled_ - read_);
        filled_ -= read_;
        read_ = 0;
        return NeedMore;
    }
    if (cap_ <= kGrowLimit) {
        auto *bigger = static_cast<std::uint8_t *>(std::realloc(buf_, cap_ + kStep));
        if (!bigger)
            return OutOfMemory;
        buf_ = bigger;
        cap_ += kStep;
        return NeedMore;
    }
    // A message that can never fit: drop it whole, so its remaining bytes are
    // not read as the start of further messages.
    skip_ = pendingSize - filled_;
    filled_ = read_ = 0;
    return NeedMore;
}

ReceiveFramer::Result ReceiveFramer::next()
{
    for (;;) {
        if (skip_ > 0) {
            const std::uint32_t n = filled_ - read_ < skip_ ? filled_ - read_ : skip_;
            read_ += n;
            skip_ -= n;
            if (read_ == filled_)
                read_ = filled_ = 0;
            if (skip_ > 0)
                return NeedMore;
        }
        const std::uint32_t unread = filled_ - read_;
        // Inside a run of padding every zero byte is skipped, so the next size
        // starts at the first byte that is not zero.
        if (padding_ && unread > 0) {
            if (buf_[read_] == 0) {
                ++read_;
                if (read_ == filled_)
                    read_ = filled_ = 0;
                continue;
            }
            padding_ = false;
        }
        if (unread < 4)
            return makeRoom(0);
        const std::uint32_t size = readU32LE(buf_ + read_);
        if (size > max_)
            return Abort;
        if (size == 0) {
            padding_ = true;
            ++read_;
            if (read_ == filled_)
                read_ = filled_ = 0;
            continue;
        }
        if (size < 4)
            return Abort;
        if (size > holderCap_) {
            auto *h = static_cast<std::uint8_t *>(std::realloc(holder_, size));
            if (!h)
                return OutOfMemory;
            holder_ = h;
            holderCap_ = size;
        }
        if (unread < size)
            return makeRoom(size);
        std::memcpy(holder_, buf_ + read_, size);
        holderLen_ = size;
        read_ += size;
        if (read_ == filled_)
            read_ = filled_ = 0;
        return Message;
    }
}

} // namespace simconnect
