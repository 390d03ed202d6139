#include "device_emulator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

// The firmware's own CRC-16/MODBUS, written apart from the program's so that
// the emulator does not check the program with the program's code.
uint16_t emulatorCrc16(const uint8_t *d, size_t n)
{
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < n; ++i) {
        crc ^= d[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

namespace {
constexpr int QueueLimit = 32;       // input reports the host side buffers
constexpr int WrittenLimit = 4096;   // frames kept for inspection
constexpr double Pi = 3.14159265358979323846;

uint16_t modbus(const uint8_t *d, size_t n) { return emulatorCrc16(d, n); }

void putU32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

void putF32(uint8_t *p, float f)
{
    uint32_t w;
    std::memcpy(&w, &f, 4);
    putU32(p, w);
}

// Payload offsets inside a channel record (frame offset minus 5).
constexpr int PSlope1 = 17, PSlope2 = 21, PSlope3 = 25, PPoint1 = 29, PPoint2 = 33;
constexpr int PForceLimit = 9, PRangeLimit = 13;
}

DeviceEmulator::DeviceEmulator()
{
    reset();
}

void DeviceEmulator::reset()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_behaviour = Behaviour();
    m_deviceId = 7;
    factoryState();
    m_queue.clear();
    clearCounters();
    m_reads = 0;
    m_flashSaves = m_factoryResets = 0;
    m_bootMode = false;
    m_firmwareBlocks = 0;
    m_firmware.clear();
    m_firmwareGap = false;
    m_firmwareJudged = true;
    m_manualClock = false;
    m_clock = std::chrono::steady_clock::now();
    m_time = 0;
    m_noise = 12345;
}

void DeviceEmulator::restart()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_sys = m_flashSys;
    for (int c = 0; c < 2; ++c) {
        m_chan[c] = m_flashChan[c];
        m_user[c] = m_flashUser[c];
        m_axis[c] = Axis();
    }
    m_queue.clear();
}

namespace {
constexpr size_t FirmwareHeader = 12;
const uint8_t FirmwareMagic[4] = {'K', 'V', 'F', 'W'};
}

std::vector<uint8_t> DeviceEmulator::makeFirmwareImage(size_t bodyBytes, uint32_t seed)
{
    std::vector<uint8_t> image(FirmwareHeader + bodyBytes, 0);
    std::memcpy(image.data(), FirmwareMagic, 4);
    putU32(&image[4], uint32_t(bodyBytes));
    uint32_t x = seed ? seed : 1;
    for (size_t i = 0; i < bodyBytes; ++i) {
        x = x * 1664525u + 1013904223u;
        image[FirmwareHeader + i] = uint8_t(x >> 24);
    }
    const uint16_t crc = modbus(image.data() + FirmwareHeader, bodyBytes);
    image[8] = uint8_t(crc & 0xFF);
    image[9] = uint8_t(crc >> 8);
    return image;
}

bool DeviceEmulator::firmwareImageValid(const std::vector<uint8_t> &r)
{
    if (r.size() < FirmwareHeader || std::memcmp(r.data(), FirmwareMagic, 4) != 0)
        return false;
    const size_t body = size_t(r[4]) | (size_t(r[5]) << 8) | (size_t(r[6]) << 16) | (size_t(r[7]) << 24);
    if (body > r.size() - FirmwareHeader)
        return false;
    return modbus(r.data() + FirmwareHeader, body) == uint16_t(r[8] | (r[9] << 8));
}

std::vector<uint8_t> DeviceEmulator::firmwareReceived() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_firmware;
}

// Factory records, also in flash, and the yoke at rest.
void DeviceEmulator::factoryState()
{
    factoryRecords();
    m_flashSys = m_sys;
    for (int c = 0; c < 2; ++c) {
        m_flashChan[c] = m_chan[c];
        m_flashUser[c] = m_user[c];
        m_axis[c] = Axis();
    }
}

void DeviceEmulator::factoryRecords()
{
    m_sys.fill(0);
    putU32(&m_sys[0], 0x00000201u);                                    // hardware V 1.2.0
    putU32(&m_sys[4], 0x00040103u);                                    // firmware V 3.1.4
    putU32(&m_sys[8], (7u << 24) | (5u << 19) | (3u << 15) | (24u << 8) | 1u);   // 01.240305.07
    putU32(&m_sys[12], 2);                                             // two force channels
    for (int c = 0; c < 2; ++c) {
        std::array<uint8_t, 52> r{};
        r[0] = uint8_t(c);
        r[1] = 1;   // parameter row 0
        r[2] = 2;   // motor model
        const float values[11] = {200.0f, c == 0 ? 120.0f : 60.0f, 20.0f, 3.0f, 2.0f, 3.0f,
                                  -5.0f, 5.0f, 0.5f, 0.2f, 40.0f};
        for (int i = 0; i < 11; ++i)
            putF32(&r[5 + 4 * i], values[i]);
        r[49] = 1;  // master button
        r[50] = 2;  // trim up
        r[51] = 3;  // trim down
        m_chan[c] = r;
        m_user[c] = r;
    }
}

float DeviceEmulator::f32At(const uint8_t *p) const
{
    uint32_t w = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    float f;
    std::memcpy(&f, &w, 4);
    return std::isfinite(f) ? f : 0.0f;
}

int DeviceEmulator::writeReport(const uint8_t *data, size_t length)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!data || length < 65 || data[0] != 0x81)
        return -1;
    if (m_behaviour.failWriteCount != 0) {
        if (m_behaviour.failWriteCount > 0)
            --m_behaviour.failWriteCount;
        return -1;
    }
    Frame f;
    std::memcpy(f.data(), data + 1, 64);
    ++m_counts[f[3]];
    ++m_total;
    if (m_writeObserver)
        m_writeObserver(f);
    if (m_behaviour.recordWrites) {
        m_written.push_back(f);
        if (int(m_written.size()) > WrittenLimit)
            m_written.pop_front();
    }
    // A frame whose CRC does not match is ignored, as the firmware would.
    const uint16_t crc = modbus(f.data(), 62);
    if (f[62] == uint8_t(crc & 0xFF) && f[63] == uint8_t(crc >> 8))
        handleFrame(f);
    return int(length);
}

int DeviceEmulator::readReport(uint8_t *data, size_t length, int timeoutMs)
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    ++m_reads;
    if (m_behaviour.failReadCount != 0) {
        if (m_behaviour.failReadCount > 0)
            --m_behaviour.failReadCount;
        return -1;
    }
    maybeJudgeFirmware();
    if (!m_queue.empty() && m_queue.front().hold <= 0) {
        const Frame f = m_queue.front().f;
        m_queue.pop_front();
        const size_t n = std::min<size_t>(length, 64);
        std::memcpy(data, f.data(), n);
        return int(n);
    }
    if (!m_queue.empty())
        --m_queue.front().hold;
    const bool wait = m_behaviour.readWaits;
    lock.unlock();
    if (wait) {
        // Nothing to deliver: a real read blocks for its time-out. Capped so a
        // blocking read of a silent device cannot hang the caller.
        const int ms = timeoutMs < 0 ? 10 : std::min(timeoutMs, 20);
        if (ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    return 0;
}

void DeviceEmulator::hostClosed()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    // Pending input reports are lost with the last handle.
    m_queue.clear();
}

void DeviceEmulator::injectReply(const Frame &f, int holdReads)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_queue.push_back({f, holdReads});
}

int DeviceEmulator::framesWritten(uint8_t command) const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const auto it = m_counts.find(command);
    return it == m_counts.end() ? 0 : it->second;
}

int DeviceEmulator::framesWrittenTotal() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_total;
}

std::vector<DeviceEmulator::Frame> DeviceEmulator::writtenFrames() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return std::vector<Frame>(m_written.begin(), m_written.end());
}

void DeviceEmulator::clearCounters()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_counts.clear();
    m_total = 0;
    m_written.clear();
}

void DeviceEmulator::setWriteObserver(std::function<void(const Frame &)> observer)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_writeObserver = std::move(observer);
}

int DeviceEmulator::pendingReplies() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return int(m_queue.size());
}

void DeviceEmulator::reply(const Frame &req, const uint8_t *payload, int n)
{
    if (m_behaviour.silent)
        return;
    if (int(m_queue.size()) >= QueueLimit)
        return;   // the host's input buffer is full: the report is lost
    Frame f{};
    n = std::max(0, std::min(n, 57));
    f[0] = 0xAE;
    f[1] = req[1];
    f[2] = m_deviceId;
    f[3] = req[3];
    f[4] = uint8_t(n);
    if (n > 0)
        std::memcpy(&f[5], payload, size_t(n));
    const uint16_t crc = modbus(f.data(), 62);
    f[62] = uint8_t(crc & 0xFF);
    f[63] = uint8_t(crc >> 8);
    if (m_behaviour.corruptCrcCount != 0) {
        f[62] ^= 0x5A;
        if (m_behaviour.corruptCrcCount > 0)
            --m_behaviour.corruptCrcCount;
    }
    m_queue.push_back({f, m_behaviour.replyDelayReads});
}

void DeviceEmulator::handleFrame(const Frame &f)
{
    const uint8_t cmd = f[3];
    const int n = std::min<int>(f[4], 57);
    const uint8_t *p = &f[5];
    const int ch = p[0];
    switch (cmd) {
    case 0x10: {
        std::array<uint8_t, 20> s = m_sys;
        if (m_behaviour.channelCountOverride >= 0)
            putU32(&s[12], uint32_t(m_behaviour.channelCountOverride));
        reply(f, s.data(), 20);
        break;
    }
    case 0x11:
        if (n < 20) {
            replyByte(f, 0);
            break;
        }
        // The firmware version and the channel count are facts of the
        // device; the rest of the record is taken as written.
        std::memcpy(&m_sys[0], p, 4);
        std::memcpy(&m_sys[8], p + 8, 4);
        std::memcpy(&m_sys[16], p + 16, 4);
        replyByte(f, 1);
        break;
    case 0x12:
    case 0x14:
        if (ch > 1) {
            replyByte(f, 0);
            break;
        }
        reply(f, (cmd == 0x12 ? m_chan[ch] : m_user[ch]).data(), 52);
        break;
    case 0x13:
    case 0x15:
        if (n < 52 || ch > 1) {
            replyByte(f, 0);
            break;
        }
        std::memcpy((cmd == 0x13 ? m_chan[ch] : m_user[ch]).data(), p, 52);
        replyByte(f, 1);
        break;
    case 0x16:
        m_flashSys = m_sys;
        for (int c = 0; c < 2; ++c) {
            m_flashChan[c] = m_chan[c];
            m_flashUser[c] = m_user[c];
        }
        ++m_flashSaves;
        replyByte(f, 1);
        break;
    case 0x17:
        factoryState();
        ++m_factoryResets;
        replyByte(f, 1);
        break;
    case 0x18:
        if (m_behaviour.bootLoaderSilent)
            break;
        if (n == 0) {
            if (m_behaviour.bootEntryFails) {
                replyByte(f, 0);
                break;
            }
            // Entry, or (already in boot mode) the start of a transfer.
            m_bootMode = true;
            m_firmwareBlocks = 0;
            m_firmware.clear();
            m_firmwareGap = false;
            m_firmwareJudged = true;
            replyByte(f, 1);
        } else {
            if (!m_bootMode) {
                replyByte(f, 0);
                break;
            }
            // A block lands where its index puts it; an index out of turn
            // (a wrapped or lost block) spoils the image.
            const int index = p[0] | (p[1] << 8);
            if (index != int(m_firmwareBlocks & 0xFFFF))
                m_firmwareGap = true;
            const size_t at = size_t(index) * 55;
            if (m_firmware.size() < at + 55)
                m_firmware.resize(at + 55, 0);
            std::memcpy(&m_firmware[at], p + 2, 55);
            ++m_firmwareBlocks;
            m_firmwareJudged = false;
            m_lastBlock = std::chrono::steady_clock::now();
            m_lastBlockReq = f;
            replyByte(f, 1);
        }
        break;
    case 0x19:
        m_bootMode = false;
        replyByte(f, 1);
        break;
    case 0x30: {
        if (ch > 1) {
            replyByte(f, 0xFF);
            break;
        }
        catchUpMotion();
        uint8_t out[13];
        out[0] = uint8_t(ch);
        putF32(out + 1, m_axis[ch].x);
        putF32(out + 5, m_axis[ch].force);
        putF32(out + 9, m_axis[ch].trim);
        reply(f, out, 13);
        break;
    }
    case 0x43: {
        uint8_t out[5] = {uint8_t(ch), 0, 0, 0, 0};
        if (ch <= 1) {
            catchUpMotion();
            // Motor temperature rises a little with the force it holds.
            out[1] = uint8_t(35 + std::min(20, int(std::fabs(m_axis[ch].force) / 10.0f)));
            out[2] = uint8_t(m_bootMode ? 3 : m_behaviour.systemState);
            out[3] = uint8_t(m_behaviour.axisState[ch]);
        }
        reply(f, out, 5);
        break;
    }
    case 0x31:
        if (ch <= 1 && n >= 12) {
            catchUpMotion();
            Axis &a = m_axis[ch];
            a.trimMode = p[1];
            a.hardwareTrim = p[2] == 1;
            a.trimSpeed = f32At(p + 4);
            a.trimTarget = f32At(p + 8);
            if (a.trimMode == 4)
                a.trim = 0.0f;   // released: the trim goes back to the centre
        }
        replyByte(f, 1);
        break;
    case 0x32:
        if (ch <= 1) {
            catchUpMotion();
            Axis &a = m_axis[ch];
            if (n == 13) {
                a.inputForce = f32At(p + 1);
                // A force input of zeros releases the effect forces too.
                if (a.inputForce == 0.0f && f32At(p + 5) == 0.0f && f32At(p + 9) == 0.0f) {
                    a.effectForce = a.springCoeff = a.springZone = 0.0f;
                    a.lowSpeedAmplitude = a.lowSpeedOffset = 0.0f;
                }
            } else if (n >= 21) {
                a.effectForce = f32At(p + 1);
                a.springZone = std::fabs(f32At(p + 5));
                a.springCoeff = f32At(p + 9);
                a.lowSpeedAmplitude = f32At(p + 13);
                a.lowSpeedOffset = f32At(p + 17);
            }
        }
        replyByte(f, 1);
        break;
    case 0x40:
        if (ch <= 1 && n >= 21) {
            std::memcpy(&m_user[ch][PSlope1], p + 1, 20);
        }
        replyByte(f, 1);
        break;
    case 0x42:
        if (ch <= 1 && n >= 21) {
            catchUpMotion();
            const int mode = int(std::lround(f32At(p + 17)));
            if (mode >= 0 && mode <= 2)
                startVibration(m_axis[ch], mode, p + 1);
        }
        replyByte(f, 1);
        break;
    default:
        reply(f, nullptr, 0);
        break;
    }
}

void DeviceEmulator::maybeJudgeFirmware()
{
    if (m_firmwareJudged || !m_queue.empty())
        return;
    if (std::chrono::steady_clock::now() - m_lastBlock < std::chrono::milliseconds(100))
        return;
    m_firmwareJudged = true;
    const bool ok = !m_firmwareGap && !m_behaviour.rejectFirmware && firmwareImageValid(m_firmware);
    replyByte(m_lastBlockReq, ok ? 3 : 2);
    if (ok)
        m_bootMode = false;   // the new firmware starts
}

float DeviceEmulator::curveForce(int ch, float x) const
{
    const uint8_t *r = m_user[ch].data();
    const float s1 = f32At(r + PSlope1), s2 = f32At(r + PSlope2), s3 = f32At(r + PSlope3);
    float p1 = f32At(r + PPoint1), p2 = f32At(r + PPoint2);
    if (p1 > p2)
        std::swap(p1, p2);
    if (x < p1)
        return s2 * p1 + s1 * (x - p1);
    if (x > p2)
        return s2 * p2 + s3 * (x - p2);
    return s2 * x;
}

float DeviceEmulator::trimSpeed(int ch) const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_axis[ch & 1].trimSpeed;
}

float DeviceEmulator::hostForces(int ch) const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const Axis &a = m_axis[ch & 1];
    return std::fabs(a.inputForce) + std::fabs(a.effectForce) + std::fabs(a.springCoeff)
           + std::fabs(a.lowSpeedAmplitude);
}

float DeviceEmulator::vibrationAmplitude(int ch, int mode) const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (mode < 0 || mode > 2)
        return 0.0f;
    const Vibration &v = m_axis[ch & 1].vib[mode];
    return v.left != 0 ? v.amplitude : 0.0f;
}

void DeviceEmulator::startVibration(Axis &a, int mode, const uint8_t *values)
{
    // values: amplitude (N) and three more whose meaning depends on the mode.
    Vibration &v = a.vib[mode];
    const float amplitude = std::fabs(f32At(values));
    const float b = f32At(values + 4), c = f32At(values + 8), d = f32At(values + 12);
    if (amplitude == 0.0f) {
        v = Vibration();
        return;
    }
    v.amplitude = amplitude;
    switch (mode) {
    case 0: {
        // b Hz for c cycles: the engine hums on (10000 cycles), a landing
        // bump is one cycle, long enough to be felt.
        v.frequency = std::max(1.0f, std::min(100.0f, b));
        const double cycles = std::max(1.0f, c);
        v.left = cycles >= 1000 ? -1.0 : std::max(0.3, cycles / v.frequency);
        v.phase = 0;
        break;
    }
    case 1:
        // Bumps of random height at d per second (a rougher field gives more).
        v.frequency = std::max(2.0f, std::min(60.0f, d));
        v.left = -1.0;
        break;
    default:
        v.frequency = (c >= 1.0f && c <= 100.0f) ? c : 15.0f;
        v.left = -1.0;
        break;
    }
}

float DeviceEmulator::vibrationForce(Vibration &v, int mode, double dt)
{
    if (v.left == 0)
        return 0.0f;
    float out;
    if (mode == 1) {
        v.untilNext -= dt;
        if (v.untilNext <= 0) {
            m_noise = m_noise * 1664525u + 1013904223u;
            v.level = (float((m_noise >> 8) & 0xFFFF) / 65535.0f * 2.0f - 1.0f) * v.amplitude;
            v.untilNext += 1.0 / v.frequency;
        }
        out = v.level;
    } else {
        v.phase += 2.0 * Pi * v.frequency * dt;
        out = float(v.amplitude * std::sin(v.phase));
        if (v.left > 0) {
            // A burst fades out over its length.
            out *= float(std::min(1.0, v.left / 0.3));
            v.left = std::max(0.0, v.left - dt);
            if (v.left == 0)
                v = Vibration();
        }
    }
    return out;
}

void DeviceEmulator::catchUpMotion()
{
    if (m_manualClock)
        return;
    const auto now = std::chrono::steady_clock::now();
    double dt = std::chrono::duration<double>(now - m_clock).count();
    m_clock = now;
    step(std::min(dt, 0.5));
}

void DeviceEmulator::advance(double seconds)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    step(seconds);
}

namespace {
// 0 to 1 with zero slope at both ends.
double smoothStep(double u)
{
    u = std::max(0.0, std::min(1.0, u));
    return u * u * (3.0 - 2.0 * u);
}
}

namespace {
// Trim rates in units per second: per unit of commanded speed (the host's trim
// step), and at most, so that the trim stops within the host's dead band of
// 0.2 units even when its reference lags a poll behind; the autopilot's
// location is followed faster, and the yoke's trim buttons are slower.
constexpr float TrimRatePerSpeed = 0.2f;
constexpr float MaxTrimRate = 2.0f;
constexpr float AutopilotTrimRate = 5.0f;
constexpr float ButtonTrimRate = 0.5f;
}

float DeviceEmulator::trimRate(int ch, Axis &a, double dt)
{
    switch (a.trimMode) {
    case 3: {
        // Towards the autopilot's location, without passing it in a 1 ms step.
        const float diff = a.trimTarget - a.trim;
        return std::max(-AutopilotTrimRate, std::min(AutopilotTrimRate, diff / 0.001f));
    }
    case 4:
        return 0.0f;   // released: held at the centre
    default:
        break;
    }
    float rate = std::max(-MaxTrimRate, std::min(MaxTrimRate, a.trimSpeed * TrimRatePerSpeed));
    // Where the yoke's own trim buttons work, the pilot trims away a force he
    // has held for a while (the yoke well off its trim) until it is nearly gone.
    const bool holding = m_behaviour.pilotHand && a.hardwareTrim && gripAt(ch) > 0.99;
    const float off = std::fabs(a.x - a.trim);
    a.heldOffTrim = holding && off > 2.5f ? a.heldOffTrim + dt : 0.0;
    a.pilotTrimming = holding && (a.pilotTrimming ? off > 0.5f : a.heldOffTrim > 1.5);
    if (a.pilotTrimming)
        rate += std::copysign(ButtonTrimRate, a.x - a.trim);
    return rate;
}

double DeviceEmulator::gripAt(int ch) const
{
    // The hand holds the yoke for most of a cycle, lets go within a quarter
    // second (the yoke springs back to trim) and takes hold again slowly. The
    // two hands' cycles differ so the channels never move alike.
    const double period = ch == 0 ? 19.0 : 23.0;
    const double u = std::fmod(m_time + 5.0 + 7.0 * ch, period);
    const double letGo = period - 4.0;
    if (u < 1.5)
        return smoothStep(u / 1.5);
    if (u >= letGo)
        return 1.0 - smoothStep((u - letGo) / 0.25);
    return 1.0;
}

float DeviceEmulator::handForce(int ch, const Axis &a, float range) const
{
    const double grip = gripAt(ch);
    if (grip <= 0.0)
        return 0.0f;

    // Where the hand is heading: slow sines of unrelated periods, at most 65 %
    // of the travel. It pushes with the force the channel's curve needs there,
    // seen from the trim, so the excursion suits whatever curve the host has
    // sent and trimming takes the force away, not the place.
    const double tau = a.handClock, c = ch;
    const double s = 0.55 * std::sin(2 * Pi * 0.07 * tau + 1.3 * c)
                     + 0.30 * std::sin(2 * Pi * 0.16 * tau + 0.4 + 2.1 * c)
                     + 0.15 * std::sin(2 * Pi * 0.31 * tau + 2.0 + 0.7 * c);
    const float target = float(0.65 * range * s);
    return float(grip) * curveForce(ch, target - a.trim);
}

void DeviceEmulator::step(double dt)
{
    // Each axis: a mass on the force curve of its user record, centred on the
    // trim position, pushed by the commanded forces, a faint tremor and (when
    // switched on) a pilot's hand.
    const double h = 0.001;
    for (double t = 0; t < dt; t += h) {
        const double d = std::min(h, dt - t);
        m_time += d;
        for (int c = 0; c < 2; ++c) {
            Axis &a = m_axis[c];
            const uint8_t *r = m_user[c].data();
            float range = f32At(r + PRangeLimit);
            if (range <= 0.0f || range > 100.0f)
                range = 20.0f;
            const float limit = std::max(1.0f, f32At(r + PForceLimit));

            a.trim = std::max(-range, std::min(range, a.trim + float(trimRate(c, a, d) * d)));

            // The airspeed spring scales the curve outside its dead zone: -1
            // leaves the yoke slack there, 0 as the curve, above 0 stiffer.
            const float rel = a.x - a.trim;
            const float outside = std::fabs(rel) > a.springZone ? rel - std::copysign(a.springZone, rel) : 0.0f;
            const float spring = -curveForce(c, rel) - a.springCoeff * curveForce(c, outside);
            // The low-speed force draws the yoke to its rest point (offset % of the travel).
            const float rest = a.lowSpeedOffset / 100.0f * range;
            const float lowSpeed = a.lowSpeedAmplitude / 100.0f * limit
                                   * std::max(-1.0f, std::min(1.0f, (rest - a.x) / (0.25f * range)));
            float vib = 0.0f;
            for (int mode = 0; mode < 3; ++mode)
                vib += vibrationForce(a.vib[mode], mode, d);
            float motor = spring + a.inputForce + a.effectForce + lowSpeed + vib;
            motor = std::max(-limit, std::min(limit, motor));
            // Reported as the curve plots it: the load on the hand, not the push.
            a.force = -motor;

            m_noise = m_noise * 1664525u + 1013904223u;
            const float noise = (float((m_noise >> 8) & 0xFFFF) / 65535.0f - 0.5f) * 0.1f;
            const float tremor = float(0.15 * std::sin(2 * Pi * 0.37 * m_time + c)
                                       + 0.1 * std::sin(2 * Pi * 1.1 * m_time + 2 * c)) + noise;
            float hand = 0.0f;
            if (m_behaviour.pilotHand) {
                // The hand's pace wanders and now and then stops: it holds still a while.
                const double pace = 0.9 + 1.1 * std::sin(2 * Pi * m_time / (c == 0 ? 11.0 : 13.0) + 2.0 * c);
                a.handClock += d * std::max(0.0, std::min(1.2, pace));
                hand = handForce(c, a, range);
            }
            const float mass = 0.03f, damping = 0.3f;
            const float acc = (motor + tremor + hand - damping * a.v) / mass;
            a.v += float(acc * d);
            a.x += float(a.v * d);
            if (a.x > range || a.x < -range) {
                a.x = std::max(-range, std::min(range, a.x));
                a.v = 0;
            }
        }
    }
}
