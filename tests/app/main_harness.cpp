// The program's entry as shipped, with one addition for tests: all windows
// are closed KORVEL_HARNESS_MS milliseconds after start, as a user would.
#include "korvelmain.h"

#include <QApplication>
#include <QTimer>

static void scheduleClose()
{
    QTimer::singleShot(qEnvironmentVariableIntValue("KORVEL_HARNESS_MS"), [] { QApplication::closeAllWindows(); });
}
Q_COREAPP_STARTUP_FUNCTION(scheduleClose)

int main(int argc, char *argv[])
{
    return korvelMain(argc, argv);
}
