#pragma once
// Client side of the X-Plane Connect protocol (the plug-in inside X-Plane is a
// UDP server, by default on 127.0.0.1:49009). Every request is one datagram
// and at most one reply, read on the same socket with a 50 ms wait. Plain C++.
#include <cstdint>
#include <string>

#include "udpsocket.h"

struct XpcSocket
{
    unsigned short port = 0;   // left unset; the local port is only used to bind
    char xpIP[16] = {};        // server address as dotted text, NUL padded
    unsigned short xpPort = 0; // server port
    platform::SocketHandle sock = platform::kInvalidSocket;
};

// Control positions as the GETC reply carries them.
struct XpcControls
{
    float elevator = 0, aileron = 0, rudder = 0, throttle = 0, gear = 0, flaps = 0, speedBrake = 0;
};

// The reader's dataref list and how many values each has room for. The room
// only shrinks: a reply row that fits sets it to the number of values received.
constexpr int kXpcDrefCount = 20;
extern const char *const xpcDrefNames[kXpcDrefCount];
extern int xpcDrefSizes[kXpcDrefCount];

// Opening or closing failures end the process with exit code 1 (after saying
// why on the standard error stream). The local port is bound on the loopback
// address for a server on this machine (127.x.x.x), on every address otherwise.
XpcSocket OpenUDP(const char *xpIP, unsigned short xpPort, unsigned short port);
XpcSocket OpenUDP(const char *xpIP); // port 49009, any local port
void closeUDP(XpcSocket sock);

int sendUDP(XpcSocket sock, const char buffer[], int len);
int readUDP(XpcSocket sock, char buffer[], int len);

// Requests the reader uses. 0 success, negative failure.
int getPOSI(XpcSocket sock, double values[7], unsigned char ac);
int getTERR(XpcSocket sock, const double posi[3], double values[11], unsigned char ac);
int getCTRL(XpcSocket sock, XpcControls *values, unsigned char ac);
int getDREFs(XpcSocket sock, const char *const drefs[], float *values[], unsigned char count, int sizes[]);

// The rest of the protocol; nothing in the program sends these.
int setCONN(XpcSocket *sock, unsigned short port);
int pauseSim(XpcSocket sock, char pause);
int sendDATA(XpcSocket sock, float data[][9], int rows);
int readDATA(XpcSocket sock, float data[][9], int rows);
int sendDREF(XpcSocket sock, const char *dref, const float values[], int size);
int sendDREFs(XpcSocket sock, const char *const drefs[], const float *const values[], const int sizes[], int count);
int getDREF(XpcSocket sock, const char *dref, float values[], int *size);
int sendPOSI(XpcSocket sock, const double values[], int size, char ac);
int sendPOST(XpcSocket sock, const double posi[], int size, double values[11], char ac);
int sendCTRL(XpcSocket sock, const float values[], int size, char ac);
int sendTEXT(XpcSocket sock, const char *msg, int x, int y);
int sendWYPT(XpcSocket sock, int op, const float points[], int count);
int sendVIEW(XpcSocket sock, int view);
int sendCOMM(XpcSocket sock, const char *comm);
int saveSituation(XpcSocket sock, const char *path);
int loadSituation(XpcSocket sock, const char *path);

// The last failure report of this thread ("function: text"); nothing prints it.
const std::string &xpcLastError();
