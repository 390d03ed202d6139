#include "devicestatus.h"

static StatusDecision fault(LampColour lamp, const char *text, int latch)
{
    StatusDecision d;
    d.lamp = lamp;
    d.text = QString::fromLatin1(text);
    d.latch = latch;
    d.stopStatusPoll = true;
    return d;
}

StatusDecision systemStateDecision(uint8_t state)
{
    switch (state) {
    case 0: {
        StatusDecision d;
        d.lamp = LampColour::Green;
        d.text = QStringLiteral("System No Fault");
        d.noFault = true;
        return d;
    }
    case 1: return fault(LampColour::Red, "Communication Cycle Timeout", 0);
    case 2: return fault(LampColour::Red, "Self Test Failed", 1);
    case 3: {
        // Boot mode is announced like a fault, but the status poll keeps
        // running so that leaving boot mode is seen.
        StatusDecision d = fault(LampColour::Yellow, "System In BootMode", 2);
        d.stopStatusPoll = false;
        d.bootMode = true;
        return d;
    }
    default: return StatusDecision();
    }
}

StatusDecision axisStateDecision(int channel, uint8_t state)
{
    if (channel != 0 && channel != 1)
        return StatusDecision();
    const QString axis = channel == 0 ? QStringLiteral("Pitch") : QStringLiteral("Roll");
    const int base = channel == 0 ? 3 : 7;
    static const char *const faults[] = {"Over Temptuature", "Over Speed", "Over Force",
                                         "Motor Comm Failure"};
    if (state == 0) {
        StatusDecision d;
        d.lamp = LampColour::Green;
        d.text = axis + QStringLiteral(" No Fault");
        d.noFault = true;
        return d;
    }
    if (state >= 1 && state <= 4) {
        StatusDecision d;
        d.lamp = LampColour::Red;
        d.text = axis + ' ' + QString::fromLatin1(faults[state - 1]);
        d.latch = base + state - 1;
        d.stopStatusPoll = true;
        return d;
    }
    return StatusDecision();
}

bool FaultLatches::latch(int index)
{
    if (index < 0 || index >= kCount || m_set[index])
        return false;
    m_set[index] = true;
    return true;
}

bool FaultLatches::isSet(int index) const
{
    return index >= 0 && index < kCount && m_set[index];
}

void FaultLatches::clearSystem()
{
    for (int i = 0; i < 3; ++i)
        m_set[i] = false;
}

void FaultLatches::clearAxis(int channel)
{
    const int base = channel == 0 ? 3 : channel == 1 ? 7 : -1;
    if (base < 0)
        return;
    for (int i = base; i < base + 4; ++i)
        m_set[i] = false;
}

void FaultLatches::clearAll()
{
    for (bool &b : m_set)
        b = false;
}
