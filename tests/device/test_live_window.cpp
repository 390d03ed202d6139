// Live displays and the force curve through the real window: the curve
// rebuilt from the user channel record, axis sets per channel, the editor's
// spin boxes, the cross-hair of the live point and the device rows of the
// simulator page; and the emulated device's reports reaching them.
#include "windowtest.h"

#include <QAbstractItemModel>
#include <QtTest>
#include <qcustomplot.h>

class TestLiveWindow : public WindowTest
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void pitchCurve();
    void rollCurve();
    void profileRecordKeepsDeviceCurve();
    void livePoint();
    void deviceRowsUnscaled();
    void emulatedDeviceDrivesDisplays();

private:
    static UART_get_chan_config_t curveRecord(uint8_t chan, float s1, float s2, float s3, float p1, float p2);
    QList<QPointF> graphPoints(int graph) const;
    QString treeValue(int group, int row) const;
};

void TestLiveWindow::initTestCase()
{
    QVERIFY(openWindow());
}

void TestLiveWindow::init()
{
    startTest();
    w->currentChannel = 0;
}

void TestLiveWindow::cleanup()
{
    if (w->portOpenFlag == 1)
        w->on_pushButton_closePort_clicked();
    endTest();
}

UART_get_chan_config_t TestLiveWindow::curveRecord(uint8_t chan, float s1, float s2, float s3, float p1, float p2)
{
    UART_get_chan_config_t r;
    r.setU8(0, 0xAE);
    r.setU8(3, 0x14);
    r.setU8(4, 52);
    r.set_channel(chan);
    r.set_slope_1(s1);
    r.set_slope_2(s2);
    r.set_slope_3(s3);
    r.set_point_1(p1);
    r.set_point_2(p2);
    return r;
}

QList<QPointF> TestLiveWindow::graphPoints(int graph) const
{
    QList<QPointF> pts;
    for (const QCPGraphData &d : *ui->customplot1->graph(graph)->data())
        pts << QPointF(d.key, d.value);
    return pts;
}

QString TestLiveWindow::treeValue(int group, int row) const
{
    QAbstractItemModel *m = w->treeModel;
    return m->data(m->index(row, 1, m->index(group, 0)), Qt::DisplayRole).toString();
}

void TestLiveWindow::pitchCurve()
{
    w->userChanReplyImage[0] = curveRecord(0, 2.0f, 2.0f, 2.0f, -5.0f, 5.0f);
    w->userChanReplyImage[0].set_velocity_limit(12.345f);
    w->userChanReplyImage[0].set_motor_model(4);
    emit w->sendUARTget_config_value(0, &w->userChanReplyImage[0]);

    const QList<QPointF> pts = graphPoints(0);
    // The points between: the curve arithmetic's own test, and the editor below.
    QCOMPARE(pts.size(), 10);
    QCOMPARE(pts.first(), QPointF(-82.5, -40));
    QCOMPARE(pts.last(), QPointF(82.5, 40));

    QCOMPARE(ui->customplot1->xAxis->range().lower, -83.0);
    QCOMPARE(ui->customplot1->yAxis->range().upper, 120.0);
    QCOMPARE(ui->customplot1->xAxis->label(), QStringLiteral("Position（mm）"));
    QCOMPARE(ui->pos2->value(), -82.5);
    QCOMPARE(ui->foc2->value(), -40.0);
    QCOMPARE(ui->pos3->value(), -20.63);   // the spin box keeps two decimals
    QCOMPARE(ui->foc3->value(), -10.0);
    QCOMPARE(ui->pos4->value(), 20.63);
    QCOMPARE(ui->pos5->value(), 82.5);
    QCOMPARE(ui->foc5->value(), 40.0);

    QCOMPARE(treeValue(1, 1), QStringLiteral("4"));
    QCOMPARE(treeValue(1, 4), QStringLiteral("12.35"));
    QCOMPARE(treeValue(1, 7), QStringLiteral("2.00"));
    QCOMPARE(treeValue(1, 10), QStringLiteral("-5.00"));
    QCOMPARE(std::memcmp(w->chanSetImage[0].data, w->userChanReplyImage[0].data, 57), 0);
}

void TestLiveWindow::rollCurve()
{
    w->userChanReplyImage[1] = curveRecord(1, 2.0f, 2.0f, 2.0f, -5.0f, 5.0f);
    w->onUARTget_channel_config(1, &w->userChanReplyImage[1]);
    const QList<QPointF> pts = graphPoints(0);
    QCOMPARE(pts.first(), QPointF(-90, -40));
    QCOMPARE(pts.last(), QPointF(90, 40));
    QCOMPARE(ui->customplot1->xAxis->range().upper, 90.0);
    QCOMPARE(ui->customplot1->yAxis->range().lower, -60.0);
    QCOMPARE(ui->customplot1->xAxis->label(), QStringLiteral("Position（°）"));
    QCOMPARE(ui->pos5->value(), 90.0);
    QCOMPARE(treeValue(2, 7), QStringLiteral("2.00"));
    // A record for a channel that does not exist changes nothing.
    UART_get_chan_config_t other = curveRecord(2, 9.0f, 9.0f, 9.0f, -1.0f, 1.0f);
    w->onUARTget_channel_config(2, &other);
    QCOMPARE(graphPoints(0).last(), QPointF(90, 40));
}

void TestLiveWindow::profileRecordKeepsDeviceCurve()
{
    w->userChanReplyImage[0] = curveRecord(0, 2.0f, 2.0f, 2.0f, -5.0f, 5.0f);
    UART_get_chan_config_t fromFile = curveRecord(0, 1.0f, 3.0f, 1.0f, -2.0f, 2.0f);
    fromFile.set_force_limit(80.0f);
    w->onUARTget_channel_config(0, &fromFile);
    QCOMPARE(treeValue(1, 5), QStringLiteral("80.00"));
    QCOMPARE(treeValue(1, 8), QStringLiteral("3.00"));
    QCOMPARE(graphPoints(0).last(), QPointF(82.5, 40));
    QCOMPARE(ui->foc5->value(), 40.0);
    QCOMPARE(w->chanSetImage[0].force_limit(), 80.0f);
}

void TestLiveWindow::livePoint()
{
    w->currentChannel = 0;
    w->liveData[0][0] = 10.0f;
    w->liveData[0][1] = -12.34f;
    w->liveData[0][2] = 1.0f;
    w->liveData[1][0] = 3.0f;
    w->plotLivePoint();
    QCOMPARE(ui->lineEdit_pos_0->text(), QStringLiteral("41.25"));
    QCOMPARE(ui->lineEdit_com_force_0->text(), QStringLiteral("-12.3"));
    QCOMPARE(ui->lineEdit_trim_pos_0->text(), QStringLiteral("4.13"));
    QList<QPointF> v = graphPoints(4);
    std::sort(v.begin(), v.end(), [](const QPointF &a, const QPointF &b) { return a.y() < b.y(); });
    QCOMPARE(v, (QList<QPointF>{{41.25, -250}, {41.25, 250}}));
    const QList<QPointF> h = graphPoints(5);
    QCOMPARE(h.size(), 2);
    QCOMPARE(h[0].x(), -100.0);
    QCOMPARE(h[1].x(), 100.0);
    QCOMPARE(float(h[0].y()), -12.34f);
    QCOMPARE(ui->customplot1->xAxis->range().upper, 83.0);
    // The reference line through the origin stays.
    QList<QPointF> ref = graphPoints(2);
    std::sort(ref.begin(), ref.end(), [](const QPointF &a, const QPointF &b) { return a.y() < b.y(); });
    QCOMPARE(ref, (QList<QPointF>{{0, -250}, {0, 250}}));

    // A roll reply while pitch is current redraws pitch's numbers.
    w->liveData[1][0] = 7.0f;
    w->plotLivePoint();
    QCOMPARE(ui->lineEdit_pos_0->text(), QStringLiteral("41.25"));

    w->currentChannel = 1;
    w->plotLivePoint();
    QCOMPARE(ui->lineEdit_pos_0->text(), QStringLiteral("31.50"));
    QCOMPARE(ui->customplot1->xAxis->range().upper, 90.0);
    QCOMPARE(ui->customplot1->yAxis->range().upper, 60.0);
}

void TestLiveWindow::deviceRowsUnscaled()
{
    const float v[2][3] = {{10.0f, -1.5f, 0.25f}, {-3.0f, 2.0f, 0.125f}};
    std::memcpy(w->liveData, v, sizeof v);
    // Written only while in view; the parameter table is no tab of its page.
    ui->tabWidget->setCurrentWidget(ui->tab_6);
    ui->tab->show();
    w->updateDeviceLiveDisplays();
    QCOMPARE(ui->l21->text(), QStringLiteral("10.00000"));
    QCOMPARE(ui->l22->text(), QStringLiteral("-1.50000"));
    QCOMPARE(ui->l23->text(), QStringLiteral("0.25000"));
    QCOMPARE(ui->l24->text(), QStringLiteral("-3.00000"));
    QCOMPARE(ui->l25->text(), QStringLiteral("2.00000"));
    QCOMPARE(ui->l26->text(), QStringLiteral("0.12500"));
    ui->tab->hide();
    ui->tabWidget->setCurrentWidget(ui->tab_2);
}

void TestLiveWindow::emulatedDeviceDrivesDisplays()
{
    // The earlier cases left a record and a curve behind, and the emulator's
    // slope 2 is theirs too: clear both, so only the device's reply fills them.
    w->userChanReplyImage[0] = UART_get_chan_config_t();
    ui->customplot1->graph(0)->data()->clear();
    ui->pushButton_openPort->click();
    QTRY_VERIFY_WITH_TIMEOUT(w->isOnline(), 2000);
    // The user record read at the online transition draws the device's curve.
    DeviceEmulator &emu = HidStandin::emulator();
    const auto user = emu.userChanRecord(0);
    float s2;
    std::memcpy(&s2, user.data() + 21, 4);   // slope_2 at record offset 26
    QTRY_COMPARE_WITH_TIMEOUT(w->userChanReplyImage[0].slope_2(), s2, 2000);
    QTRY_VERIFY(graphPoints(0).size() == 10);
    QCOMPARE(graphPoints(0).last().x(), 82.5);
    // Live points follow the emulated yoke.
    QTRY_VERIFY_WITH_TIMEOUT(!ui->lineEdit_pos_0->text().isEmpty(), 1000);
    QTest::qWait(300);
    const float expected = emu.position(0) * 4.125f;
    QVERIFY2(std::fabs(ui->lineEdit_pos_0->text().toFloat() - expected) < 2.0f,
             qPrintable(ui->lineEdit_pos_0->text() + " vs " + QString::number(expected)));
    QVERIFY(closer->boxes.isEmpty());
}

QTEST_MAIN(TestLiveWindow)
#include "test_live_window.moc"
