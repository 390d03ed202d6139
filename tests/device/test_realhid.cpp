// The shipped program's link on the real hidapi (on Windows its Windows
// backend) with no device present: Open Port finds none, says so once, and
// the window stays usable; nothing starts a search that could give up later.
#include "clscurve.h"
#include "ui_clscurve.h"

#include "testsupport.h"

#include <QtTest>

class TestRealHid : public QObject
{
    Q_OBJECT

private slots:
    void openPortWithoutDevice()
    {
        LogCapture::install();
        QVERIFY(provideTreeProfile());
        ModalCloser closer;
        clscurve w;
        Ui::clscurve *ui = w.form();
        w.show();

        for (int attempt = 1; attempt <= 2; ++attempt) {
            ui->pushButton_openPort->click();
            QTRY_COMPARE(closer.count("WARNING|Device Offline"), attempt);
            QCOMPARE(LogCapture::countContaining("no hid "), attempt);
            QVERIFY(w.portOpenFlag == 1 && w.deviceAnsweredFlag == 0);
            QVERIFY(w.replyPollTimer.isActive());
            QVERIFY(!w.txTimer.isActive() && !w.txInforTimer.isActive() && !w.searchDeviceTimer.isActive());
            QVERIFY(ui->pushButton_openPort->isEnabled() && !ui->pushButton_closePort->isEnabled());
        }
        QCOMPARE(ui->label_deviceConState->text(), QStringLiteral("Device Offline"));

        // Offline, the commands refuse with the same box and nothing else follows.
        ui->pushButton_channel_1->click();
        QTRY_COMPARE(closer.count("WARNING|Device Offline"), 3);
        ui->pushButton_connect_Fsim->click();
        QTRY_COMPARE(closer.count("WARNING|Device Offline"), 4);
        QTest::qWait(600);
        QCOMPARE(closer.boxes.size(), 4);
        QVERIFY(!closer.boxes.contains("WARNING|Device Not Answer"));
    }
};

QTEST_MAIN(TestRealHid)
#include "test_realhid.moc"
