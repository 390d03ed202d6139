#include "hid_standin.h"
#include "hid_standin_detail.h"

namespace HidStandin {
DeviceEmulator &emulator() { return HidStandinDetail::emulator(); }
void reset() { HidStandinDetail::reset(); }
int openHandles() { return HidStandinDetail::openHandles(); }
int handlesOpened() { return HidStandinDetail::handlesOpened(); }
int badCloses() { return HidStandinDetail::badCloses(); }
}
