// The window's ways of doing less while it shows the same: a poll timer that
// sleeps while it has nothing to do, the debug pane written only when it can
// be seen, the live cross-hair drawn at most once per screen refresh, and live
// fields that repaint without the group boxes behind them.
#include "debugpane.h"
#include "livecrosshair.h"
#include "opaquebackdrop.h"
#include "polltimer.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QScreen>
#include <QTextDocument>
#include <QTextEdit>
#include <QtTest>
#include <qcustomplot.h>

namespace {

// Ticks counted while the event loop runs for ms (or longer, on a loaded
// machine: elapsed tells how long it was).
int ticksWithin(PollTimer &t, int ms, qint64 *elapsed = nullptr)
{
    int n = 0;
    const QMetaObject::Connection c = QObject::connect(&t, &QTimer::timeout, [&n] { ++n; });
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(ms);
    QObject::disconnect(c);
    if (elapsed)
        *elapsed = clock.elapsed();
    return n;
}

// A plot as the main window sets it up: eight graphs, 4 and 5 the red
// cross-hair, drawn by the overlay or (for comparison) as the plot draws a
// graph on its buffered top layer.
struct CrosshairPlot {
    QCustomPlot plot;
    LiveCrosshair *crosshair = nullptr;

    explicit CrosshairPlot(bool overlay)
    {
        for (int i = 0; i < 8; ++i) {
            if (overlay && (i == 4 || i == 5))
                LiveCrosshair::addLineGraph(&plot);
            else
                plot.addGraph();
        }
        plot.graph(4)->setPen(QPen(Qt::red));
        plot.graph(5)->setPen(QPen(Qt::red));
        plot.xAxis->setRange(-83, 83);
        plot.yAxis->setRange(-120, 120);
        plot.resize(500, 400);
        if (overlay) {
            crosshair = new LiveCrosshair(&plot, plot.graph(4), plot.graph(5));
        } else {
            QCPLayer *top = plot.layer(QStringLiteral("overlay"));
            top->setMode(QCPLayer::lmBuffered);
            plot.graph(4)->setLayer(top);
            plot.graph(5)->setLayer(top);
        }
        plot.show();
        setPoint(0, 0);
        plot.replot();
    }
    void setPoint(double position, double force)
    {
        plot.graph(4)->setData({position, position}, {-250.0, 250.0});
        plot.graph(5)->setData({-100.0, 100.0}, {force, force});
    }
    // Red pixels along a row of the axis rect away from the force line.
    QList<int> redColumns()
    {
        const QImage img = plot.grab().toImage();
        const QRect r = plot.axisRect()->rect();
        const int y = r.top() + r.height() / 5;
        QList<int> xs;
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() > 150 && c.green() < 120 && c.blue() < 120)
                xs << x;
        }
        return xs;
    }
    // The vertical line, and only it, crosses the row at the position's pixel
    // (antialiasing may spread it to a neighbour).
    bool lineAt(double position)
    {
        const QList<int> red = redColumns();
        const int px = int(plot.xAxis->coordToPixel(position));
        const bool ok = !red.isEmpty() && red.first() >= px - 1 && red.last() <= px + 2;
        if (!ok)
            qWarning("red at %d..%d, the line expected at %d", red.value(0, -1), red.value(red.size() - 1, -1), px);
        return ok;
    }
};

// The largest difference of one colour of one pixel.
int worstDifference(const QImage &imageA, const QImage &imageB)
{
    const QImage a = imageA.convertToFormat(QImage::Format_RGB32), b = imageB.convertToFormat(QImage::Format_RGB32);
    if (a.size() != b.size())
        return 255;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb pa = a.pixel(x, y), pb = b.pixel(x, y);
            worst = qMax(worst, qMax(qAbs(qRed(pa) - qRed(pb)),
                                     qMax(qAbs(qGreen(pa) - qGreen(pb)), qAbs(qBlue(pa) - qBlue(pb)))));
        }
    return worst;
}

// A live field in a styled group box, as the main window holds it.
struct FieldWindow {
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject *, QEvent *e) override { paints += e->type() == QEvent::Paint; return false; }
    } counter;   // of the group box
    QWidget window;
    QGroupBox *box = new QGroupBox(QStringLiteral("Display"), &window);
    QLineEdit *field = new QLineEdit(box);

    explicit FieldWindow(bool opaque)
    {
        box->setStyleSheet(QStringLiteral("QGroupBox{ font-weight: bold; }"));
        field->setFocusPolicy(Qt::NoFocus);   // no focus frame in the window shown last
        (new QGridLayout(&window))->addWidget(box);
        (new QGridLayout(box))->addWidget(field);
        if (opaque)
            OpaqueBackdrop::attach(field);
        window.show();
        box->installEventFilter(&counter);
    }
    QImage screen() { return window.screen()->grabWindow(window.winId()).toImage(); }
};

} // namespace

class TestDisplayPacing : public QObject
{
    Q_OBJECT

private slots:
    void pollTimerSleepsWhileHeld();
    void debugPaneHoldsWhatItWouldHaveShown();
    void crosshairDrawsTheLatestPointWithinARefresh();
    void crosshairLooksAsThePlotWouldDrawIt();
    void opaqueFieldLooksTheSameAndRepaintsAlone();
};

void TestDisplayPacing::pollTimerSleepsWhileHeld()
{
    PollTimer t;
    t.setTimerType(Qt::PreciseTimer);
    t.start(10);
    QVERIFY(ticksWithin(t, 100) >= 5);

    // Held: still active at its interval, but silent.
    t.holdTicks();
    QVERIFY(t.isActive());
    QCOMPARE(t.interval(), 10);
    QCOMPARE(ticksWithin(t, 100), 0);

    // Resumed, twice over: ticking again at the same pace, not twice as often.
    t.resume();
    t.resume();
    qint64 ms = 0;
    int n = ticksWithin(t, 200, &ms);
    QVERIFY2(n >= 5 && n <= ms / 10 + 5, qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(n).arg(ms)));

    // Held, then started anew (a Close and Open Port): it ticks, once per
    // interval, and a late resume adds no second tick.
    t.holdTicks();
    t.stop();
    t.start(10);
    t.resume();
    n = ticksWithin(t, 200, &ms);
    QVERIFY2(n >= 5 && n <= ms / 10 + 5, qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(n).arg(ms)));
    // Held again after that start.
    t.holdTicks();
    QCOMPARE(ticksWithin(t, 60), 0);

    // Held, then stopped: a resume starts nothing.
    t.stop();
    t.resume();
    QVERIFY(!t.isActive());
    QCOMPARE(ticksWithin(t, 60), 0);
}

void TestDisplayPacing::debugPaneHoldsWhatItWouldHaveShown()
{
    QWidget window;
    auto *edit = new QTextEdit(&window);
    window.show();
    DebugPane pane(edit, 5);
    QTextEdit reference;   // every line written at once, with the same bound
    reference.document()->setMaximumBlockCount(5);
    const auto add = [&](const QByteArray &bytes, DebugPane::HexStyle style) {
        pane.append(bytes, style);
        reference.append(QString::fromLatin1(style == DebugPane::Compact ? bytes.toHex()
                                                                         : bytes.toHex(' ').toUpper()));
    };

    add(QByteArray("\xAE\x01", 2), DebugPane::Compact);   // seen: written at once
    QCOMPARE(edit->toPlainText(), QStringLiteral("ae01"));

    edit->hide();
    for (int i = 0; i < 8; ++i)
        add(QByteArray(1, char(i)) + QByteArray("\xAB", 1), i == 6 ? DebugPane::SpacedUpper : DebugPane::Compact);
    QCOMPARE(edit->toPlainText(), QStringLiteral("ae01"));   // nothing laid out while hidden
    QCOMPARE(pane.pendingLines(), 5);                        // and no more kept than it can show

    edit->show();
    QCOMPARE(edit->toPlainText(), reference.toPlainText());
    QCOMPARE(edit->document()->lastBlock().text(), QStringLiteral("07ab"));
    QCOMPARE(pane.pendingLines(), 0);
}

void TestDisplayPacing::crosshairDrawsTheLatestPointWithinARefresh()
{
    CrosshairPlot p(true);
    QTest::qWait(50);
    // Three points within one refresh: the first shows at once, the others
    // wait for the next frame, which shows the last of them.
    p.setPoint(-40, 0);
    p.crosshair->requestFrame();
    p.setPoint(10, 0);
    p.crosshair->requestFrame();
    p.setPoint(50, 0);
    p.crosshair->requestFrame();
    QVERIFY(p.crosshair->framePending());
    QTRY_VERIFY_WITH_TIMEOUT(!p.crosshair->framePending(), 100);
    QCoreApplication::processEvents();
    QVERIFY(p.lineAt(50));

    // After an axis change the whole plot is drawn again at once.
    p.plot.xAxis->setRange(-90, 90);
    p.setPoint(-60, 0);
    p.crosshair->replotAll();
    QVERIFY(!p.crosshair->framePending());
    QVERIFY(p.lineAt(-60));
}

void TestDisplayPacing::crosshairLooksAsThePlotWouldDrawIt()
{
    CrosshairPlot overlay(true), plain(false);
    for (CrosshairPlot *p : {&overlay, &plain}) {
        p->setPoint(20.3, -37.7);
        p->plot.replot();
    }
    QCoreApplication::processEvents();
    // Blending onto the widget rather than through a layer buffer may round
    // an antialiased edge by a step or two; nothing else may differ.
    int worst = worstDifference(overlay.plot.grab().toImage(), plain.plot.grab().toImage());
    QVERIFY2(worst <= 2, qPrintable(QStringLiteral("largest difference %1").arg(worst)));
    // On the screen, after a live frame and after new axes (the copy of the
    // plot under the lines is then drawn anew).
    const auto screen = [](CrosshairPlot &p) { return p.plot.screen()->grabWindow(p.plot.winId()).toImage(); };
    for (const bool newAxes : {false, true}) {
        for (CrosshairPlot *p : {&overlay, &plain}) {
            p->plot.xAxis->setRange(newAxes ? -40 : -83, newAxes ? 120 : 83);
            p->setPoint(-55.5, 80.25);
        }
        newAxes ? overlay.crosshair->replotAll() : overlay.crosshair->requestFrame();
        plain.plot.replot();
        QTest::qWait(50);
        worst = worstDifference(screen(overlay), screen(plain));
        QVERIFY2(worst <= 2, qPrintable(QStringLiteral("largest difference on screen %1").arg(worst)));
    }
}

void TestDisplayPacing::opaqueFieldLooksTheSameAndRepaintsAlone()
{
    FieldWindow opaque(true), plain(false);
    QVERIFY(QTest::qWaitForWindowExposed(&opaque.window) && QTest::qWaitForWindowExposed(&plain.window));
    QTest::qWait(30);
    QCOMPARE(opaque.screen(), plain.screen());
    // A new text is painted over the backdrop as over the group box, which
    // is not painted for it.
    opaque.counter.paints = 0;
    for (FieldWindow *w : {&opaque, &plain})
        w->field->setText(QStringLiteral("-12.3"));
    QTest::qWait(30);
    QCOMPARE(opaque.screen(), plain.screen());
    QCOMPARE(opaque.counter.paints, 0);
}

QTEST_MAIN(TestDisplayPacing)
#include "test_display_pacing.moc"
