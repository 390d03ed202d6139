#include "xplaneconnect.h"
// (being written)
const char *const xpcDrefNames[kXpcDrefCount] = {};
int xpcDrefSizes[kXpcDrefCount] = {};
XpcSocket OpenUDP(const char *, unsigned short, unsigned short) { return XpcSocket{}; }
void closeUDP(XpcSocket) {}
