#pragma once
// Process-wide reply queue: stream forms of received frames, back to back.
#include <QByteArray>

extern QByteArray deviceRxBuffer;
// Set by the acknowledged send: 1 when the awaited reply echoed the command.
extern int frameAcked;

// Appends the stream form of a report the link has just read and checked.
void appendLinkReply(const QByteArray &streamForm);
// How many bytes at the front of the buffer are such link replies; bytes put
// there any other way (or a buffer changed since) count as unchecked.
int linkCheckedFront();
// Drops the first n bytes of the buffer (a frame the dispatcher has cut).
void dropRxFront(int n);
