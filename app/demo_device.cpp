// Linked only into KorvelTools-demo: the emulated yoke gets a pilot's hand, so
// that after Connect the live plot and the numbers move without hardware.
#include "hid_standin.h"

#include <QCoreApplication>

static void startPilotHand()
{
    HidStandin::emulator().behaviour().pilotHand = true;
}
Q_COREAPP_STARTUP_FUNCTION(startPilotHand)
