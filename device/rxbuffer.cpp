#include "rxbuffer.h"

QByteArray deviceRxBuffer;
int frameAcked = 0;

namespace {
// Shares the buffer's storage while its first checkedBytes bytes are replies
// the link appended. Any other change to the buffer (an assignment, an append
// from another path) detaches the buffer from this view, and its bytes are
// then checked like any others.
QByteArray checkedView;
int checkedBytes = 0;

bool viewValid()
{
    return checkedBytes > 0 && deviceRxBuffer.isSharedWith(checkedView);
}

void setView(int bytes)
{
    checkedBytes = bytes;
    if (bytes > 0)
        checkedView = deviceRxBuffer;
    else
        checkedView.clear();
}
} // namespace

void appendLinkReply(const QByteArray &streamForm)
{
    if (streamForm.isEmpty())
        return;
    const int before = deviceRxBuffer.size();
    const int front = linkCheckedFront();
    deviceRxBuffer.append(streamForm);
    // Only a reply that follows checked bytes directly is known to start where
    // a frame starts.
    setView(front == before ? before + streamForm.size() : front);
}

int linkCheckedFront()
{
    return viewValid() ? checkedBytes : 0;
}

void dropRxFront(int n)
{
    const int front = linkCheckedFront();
    deviceRxBuffer = deviceRxBuffer.mid(n);
    setView(front > n ? front - n : 0);
}
