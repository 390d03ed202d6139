#pragma once
// A periodic timer whose ticks can be held back while its slot would find
// nothing to do. It stays active with its interval and type throughout; only
// the thread is no longer woken for it until resume(). A poll of a few
// milliseconds costs its thread a wake-up on every tick, which is most of what
// an idle poll costs.
#include <QTimer>

class PollTimer : public QTimer
{
public:
    using QTimer::QTimer;

    // No ticks until resume(); nothing happens while the timer is stopped.
    void holdTicks();
    // Ticks come again, the next one a whole interval from now. Harmless
    // when they were not held, or when the timer was stopped or started anew
    // in between (it then runs as it was last started).
    void resume();
    bool ticksHeld() const { return m_held; }

private:
    bool registeredWithDispatcher() const;
    bool m_held = false;
};
