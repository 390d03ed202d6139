#pragma once
// The frame of the window tests on the emulated device: one window per test
// executable, shown, beside a copy of the parameter tree file, with every log
// line captured; a fresh emulated device and modal-box closer for each test
// function. Header only: it needs the application and the hidapi stand-in,
// which only the window tests link.
#include "clscurve.h"
#include "ui_clscurve.h"

#include "hid_standin.h"
#include "testsupport.h"

#include <QtTest>

class WindowTest : public QObject
{
protected:
    // For initTestCase: false when the tree file could not be provided.
    bool openWindow()
    {
        LogCapture::install();
        if (!provideTreeProfile())
            return false;
        w = new clscurve();
        ui = w->form();
        w->show();
        return true;
    }
    // For init.
    void startTest()
    {
        HidStandin::reset();
        closer = new ModalCloser(this);
    }
    // For cleanup, once the port is closed.
    void endTest()
    {
        QTest::qWait(20);
        delete closer;
        closer = nullptr;
    }

    // Opens the port and waits until the device is online and the read flow
    // of the online transition has ended.
    void openOnline()
    {
        ui->pushButton_openPort->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->isOnline(), 2000);
        QTRY_VERIFY_WITH_TIMEOUT(w->txTimer.isActive() && w->txInforTimer.isActive(), 2000);
        QTest::qWait(150);
    }
    // For cleanup: closes what the test left open; a search still running
    // would give up in the next test.
    void closeIfOpen()
    {
        if (w->portOpenFlag == 1 || w->replyPollTimer.isActive())
            w->on_pushButton_closePort_clicked();
        w->stopSearchDeviceTimerIfActive();
    }

    clscurve *w = nullptr;
    Ui::clscurve *ui = nullptr;
    ModalCloser *closer = nullptr;
};
