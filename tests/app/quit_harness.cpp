// The program's entry as shipped, on the emulated device beside a stand-in
// X-Plane (an aircraft taxiing with its engine running). Once the device is
// online it connects the simulator, starts the effects and software trim, and
// closes the window as a user would while the device trims and vibrates. After
// the program has ended it writes what the device held before the close and
// what it holds afterwards to device.txt in its working directory.
// With KORVEL_QUIT_LINK_FAILING set, the yoke stops answering as the window
// closes, five failed reads short of a lost link: device.txt then also gets
// the milliseconds from the close to the end of the program's entry and the
// frames written meanwhile.
#include "clscurve.h"
#include "ui_clscurve.h"

#include "hid_standin.h"
#include "korvelmain.h"
#include "xplanestandin.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

namespace {

QByteArray beforeClose;
QElapsedTimer sinceClose;
const bool linkFailing = qEnvironmentVariableIsSet("KORVEL_QUIT_LINK_FAILING");

QByteArray held()
{
    const DeviceEmulator &e = HidStandin::emulator();
    float vibration = 0;
    for (int ch = 0; ch < 2; ++ch)
        for (int mode = 0; mode < 3; ++mode)
            vibration += e.vibrationAmplitude(ch, mode);
    return QStringLiteral("trim %1 %2 forces %3 %4 vibration %5")
        .arg(e.trimSpeed(0)).arg(e.trimSpeed(1)).arg(e.hostForces(0)).arg(e.hostForces(1)).arg(vibration)
        .toLatin1();
}

bool moving()
{
    const DeviceEmulator &e = HidStandin::emulator();
    float vibration = 0;
    for (int mode = 0; mode < 3; ++mode)
        vibration += e.vibrationAmplitude(0, mode) + e.vibrationAmplitude(1, mode);
    return e.trimSpeed(0) != 0.0f && e.trimSpeed(1) != 0.0f && e.hostForces(0) > 0.0f && vibration > 0.0f;
}

clscurve *mainWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *c = qobject_cast<clscurve *>(w))
            return c->isVisible() ? c : nullptr;
    return nullptr;
}

void drive()
{
    static int step = 0;
    static QElapsedTimer since;
    since.start();
    auto *timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [timer] {
        clscurve *w = mainWindow();
        if (!w)
            return;
        Ui::clscurve *ui = w->form();
        if (step == 0) {
            ui->pushButton_openPort->click();
            step = 1;
        } else if (step == 1 && w->isOnline() && w->txTimer.isActive()) {
            ui->devicesComboBox_FSimSW->setCurrentText(QStringLiteral("X-Plane"));
            ui->pushButton_connect_Fsim->click();
            ui->btn_test->click();
            ui->softTrim_enable_2->click();
            step = 2;
        } else if ((step == 2 && moving()) || since.elapsed() > 20000) {
            beforeClose = held();
            timer->stop();
            if (linkFailing) {
                // Set with no read in between: the exit release makes the next ones.
                HidStandin::emulator().behaviour().failReadCount = -1;
                w->errorCount = 15;
                HidStandin::emulator().clearCounters();
            }
            sinceClose.start();
            QApplication::closeAllWindows();
        }
    });
    timer->start(20);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(drive)

int main(int argc, char *argv[])
{
    XPlaneStandIn xplane(49009);
    XPlaneAircraft taxiing = defaultAircraft();
    taxiing.datarefs["sim/flightmodel/position/groundspeed"] = {8.0f};          // m/s
    taxiing.datarefs["sim/cockpit2/engine/indicators/engine_speed_rpm"] = {1500, 0, 0, 0};
    taxiing.datarefs["sim/flightmodel2/controls/elevator_trim"] = {1.0f};      // trim steps -5 and 5
    taxiing.datarefs["sim/flightmodel2/controls/aileron_trim"] = {-0.8f};
    xplane.setAircraft(taxiing);
    xplane.start();
    const int code = korvelMain(argc, argv);
    const qint64 exitMs = sinceClose.elapsed();
    QFile report(QStringLiteral("device.txt"));
    if (report.open(QIODevice::WriteOnly)) {
        report.write("before: " + beforeClose + "\nafter: " + held() + "\n");
        if (linkFailing) {
            const DeviceEmulator &e = HidStandin::emulator();
            report.write(QStringLiteral("exit %1 ms written %2 trim %3\n")
                             .arg(exitMs).arg(e.framesWrittenTotal()).arg(e.framesWritten(0x31)).toLatin1());
        }
    }
    return code;
}
