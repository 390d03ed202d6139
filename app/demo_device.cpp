// Linked only into KorvelTools-demo: the emulated yoke gets a pilot's hand, so
// that after Connect the live plot and the numbers move without hardware; and a
// firmware image that the emulated boot loader accepts lies beside the program,
// where the firmware file dialog opens.
#include "hid_standin.h"

#include <QCoreApplication>
#include <QFile>

static void startDemoDevice()
{
    HidStandin::emulator().behaviour().pilotHand = true;

    QFile image(QCoreApplication::applicationDirPath() + QStringLiteral("/demo-firmware.bin"));
    if (!image.exists() && image.open(QIODevice::WriteOnly)) {
        const std::vector<uint8_t> bytes = DeviceEmulator::makeFirmwareImage(64 * 1024 - 12);
        image.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
    }
}
Q_COREAPP_STARTUP_FUNCTION(startDemoDevice)
