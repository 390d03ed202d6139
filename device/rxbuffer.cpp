#include "rxbuffer.h"

QByteArray deviceRxBuffer;
int frameAcked = 0;
