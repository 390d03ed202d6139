// The program's entry as shipped, with two additions for tests: all windows
// are closed KORVEL_HARNESS_MS milliseconds after start, as a user would, and
// one of the program's Chinese diagnostic lines is logged before that.
#include "korvelmain.h"

#include <QApplication>
#include <QDebug>
#include <QTimer>

static void scheduleClose()
{
    const int ms = qEnvironmentVariableIntValue("KORVEL_HARNESS_MS");
    QTimer::singleShot(ms / 2, [] { qDebug().noquote() << QString::fromUtf8("后收到字节数："); });
    QTimer::singleShot(ms, [] { QApplication::closeAllWindows(); });
}
Q_COREAPP_STARTUP_FUNCTION(scheduleClose)

int main(int argc, char *argv[])
{
    return korvelMain(argc, argv);
}
