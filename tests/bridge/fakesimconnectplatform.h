#pragma once
// An in-memory stand-in for the operating system under the SimConnect client:
// configuration files and registry ports from maps, pipes and sockets whose
// reads and writes the test completes by hand.
#include "simconnectclient.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

class FakeIo : public simconnect::TransportOs {
public:
    explicit FakeIo(bool pipe) : pipe_(pipe) { live().push_back(this); }
    ~FakeIo() override { live().erase(std::find(live().begin(), live().end(), this)); }

    bool isPipe() const override { return pipe_; }
    void setNoDelay() override { noDelay = true; }
    std::uint32_t startRead(std::uint8_t *buf, std::uint32_t len, simconnect::IoRecord *rec) override
    {
        if (failReads)
            return 64;
        readBuf = buf;
        readLen = len;
        readRec = rec;
        ++readsStarted;
        return 0;
    }
    std::uint32_t startWrite(const std::uint8_t *buf, std::uint32_t len,
                             simconnect::IoRecord *rec) override
    {
        writes.emplace_back(buf, buf + len);
        ++writesEver;
        writeRec = rec;
        ++writesOutstanding;
        return 0;
    }
    void close() override { closed = true; }

    // Completes the outstanding write as the system would.
    bool completeWrite(std::uint32_t status = 0)
    {
        if (!writeRec || writesOutstanding == 0)
            return false;
        --writesOutstanding;
        simconnect::IoRecord *r = writeRec;
        r->owner->onIoCompletion(status, status == 0 ? std::uint32_t(writes.back().size()) : 0, r);
        return true;
    }
    // Lets every outstanding write complete, so the send queue runs dry.
    void drainWrites()
    {
        while (completeWrite()) {
        }
    }
    // Delivers bytes into the outstanding read (as much as fits per read).
    void deliver(const std::vector<std::uint8_t> &bytes)
    {
        std::size_t at = 0;
        while (at < bytes.size() && readRec) {
            const std::uint32_t n = std::min<std::uint32_t>(readLen, std::uint32_t(bytes.size() - at));
            std::memcpy(readBuf, bytes.data() + at, n);
            at += n;
            simconnect::IoRecord *r = readRec;
            readRec = nullptr;
            r->owner->onIoCompletion(0, n, r);
        }
    }
    void completeRead(std::uint32_t status, std::uint32_t bytes)
    {
        simconnect::IoRecord *r = readRec;
        readRec = nullptr;
        if (r)
            r->owner->onIoCompletion(status, bytes, r);
    }
    // What the system does after a close: pending reads and writes end cancelled.
    static void drainCancelled()
    {
        std::vector<FakeIo *> copy = live();
        for (FakeIo *f : copy) {
            if (std::find(live().begin(), live().end(), f) == live().end())
                continue;
            if (!f->closed)
                continue;
            // The write first: completing the read may free the transport.
            if (f->writesOutstanding > 0)
                f->completeWrite(simconnect::kStatusCancelled);
            if (std::find(live().begin(), live().end(), f) != live().end() && f->readRec)
                f->completeRead(simconnect::kStatusCancelled, 0);
        }
    }
    static std::vector<FakeIo *> &live()
    {
        static std::vector<FakeIo *> v;
        return v;
    }

    bool pipe_;
    bool noDelay = false;
    bool closed = false;
    bool failReads = false;
    std::uint8_t *readBuf = nullptr;
    std::uint32_t readLen = 0;
    simconnect::IoRecord *readRec = nullptr;
    simconnect::IoRecord *writeRec = nullptr;
    int writesOutstanding = 0;
    int readsStarted = 0;
    std::vector<std::vector<std::uint8_t>> writes;
    // Writes started by any fake transport, including ones already released.
    static inline int writesEver = 0;
};

struct FakeWorld {
    // file -> section -> key -> value
    std::map<std::wstring, std::map<std::wstring, std::map<std::wstring, std::wstring>>> files;
    std::vector<std::wstring> fileOrder{L"C:\\Public\\SimConnect.cfg", L"C:\\Docs\\SimConnect.cfg",
                                        L"C:\\Cwd\\SimConnect.cfg"};
    std::wstring regV4, regV6;
    std::vector<std::wstring> attempts;          // "pipe:<name>" or "tcp4:<addr>:<port>"
    std::vector<std::wstring> acceptPipes;       // pipe names that connect
    std::vector<std::wstring> acceptTcp;         // "<addr>:<port>" that connect
    FakeIo *lastIo = nullptr;
    int winsockStarts = 0, winsockStops = 0;
    std::vector<unsigned> sleeps;

    simconnect::Platform platform()
    {
        using namespace simconnect;
        Platform p;
        p.configFiles = [this] { return fileOrder; };
        p.profileString = [this](const std::wstring &f, const std::wstring &s, const std::wstring &k) {
            auto fi = files.find(f);
            if (fi == files.end())
                return std::wstring();
            auto si = fi->second.find(s);
            if (si == fi->second.end())
                return std::wstring();
            auto ki = si->second.find(k);
            return ki == si->second.end() ? std::wstring() : ki->second;
        };
        p.sectionPresent = [this](const std::wstring &f, const std::wstring &s) {
            auto fi = files.find(f);
            return fi != files.end() && fi->second.count(s) && !fi->second.at(s).empty();
        };
        p.registryPort = [this](Family f) { return f == Family::IPv4 ? regV4 : regV6; };
        p.startWinsock = [this] { ++winsockStarts; return true; };
        p.stopWinsock = [this] { ++winsockStops; };
        p.openPipe = [this](const std::wstring &name) -> std::unique_ptr<TransportOs> {
            attempts.push_back(L"pipe:" + name);
            if (std::find(acceptPipes.begin(), acceptPipes.end(), name) == acceptPipes.end())
                return nullptr;
            lastIo = new FakeIo(true);
            return std::unique_ptr<TransportOs>(lastIo);
        };
        p.openTcp = [this](Family f, const std::wstring &a, const std::wstring &port)
            -> std::unique_ptr<TransportOs> {
            const std::wstring key = a + L":" + port;
            attempts.push_back((f == Family::IPv4 ? L"tcp4:" : L"tcp6:") + key);
            if (std::find(acceptTcp.begin(), acceptTcp.end(), key) == acceptTcp.end())
                return nullptr;
            lastIo = new FakeIo(false);
            return std::unique_ptr<TransportOs>(lastIo);
        };
        p.sleepMs = [this](unsigned ms) { sleeps.push_back(ms); };
        p.lastError = [] { return 0u; };
        p.notify = [](void *, std::uint32_t, void *) {};
        p.hostInProcess = [] { return false; };
        p.registerWithHost = [](const std::uint8_t *, std::uint32_t) {};
        return p;
    }
};

inline const std::wstring kDefaultPipe = L"\\\\.\\pipe\\Lockheed Martin Prepar3D v4\\SimConnect";

// A received message: size, version, id, then the given u32 fields, then raw bytes.
inline std::vector<std::uint8_t> serverMessage(std::uint32_t id, std::vector<std::uint32_t> fields,
                                               std::vector<std::uint8_t> tail = {})
{
    std::vector<std::uint8_t> m(12 + 4 * fields.size() + tail.size());
    writeU32LE(m.data(), std::uint32_t(m.size()));
    writeU32LE(m.data() + 4, 4);
    writeU32LE(m.data() + 8, id);
    for (std::size_t i = 0; i < fields.size(); ++i)
        writeU32LE(m.data() + 12 + 4 * i, fields[i]);
    std::copy(tail.begin(), tail.end(), m.begin() + 12 + 4 * long(fields.size()));
    return m;
}
