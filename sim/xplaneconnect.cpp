#include "xplaneconnect.h"

#include "byteorder.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

const char *const xpcDrefNames[kXpcDrefCount] = {
    "sim/flightmodel/position/indicated_airspeed",
    "sim/flightmodel/position/true_airspeed",
    "sim/flightmodel/position/groundspeed",
    "sim/flightmodel/misc/machno",
    "sim/flightmodel2/misc/AoA_angle_degrees",
    "sim/flightmodel/position/vh_ind_fpm",
    "sim/cockpit2/gauges/indicators/wind_speed_kts",
    "sim/weather/wind_direction_degt",
    "sim/flightmodel/position/mag_psi",
    "sim/flightmodel/ground/surface_texture_type",
    "sim/cockpit2/annunciators/stall_warning",
    "sim/cockpit2/gauges/indicators/radio_altimeter_height_ft_pilot",
    "sim/cockpit2/controls/total_roll_ratio",
    "sim/cockpit2/controls/total_pitch_ratio",
    "sim/cockpit/autopilot/autopilot_mode",
    "sim/flightmodel2/misc/has_crashed",
    "sim/cockpit2/engine/indicators/engine_speed_rpm",
    "sim/flightmodel2/gear/on_ground",
    "sim/flightmodel2/controls/elevator_trim",
    "sim/flightmodel2/controls/aileron_trim",
};

int xpcDrefSizes[kXpcDrefCount] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 4, 3, 1, 1};

namespace {

constexpr unsigned short kDefaultServerPort = 49009;
constexpr int kReplyWaitMs = 50;

thread_local std::string t_lastError;

// The client's failure report: kept for inspection, never printed.
void printError(const char *function, const char *format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    t_lastError = std::string(function) + ": " + text;
}

// Opening and closing failures are fatal to the process; say why first.
[[noreturn]] void fatal(const char *function, const char *text, unsigned short port)
{
    const int error = platform::socketError();
    printError(function, "%s", text);
    std::fprintf(stderr, "X-Plane Connect %s: %s (local port %u, error %d)\n", function, text,
                 static_cast<unsigned>(port), error);
    std::fflush(stderr);
    std::exit(1);
}

// X-Plane Connect's messages are little-endian, held in char buffers.
std::uint8_t *bytes(char *p) { return reinterpret_cast<std::uint8_t *>(p); }
const std::uint8_t *bytes(const char *p) { return reinterpret_cast<const std::uint8_t *>(p); }
void put32f(char *p, float v) { writeF32LE(bytes(p), v); }
void put64f(char *p, double v) { writeF64LE(bytes(p), v); }
void put32i(char *p, std::int32_t v) { writeU32LE(bytes(p), static_cast<std::uint32_t>(v)); }
float get32f(const char *p) { return readF32LE(bytes(p)); }
double get64f(const char *p) { return readF64LE(bytes(p)); }

void putTag(char *p, const char *tag)
{
    std::memcpy(p, tag, 4);
    p[4] = 0;
}

sockaddr_in serverAddress(const XpcSocket &sock)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(sock.xpPort);
    char ip[17] = {};
    std::memcpy(ip, sock.xpIP, 16);
    if (platform::addressFromText(ip, &to.sin_addr) != 1)
        to.sin_addr.s_addr = 0;
    return to;
}

// Terrain values of a GETT/POST reply: the position as doubles, then floats.
void readTerrain(const char *reply, double values[11])
{
    for (int i = 0; i < 3; ++i)
        values[i] = get64f(reply + 6 + 8 * i);
    for (int i = 0; i < 8; ++i)
        values[3 + i] = get32f(reply + 30 + 4 * i);
}

} // namespace

// One command out: 0, or the caller's failure code with "Failed to send command" recorded.
static int sendCommand(XpcSocket sock, const char *function, const char *request, std::size_t len, int failCode)
{
    if (sendUDP(sock, request, static_cast<int>(len)) < 0) {
        printError(function, "Failed to send command");
        return failCode;
    }
    return 0;
}

// A getter's request and reply: the reply's length, -1 when the request was
// not sent, -2 when no reply could be read.
static int exchange(XpcSocket sock, const char *function, const char *request, int requestLen, char *reply,
                    int replyLen)
{
    if (sendUDP(sock, request, requestLen) < 0) {
        printError(function, "Failed to send command.");
        return -1;
    }
    const int n = readUDP(sock, reply, replyLen);
    if (n < 0) {
        printError(function, "Failed to read response.");
        return -2;
    }
    return n;
}

// As exchange, for a reply of one fixed length: 0, -1, -2, or -3 for any other length.
static int exchangeFixed(XpcSocket sock, const char *function, const char *request, int requestLen, char *reply,
                         int replyLen)
{
    const int n = exchange(sock, function, request, requestLen, reply, replyLen);
    if (n < 0)
        return n;
    if (n != replyLen) {
        printError(function, "Unexpected response length.");
        return -3;
    }
    return 0;
}

const std::string &xpcLastError() { return t_lastError; }

XpcSocket OpenUDP(const char *xpIP, unsigned short xpPort, unsigned short port)
{
    XpcSocket sock;
    if (std::strcmp(xpIP, "localhost") == 0)
        xpIP = "127.0.0.1";
    std::strncpy(sock.xpIP, xpIP, 16);
    sock.xpPort = xpPort == 0 ? kDefaultServerPort : xpPort;

    if (platform::socketsStartup() != 0)
        fatal("OpenUDP", "WSAStartup failed", port);
    sock.sock = platform::udpOpen();
    if (sock.sock == platform::kInvalidSocket)
        fatal("OpenUDP", "Socket creation failed", port);

    // Replies are taken from whoever sends them: for a server on this machine
    // the socket listens on the loopback address alone, where no other host
    // can reach it (nor pass datagrams off as the server's answers).
    const bool loopbackServer = (ntohl(serverAddress(sock).sin_addr.s_addr) >> 24) == 127;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(loopbackServer ? INADDR_LOOPBACK : INADDR_ANY);
    if (platform::socketBind(sock.sock, local) != 0) {
        std::fprintf(stderr, "The UDP port %u is in use by another program (a second copy of this one?).\n",
                     static_cast<unsigned>(port));
        fatal("OpenUDP", "Socket bind failed", port);
    }
    if (platform::socketSetRecvTimeout(sock.sock, 1) != 0)
        printError("OpenUDP", "Failed to set timeout");
    return sock;
}

XpcSocket OpenUDP(const char *xpIP)
{
    return OpenUDP(xpIP, kDefaultServerPort, 0);
}

void closeUDP(XpcSocket sock)
{
    if (platform::socketClose(sock.sock) != 0)
        fatal("closeUDP", "Failed to close socket", platform::socketLocalPort(sock.sock));
}

int sendUDP(XpcSocket sock, const char buffer[], int len)
{
    if (len <= 0) {
        printError("sendUDP", "Message length must be positive.");
        return -1;
    }
    const sockaddr_in to = serverAddress(sock);
    const long sent = platform::socketSendTo(sock.sock, buffer, static_cast<std::size_t>(len),
                                             reinterpret_cast<const sockaddr *>(&to), sizeof to);
    if (sent < 0) {
        printError("sendUDP", "Send operation failed.");
        return -2;
    }
    if (sent < len)
        printError("sendUDP", "Unexpected number of bytes sent.");
    return static_cast<int>(sent);
}

int readUDP(XpcSocket sock, char buffer[], int len)
{
    const int waited = platform::socketWait(sock.sock, kReplyWaitMs);
    if (waited < 0) {
        printError("readUDP", "Select command error");
        return -1;
    }
    if (waited == 0)
        return 0;
    const long n = platform::socketRecvFrom(sock.sock, buffer, static_cast<std::size_t>(len), nullptr, 0);
    if (n < 0) {
        printError("readUDP", "Error reading socket");
        return -1;
    }
    return static_cast<int>(n);
}

int getPOSI(XpcSocket sock, double values[7], unsigned char ac)
{
    char request[6];
    putTag(request, "GETP");
    request[5] = static_cast<char>(ac);
    char reply[46];
    const int n = exchange(sock, "getPOSI", request, 6, reply, 46);
    if (n < 0)
        return n;
    if (n == 34) {
        for (int i = 0; i < 7; ++i)
            values[i] = get32f(reply + 6 + 4 * i);
    } else if (n == 46) {
        for (int i = 0; i < 3; ++i)
            values[i] = get64f(reply + 6 + 8 * i);
        for (int i = 0; i < 4; ++i)
            values[3 + i] = get32f(reply + 30 + 4 * i);
    } else {
        printError("getPOSI", "Unexpected response length.");
        return -3;
    }
    return 0;
}

int getTERR(XpcSocket sock, const double posi[3], double values[11], unsigned char ac)
{
    char request[30];
    putTag(request, "GETT");
    request[5] = static_cast<char>(ac);
    for (int i = 0; i < 3; ++i)
        put64f(request + 6 + 8 * i, posi[i]);
    char reply[62];
    const int r = exchangeFixed(sock, "getTERR", request, 30, reply, 62);
    if (r < 0)
        return r;
    readTerrain(reply, values);
    return 0;
}

int getCTRL(XpcSocket sock, XpcControls *values, unsigned char ac)
{
    char request[6];
    putTag(request, "GETC");
    request[5] = static_cast<char>(ac);
    char reply[31];
    const int r = exchangeFixed(sock, "getCTRL", request, 6, reply, 31);
    if (r < 0)
        return r;
    values->elevator = get32f(reply + 5);
    values->aileron = get32f(reply + 9);
    values->rudder = get32f(reply + 13);
    values->throttle = get32f(reply + 17);
    values->gear = static_cast<unsigned char>(reply[21]);
    values->flaps = get32f(reply + 22);
    values->speedBrake = get32f(reply + 27);
    return 0;
}

// Sends a GETD request for the names; 0 or -1.
static int sendDREFRequest(XpcSocket sock, const char *const drefs[], unsigned char count)
{
    std::vector<char> request(6);
    putTag(request.data(), "GETD");
    request[5] = static_cast<char>(count);
    for (int i = 0; i < count; ++i) {
        const std::size_t len = std::strlen(drefs[i]);
        if (len > 255) {
            printError("getDREFs", "dref %d is too long.", i);
            return -1;
        }
        request.push_back(static_cast<char>(len));
        request.insert(request.end(), drefs[i], drefs[i] + len);
    }
    return sendCommand(sock, "getDREFs", request.data(), request.size(), -1);
}

// Reads a GETD reply into the value buffers; 0 or -2.
static int getDREFResponse(XpcSocket sock, float *values[], unsigned char count, int sizes[])
{
    static thread_local std::vector<char> reply(65536);
    const int n = readUDP(sock, reply.data(), 65536);
    if (n < 0 || n == 0) {
        printError("getDREFs", "Read operation failed. (%d)", n);
        return -2;
    }
    if (n < 6) {
        printError("getDREFs", "Response was too short. Expected at least 6 bytes, but only got %d.", n);
        return -2;
    }
    if (static_cast<unsigned char>(reply[5]) != count) {
        printError("getDREFs", "Unexpected response size. Expected %d rows, got %d instead.", count,
                   static_cast<unsigned char>(reply[5]));
        return -2;
    }
    int cur = 6;
    for (int i = 0; i < count; ++i) {
        // A reply that ends inside a row fills what it holds and no more.
        if (cur >= n)
            break;
        const int rowValues = static_cast<unsigned char>(reply[cur++]);
        const int available = (n - cur) / 4;
        const int take = rowValues < available ? rowValues : available;
        if (rowValues <= sizes[i]) {
            for (int k = 0; k < take; ++k)
                values[i][k] = get32f(reply.data() + cur + 4 * k);
            sizes[i] = rowValues;
        } else {
            printError("getDREFs", "values is too small. Row had %d values, only room for %d.", rowValues,
                       sizes[i]);
            const int fill = sizes[i] < take ? sizes[i] : take;
            for (int k = 0; k < fill; ++k)
                values[i][k] = get32f(reply.data() + cur + 4 * k);
        }
        cur += rowValues * 4;
    }
    return 0;
}

int getDREFs(XpcSocket sock, const char *const drefs[], float *values[], unsigned char count, int sizes[])
{
    if (sendDREFRequest(sock, drefs, count) < 0)
        return -1;
    return getDREFResponse(sock, values, count, sizes);
}

int getDREF(XpcSocket sock, const char *dref, float values[], int *size)
{
    const char *names[1] = {dref};
    float *buffers[1] = {values};
    return getDREFs(sock, names, buffers, 1, size);
}

// ---- The rest of the protocol: complete, and sent by nothing in the program.

int setCONN(XpcSocket *sock, unsigned short port)
{
    char request[7];
    putTag(request, "CONN");
    writeU16LE(bytes(request + 5), port);
    if (sendCommand(*sock, "setCONN", request, 7, -1) < 0)
        return -1;
    closeUDP(*sock);
    *sock = OpenUDP(sock->xpIP, sock->xpPort, port);
    char reply[32];
    if (readUDP(*sock, reply, 32) <= 0 || std::memcmp(reply, "CONF", 4) != 0) {
        printError("setCONN", "Failed to read response");
        return -2;
    }
    return 0;
}

int pauseSim(XpcSocket sock, char pause)
{
    char request[6];
    putTag(request, "SIMU");
    request[5] = pause;
    return sendCommand(sock, "pauseSim", request, 6, -1);
}

int sendDATA(XpcSocket sock, float data[][9], int rows)
{
    if (rows <= 0 || rows > 134) {
        printError("sendDATA", "Too many rows.");
        return -1;
    }
    std::vector<char> request(5 + 36 * rows);
    putTag(request.data(), "DATA");
    for (int r = 0; r < rows; ++r) {
        char *row = request.data() + 5 + 36 * r;
        put32i(row, static_cast<std::int32_t>(data[r][0]));
        for (int k = 1; k < 9; ++k)
            put32f(row + 4 * k, data[r][k]);
    }
    return sendCommand(sock, "sendDATA", request.data(), request.size(), -2);
}

int readDATA(XpcSocket sock, float data[][9], int rows)
{
    std::vector<char> reply(5 + 36 * 134);
    const int n = readUDP(sock, reply.data(), static_cast<int>(reply.size()));
    if (n < 5) {
        printError("readDATA", "Failed to read response");
        return -1;
    }
    const int got = (n - 5) / 36;
    const int take = got < rows ? got : rows;
    for (int r = 0; r < take; ++r) {
        const char *row = reply.data() + 5 + 36 * r;
        data[r][0] = static_cast<float>(static_cast<std::int32_t>(readU32LE(bytes(row))));
        for (int k = 1; k < 9; ++k)
            data[r][k] = get32f(row + 4 * k);
    }
    return take;
}

int sendDREFs(XpcSocket sock, const char *const drefs[], const float *const values[], const int sizes[], int count)
{
    std::vector<char> request(5);
    putTag(request.data(), "DREF");
    for (int i = 0; i < count; ++i) {
        const std::size_t len = std::strlen(drefs[i]);
        if (len > 255) {
            printError("sendDREF", "dref %d is too long.", i);
            return -1;
        }
        if (sizes[i] < 0 || sizes[i] > 255) {
            printError("sendDREF", "size %d is too big.", i);
            return -2;
        }
        request.push_back(static_cast<char>(len));
        request.insert(request.end(), drefs[i], drefs[i] + len);
        request.push_back(static_cast<char>(sizes[i]));
        for (int k = 0; k < sizes[i]; ++k) {
            char f[4];
            put32f(f, values[i][k]);
            request.insert(request.end(), f, f + 4);
        }
        if (request.size() > 65534) {
            printError("sendDREF", "Message is too long.");
            return -3;
        }
    }
    return sendCommand(sock, "sendDREF", request.data(), request.size(), -4);
}

int sendDREF(XpcSocket sock, const char *dref, const float values[], int size)
{
    const char *names[1] = {dref};
    const float *buffers[1] = {values};
    const int sizes[1] = {size};
    return sendDREFs(sock, names, buffers, sizes, 1);
}

static int buildPosition(const char *tag, const double values[], int size, char ac, char out[46])
{
    if (ac < 0 || ac > 20 || size < 1 || size > 7) {
        printError(tag, "Invalid aircraft or value count.");
        return -1;
    }
    putTag(out, tag);
    out[5] = ac;
    for (int i = 0; i < 7; ++i) {
        const double v = i < size ? values[i] : -998.0;
        if (i < 3)
            put64f(out + 6 + 8 * i, v);
        else
            put32f(out + 30 + 4 * (i - 3), static_cast<float>(v));
    }
    return 0;
}

int sendPOSI(XpcSocket sock, const double values[], int size, char ac)
{
    char request[46];
    if (buildPosition("POSI", values, size, ac, request) < 0)
        return -1;
    return sendCommand(sock, "sendPOSI", request, 46, -2);
}

int sendPOST(XpcSocket sock, const double posi[], int size, double values[11], char ac)
{
    char request[46];
    if (buildPosition("POST", posi, size, ac, request) < 0)
        return -1;
    if (sendCommand(sock, "sendPOST", request, 46, -2) < 0)
        return -2;
    char reply[62];
    const int n = readUDP(sock, reply, 62);
    if (n != 62) {
        printError("sendPOST", "Unexpected response length.");
        return -3;
    }
    readTerrain(reply, values);
    return 0;
}

int sendCTRL(XpcSocket sock, const float values[], int size, char ac)
{
    if (size < 1 || size > 7) {
        printError("sendCTRL", "Invalid value count.");
        return -1;
    }
    auto at = [&](int i) { return i < size ? values[i] : -998.0f; };
    char request[31];
    putTag(request, "CTRL");
    for (int i = 0; i < 4; ++i)
        put32f(request + 5 + 4 * i, at(i));
    request[21] = static_cast<char>(static_cast<signed char>(at(4)));
    put32f(request + 22, at(5));
    request[26] = ac;
    put32f(request + 27, at(6));
    return sendCommand(sock, "sendCTRL", request, 31, -2);
}

int sendTEXT(XpcSocket sock, const char *msg, int x, int y)
{
    const std::size_t len = msg ? std::strlen(msg) : 0;
    if (len > 255) {
        printError("sendTEXT", "Message is too long.");
        return -1;
    }
    std::vector<char> request(14 + len);
    putTag(request.data(), "TEXT");
    put32i(request.data() + 5, x);
    put32i(request.data() + 9, y);
    request[13] = static_cast<char>(len);
    if (len)
        std::memcpy(request.data() + 14, msg, len);
    return sendCommand(sock, "sendTEXT", request.data(), request.size(), -2);
}

int sendWYPT(XpcSocket sock, int op, const float points[], int count)
{
    if (op < 1 || op > 3 || count < 0 || count > 19) {
        printError("sendWYPT", "Invalid operation or point count.");
        return -1;
    }
    std::vector<char> request(7 + 12 * count);
    putTag(request.data(), "WYPT");
    request[5] = static_cast<char>(op);
    request[6] = static_cast<char>(count);
    for (int i = 0; i < 3 * count; ++i)
        put32f(request.data() + 7 + 4 * i, points[i]);
    return sendCommand(sock, "sendWYPT", request.data(), request.size(), -2);
}

int sendVIEW(XpcSocket sock, int view)
{
    char request[9];
    putTag(request, "VIEW");
    put32i(request + 5, view);
    return sendCommand(sock, "sendVIEW", request, 9, -1);
}

// A command whose body is one counted text (len checked by the caller): 0 or -2.
static int sendCounted(XpcSocket sock, const char *function, const char *tag, const char *text, std::size_t len)
{
    std::vector<char> request(6 + len);
    putTag(request.data(), tag);
    request[5] = static_cast<char>(len);
    if (len)
        std::memcpy(request.data() + 6, text, len);
    return sendCommand(sock, function, request.data(), request.size(), -2);
}

int sendCOMM(XpcSocket sock, const char *comm)
{
    const std::size_t len = comm ? std::strlen(comm) : 0;
    if (len > 255) {
        printError("sendCOMM", "Command is too long.");
        return -1;
    }
    return sendCounted(sock, "sendCOMM", "COMM", comm, len);
}

static int sendPath(XpcSocket sock, const char *tag, const char *path)
{
    const std::size_t len = path ? std::strlen(path) : 0;
    if (len == 0 || len > 255) {
        printError(tag, "Invalid path.");
        return -1;
    }
    return sendCounted(sock, tag, tag, path, len);
}

int saveSituation(XpcSocket sock, const char *path) { return sendPath(sock, "SAVE", path); }
int loadSituation(XpcSocket sock, const char *path) { return sendPath(sock, "LOAD", path); }
