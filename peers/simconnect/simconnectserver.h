#pragma once
// A stand-in for the simulator's SimConnect server: listens on TCP (IPv4 and
// IPv6 loopback) and, on Windows, on a named pipe; answers Open, streams the
// subscribed variables of a settable aircraft state at a settable frame rate,
// answers system-state requests, and records everything it receives.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace simpeer {

struct ReceivedMessage {
    std::uint32_t id = 0;
    std::uint32_t size = 0;
    std::uint32_t version = 0;
    std::uint32_t sendId = 0;
    bool rejected = false;
    std::string text;                       // first string field (client, variable or state name)
    std::chrono::steady_clock::time_point at;
    std::vector<std::uint8_t> bytes;
};

class Channel;
class Session;

class SimConnectServer {
public:
    SimConnectServer();
    ~SimConnectServer();
    SimConnectServer(const SimConnectServer &) = delete;
    SimConnectServer &operator=(const SimConnectServer &) = delete;

    // Port 0 picks a free one; the chosen ports are returned by port4()/port6().
    bool listenTcp(std::uint16_t port4 = 0, std::uint16_t port6 = 0);
    // Windows only: "\\.\pipe\..." full name.
    bool listenPipe(const std::string &fullName);
    std::uint16_t port4() const { return port4_; }
    std::uint16_t port6() const { return port6_; }

    void setFrameRate(double hz);
    void setValue(const std::string &variable, double value);
    // That variable carries the frame's sequence number (1, 2, ...), for
    // measuring how old the values are when they reach their reader.
    void setStampVariable(const std::string &variable);
    // Silent: the sessions open now send nothing any more and stay open;
    // connections made later answer as usual.
    void setSilent(bool silent);
    // Sends QUIT to every client (the connections stay as they are).
    void sendQuit();
    // QUIT to every client, then closes them and stops listening.
    void stop();

    std::vector<ReceivedMessage> received();
    void clearReceived();
    int sessionsAccepted() const { return accepted_.load(); }
    int openSessions();
    std::uint64_t framesSent() const { return frames_.load(); }
    // When frame n was sent (steady clock); zero time when unknown.
    std::chrono::steady_clock::time_point frameTime(std::uint64_t n);

    // For the protocol checks of the sessions.
    void record(const ReceivedMessage &m);
    double valueFor(const std::string &variable, std::uint64_t frame);
    double frameRate();
    std::uint64_t nextFrame(std::chrono::steady_clock::time_point at);

private:
    void acceptLoop(std::intptr_t listener);
    void acceptPipeLoop(std::string name, void *first);
    static void *createPipeInstance(const std::string &name);
    void addSession(std::unique_ptr<Channel> ch);

    std::mutex lock_;
    std::vector<ReceivedMessage> received_;
    std::map<std::string, double> state_;
    std::string stamp_;
    double rate_ = 60.0;
    std::atomic<bool> silent_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<int> accepted_{0};
    std::atomic<std::uint64_t> frames_{0};
    std::vector<std::chrono::steady_clock::time_point> frameTimes_;
    std::vector<std::intptr_t> listeners_;
    std::vector<std::thread> acceptThreads_;
    std::vector<std::shared_ptr<Session>> sessions_;
    std::uint16_t port4_ = 0, port6_ = 0;
#ifdef _WIN32
    void *pipeStopEvent_ = nullptr;   // the named pipe exists on Windows only
#endif
};

} // namespace simpeer
