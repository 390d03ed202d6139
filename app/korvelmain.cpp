#include "korvelmain.h"

#include "bridgeprograms.h"
#include "clscurve.h"
#include "formfont.h"
#include "loghandler.h"
#include "processcontrol.h"

#include <QApplication>
#include <QDebug>
#include <QTime>

void terminateBridgePrograms()
{
    for (const char *name : BridgePrograms::All)
        platform::terminateProcessesByName(name);
}

int korvelMain(int argc, char *argv[])
{
    auto *app = new QApplication(argc, argv);
    useFormFont();
    LogHandler::install();
    qDebug() << "Halvern Link";
    qDebug() << "Start Time" << QTime::currentTime().toString("hh:mm:ss");

    // Lives until the process ends: its destructor would stop the simulator
    // reader, which is left to end with the process.
    auto *window = new clscurve();
    window->show();
    const int code = app->exec();

    window->releaseDeviceAtExit();
    terminateBridgePrograms();
    qDebug() << "End Time" << QTime::currentTime().toString("hh:mm:ss");
    LogHandler::uninstall();
    delete app;
    return code;
}
