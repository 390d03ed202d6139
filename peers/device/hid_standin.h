#pragma once
// Control interface of the hidapi stand-in that tests and the demo link in
// place of the real library: it reaches the emulated device behind it.
#include "device_emulator.h"

namespace HidStandin {
// The one emulated device behind the stand-in.
DeviceEmulator &emulator();
// Power-on state: emulator reset, counters cleared.
void reset();
// Handles currently open, handles ever opened, closes of unknown handles.
int openHandles();
int handlesOpened();
int badCloses();
}
