#pragma once
// Process-wide reply queue: stream forms of received frames, back to back.
#include <QByteArray>

extern QByteArray deviceRxBuffer;
// Set by the acknowledged send: 1 when the awaited reply echoed the command.
extern int frameAcked;
