#pragma once
// Decisions of the device status display (lamps, texts, fault latches),
// without widgets.

#include <QString>
#include <cstdint>

enum class LampColour { Unchanged, Red, Green, Yellow };

// What one state byte of a status report does to its lamp and text.
struct StatusDecision
{
    LampColour lamp = LampColour::Unchanged;
    QString text;              // empty when unchanged
    bool noFault = false;      // clears the group's latches
    int latch = -1;            // fault latch index, -1 when no fault
    bool stopStatusPoll = false;
    bool bootMode = false;
};

// System state (channel 0 only): 0 no fault, 1 comm cycle timeout,
// 2 self test failed, 3 boot mode; others unchanged.
StatusDecision systemStateDecision(uint8_t state);
// Axis state of channel 0 (pitch) or 1 (roll): 0 no fault, 1..4 faults.
StatusDecision axisStateDecision(int channel, uint8_t state);

// Eleven faults: three system (0..2), four pitch (3..6), four roll (7..10).
// A fault is announced once until a no-fault report of its group clears it.
class FaultLatches
{
public:
    static constexpr int kCount = 11;
    // Sets the latch; true when it was clear (the fault must be announced).
    bool latch(int index);
    bool isSet(int index) const;
    void clearSystem();
    void clearAxis(int channel);
    void clearAll();

private:
    bool m_set[kCount] = {};
};
