#include "polltimer.h"

#include <QAbstractEventDispatcher>

bool PollTimer::registeredWithDispatcher() const
{
    const QAbstractEventDispatcher *d = QAbstractEventDispatcher::instance(thread());
    if (!d)
        return false;
    const int id = timerId();
    for (const QAbstractEventDispatcher::TimerInfo &t : d->registeredTimers(const_cast<PollTimer *>(this)))
        if (t.timerId == id)
            return true;
    return false;
}

void PollTimer::holdTicks()
{
    if (!isActive())
        return;
    // Held already, unless a start since has registered it again.
    if (m_held && !registeredWithDispatcher())
        return;
    if (QAbstractEventDispatcher *d = QAbstractEventDispatcher::instance(thread()))
        m_held = d->unregisterTimer(timerId());
}

void PollTimer::resume()
{
    if (!m_held)
        return;
    m_held = false;
    // A stop, or a start that replaced the held timer, has already set things
    // as they should be.
    if (!isActive() || registeredWithDispatcher())
        return;
    if (QAbstractEventDispatcher *d = QAbstractEventDispatcher::instance(thread()))
        d->registerTimer(timerId(), interval(), timerType(), this);
}
