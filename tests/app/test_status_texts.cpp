// Identity texts, fault decisions and latches of the status display.
#include "devicestatus.h"

#include <QtTest>

class TestStatusTexts : public QObject
{
    Q_OBJECT
private slots:
    void versionText();
    void buildWordText_data();
    void buildWordText();
    void systemStates();
    void axisStates();
    void latchesAnnounceOncePerGroupClear();
    void sendRateInterval();
};

void TestStatusTexts::versionText()
{
    QCOMPARE(versionWordText(0xFF0A0B0Cu), QStringLiteral("V 12.11.10"));
    QCOMPARE(versionWordText(0x00030201u), QStringLiteral("V 1.2.3"));
    QCOMPARE(versionWordText(0u), QStringLiteral("V 0.0.0"));
}

static uint32_t packBuild(uint32_t e, uint32_t d, uint32_t c, uint32_t b, uint32_t a)
{
    return e | (d << 8) | (c << 15) | (b << 19) | (a << 24);
}

void TestStatusTexts::buildWordText_data()
{
    QTest::addColumn<uint>("word");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("type");
    QTest::newRow("example") << uint(packBuild(1, 23, 5, 9, 12)) << "01.230509.12" << 1;
    QTest::newRow("product 2") << uint(packBuild(2, 24, 3, 5, 7)) << "02.240305.07" << 1;
    QTest::newRow("product 3") << uint(packBuild(3, 24, 3, 5, 7)) << "03.240305.07" << 99;
    QTest::newRow("product 0") << uint(packBuild(0, 0, 0, 0, 0)) << "00.000000.00" << 99;
    QTest::newRow("wide fields") << uint(packBuild(255, 127, 15, 31, 255)) << "255.1271531.255" << 99;
    QTest::newRow("ten") << uint(packBuild(10, 10, 10, 10, 10)) << "10.101010.10" << 99;
}

void TestStatusTexts::buildWordText()
{
    QFETCH(uint, word);
    QFETCH(QString, text);
    QFETCH(int, type);
    int deviceType = -5;
    QCOMPARE(::buildWordText(word, &deviceType), text);
    QCOMPARE(deviceType, type);
    QCOMPARE(deviceTypeOfBuildWord(word), type);
}

void TestStatusTexts::systemStates()
{
    StatusDecision d = systemStateDecision(0);
    QCOMPARE(d.lamp, LampColour::Green);
    QCOMPARE(d.text, QStringLiteral("System No Fault"));
    QVERIFY(d.noFault);
    QCOMPARE(d.latch, -1);

    d = systemStateDecision(1);
    QCOMPARE(d.lamp, LampColour::Red);
    QCOMPARE(d.text, QStringLiteral("Communication Cycle Timeout"));
    QVERIFY(d.stopStatusPoll);
    d = systemStateDecision(2);
    QCOMPARE(d.text, QStringLiteral("Self Test Failed"));
    QVERIFY(d.stopStatusPoll);

    d = systemStateDecision(3);
    QCOMPARE(d.lamp, LampColour::Yellow);
    QCOMPARE(d.text, QStringLiteral("System In BootMode"));
    QVERIFY(d.bootMode);
    QVERIFY(!d.stopStatusPoll);
    QVERIFY(d.latch >= 0);

    d = systemStateDecision(4);
    QCOMPARE(d.lamp, LampColour::Unchanged);
    QVERIFY(d.text.isEmpty());
    QCOMPARE(d.latch, -1);
}

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

void TestStatusTexts::sendRateInterval()
{
    QCOMPARE(txIntervalForRate(20), 50);
    QCOMPARE(txIntervalForRate(3), 333);
    QCOMPARE(txIntervalForRate(1500), 0);
    QCOMPARE(txIntervalForRate(0), -1);
    QCOMPARE(txIntervalForRate(-4), -1);
}

QTEST_APPLESS_MAIN(TestStatusTexts)
#include "test_status_texts.moc"
