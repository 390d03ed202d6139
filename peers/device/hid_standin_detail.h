#pragma once
// The stand-in's own state, reached by its control interface.
#include "device_emulator.h"

namespace HidStandinDetail {
DeviceEmulator &emulator();
void reset();
int openHandles();
int handlesOpened();
int badCloses();
}
