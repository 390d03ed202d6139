// Fault decisions and latches of the status display.
#include "devicestatus.h"

#include <QtTest>

class TestStatusTexts : public QObject
{
    Q_OBJECT
private slots:
    void axisStates();
    void latchesAnnounceOncePerGroupClear();
};

void TestStatusTexts::axisStates()
{
    const char *pitch[] = {"Pitch No Fault", "Pitch Over Temptuature", "Pitch Over Speed",
                           "Pitch Over Force", "Pitch Motor Comm Failure"};
    const char *roll[] = {"Roll No Fault", "Roll Over Temptuature", "Roll Over Speed",
                          "Roll Over Force", "Roll Motor Comm Failure"};
    QSet<int> latches;
    for (int s = 0; s <= 4; ++s) {
        const StatusDecision p = axisStateDecision(0, uint8_t(s));
        const StatusDecision r = axisStateDecision(1, uint8_t(s));
        QCOMPARE(p.text, QString::fromLatin1(pitch[s]));
        QCOMPARE(r.text, QString::fromLatin1(roll[s]));
        QCOMPARE(p.lamp, s == 0 ? LampColour::Green : LampColour::Red);
        if (s) {
            QVERIFY(p.stopStatusPoll && r.stopStatusPoll);
            latches << p.latch << r.latch;
        }
    }
    // Eleven distinct latches with the three system ones.
    for (int s = 1; s <= 3; ++s)
        latches << systemStateDecision(uint8_t(s)).latch;
    QCOMPARE(latches.size(), FaultLatches::kCount);
    QVERIFY(!latches.contains(-1));
    QCOMPARE(axisStateDecision(0, 5).lamp, LampColour::Unchanged);
    QCOMPARE(axisStateDecision(2, 3).lamp, LampColour::Unchanged);
}

void TestStatusTexts::latchesAnnounceOncePerGroupClear()
{
    FaultLatches l;
    const int overForce = axisStateDecision(0, 3).latch;
    const int rollForce = axisStateDecision(1, 3).latch;
    QVERIFY(l.latch(overForce));
    QVERIFY(!l.latch(overForce));
    QVERIFY(l.latch(rollForce));
    l.clearSystem();            // another group's clear leaves it set
    l.clearAxis(1);
    QVERIFY(!l.latch(overForce));
    QVERIFY(!l.isSet(rollForce));
    l.clearAxis(0);
    QVERIFY(l.latch(overForce));
    QVERIFY(!l.latch(-1));
    QVERIFY(!l.latch(FaultLatches::kCount));
}

QTEST_APPLESS_MAIN(TestStatusTexts)
#include "test_status_texts.moc"
