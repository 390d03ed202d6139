#pragma once
// Cuts the received byte stream into messages. Every message starts with its
// u32 total size; zero bytes between messages are padding.
#include <cstdint>

namespace simconnect {

class ReceiveFramer {
public:
    enum Result { NeedMore, Message, Abort, OutOfMemory };

    static constexpr std::uint32_t kStep = 2048;
    static constexpr std::uint32_t kGrowLimit = 0xFFFFF;

    explicit ReceiveFramer(std::uint32_t maxReceiveSize = 41088);
    ~ReceiveFramer();
    ReceiveFramer(const ReceiveFramer &) = delete;
    ReceiveFramer &operator=(const ReceiveFramer &) = delete;

    bool valid() const { return buf_ != nullptr; }
    void setMaxReceiveSize(std::uint32_t n) { max_ = n; }

    // Where the next read goes, and how much fits.
    std::uint8_t *freeSpace() { return buf_ + filled_; }
    std::uint32_t freeBytes() const { return cap_ - filled_; }
    void commit(std::uint32_t bytes) { filled_ += bytes; }

    // The next complete message (then message()/messageSize() hold a copy of it).
    Result next();
    const std::uint8_t *message() const { return holder_; }
    std::uint32_t messageSize() const { return holderLen_; }

    void clear()
    {
        filled_ = read_ = skip_ = 0;
        padding_ = false;
    }
    std::uint32_t capacity() const { return cap_; }
    std::uint32_t filled() const { return filled_; }
    std::uint32_t readPos() const { return read_; }

private:
    Result makeRoom(std::uint32_t pendingSize);

    std::uint8_t *buf_ = nullptr;
    std::uint32_t cap_ = 0;
    std::uint32_t filled_ = 0;
    std::uint32_t read_ = 0;
    bool padding_ = false;         // inside a run of zero bytes between messages
    std::uint32_t skip_ = 0;       // bytes still to drop of a message too large to hold
    std::uint32_t max_;
    std::uint8_t *holder_ = nullptr;
    std::uint32_t holderCap_ = 0;
    std::uint32_t holderLen_ = 0;
};

} // namespace simconnect
