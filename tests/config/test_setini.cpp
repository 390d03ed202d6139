// The Effect.ini store: factory defaults, the Default and Custom sets, the
// refusal to write a user set into an uninitialised file, and the rarely used
// channel-profile keys.
#include "setini.h"

#include <QtTest>
#include <QSettings>

namespace {

void clearFiles()
{
    QFile::remove(QStringLiteral("Effect.ini"));
    QFile::remove(QStringLiteral("yoke.ini"));
}

#define EFFECT_INI QStringLiteral("Effect.ini"), QSettings::IniFormat

} // namespace

class TestSetini : public QObject
{
    Q_OBJECT
private slots:
    void init() { clearFiles(); }
    void cleanupTestCase() { clearFiles(); }

    void firstInitialisationWritesFactoryBaseOnly();
    void storedStateIsReportedWithoutWriting();
    void baseLoadSkipsSoftTrim();
    void userSetsOfProfilesAreDistinct();
    void neverSavedUserSetLoadsAsZeros();
    void saveRefusesUninitialisedFile();
    void saveSerialSimulatorAndWriteKey();
    void channelProfileKeysAndGroups();
};

void TestSetini::firstInitialisationWritesFactoryBaseOnly()
{
    setini ini;
    QCOMPARE(ini.initDefaults(), 0);
    // The fields are not touched by the initialisation itself.
    QCOMPARE(ini.flag_state, 0);
    QCOMPARE(ini.Engine_force_precent, 0);

    QSettings s(EFFECT_INI);
    QCOMPARE(s.allKeys().size(), 57);
    for (const QString &g : s.childGroups())
        QVERIFY2(!g.contains(QStringLiteral("user_")), qPrintable(g));
    const QList<QPair<const char *, QVariant>> expected = {
        {"flag/state", 1}, {"serial/num", 0}, {"flag/simulator", 1}, {"Trim/state", 1}, {"Trim/softtrim", 0},
        {"Trim/softtrimspd", 5}, {"Engine/state", 1}, {"Engine/force_precent", 20}, {"physics/force_precent", -20},
        {"physics/rpm_idle", 600}, {"physics/rpm_middle", 2500}, {"Ground/setting", 100}, {"Ground/speed", 65},
        {"Ground/landmax", 50}, {"Turbulences/state", 0}, {"Turbulences/sensitivity", 50}, {"stick/speed_min", 50},
        {"stick/speed_max", 35}, {"stick/force_precent", 100}, {"ap/state", 1}, {"softTrim/speed", 2}};
    for (const auto &e : expected)
        QVERIFY2(s.value(QLatin1String(e.first)).toInt() == e.second.toInt(), e.first);
    QCOMPARE(s.value("Ground/Height").toFloat(), 2.4f);
    QCOMPARE(s.value("Dynamic/pitch_max").toFloat(), 120.0f);
    QCOMPARE(s.value("stick/aoa_max").toFloat(), 20.0f);
    QCOMPARE(s.value("serial/num").toString(), QStringLiteral("0"));

    // Every base key has its value in the file.
    int count = 0;
    const EffectKey *keys = setini::baseKeys(&count);
    QCOMPARE(count, 54);
    for (int i = 0; i < count; ++i)
        QVERIFY2(s.contains(keys[i].key()), qPrintable(keys[i].key()));

    // A second initialisation reports the stored Default state and reads serial/num.
    setini again;
    QCOMPARE(again.initDefaults(), 1);
    QCOMPARE(again.serial_num, 0);
    QCOMPARE(QSettings(EFFECT_INI).allKeys().size(), 57);
}

void TestSetini::storedStateIsReportedWithoutWriting()
{
    {
        QSettings s(EFFECT_INI);
        s.setValue("flag/state", 2);
        s.setValue("serial/num", "7");
    }
    setini ini;
    QCOMPARE(ini.initDefaults(), 2);
    QCOMPARE(ini.serial_num, 7);
    QCOMPARE(QSettings(EFFECT_INI).allKeys().size(), 2);
}

void TestSetini::baseLoadSkipsSoftTrim()
{
    setini ini;
    ini.initDefaults();
    {
        QSettings s(EFFECT_INI);
        s.setValue("Trim/softtrim", 1);
        s.setValue("Ground/type", 1);
    }
    ini.Trim_softtrim = 7;
    ini.loadBaseProfile();
    QCOMPARE(ini.Trim_softtrim, 7);
    QCOMPARE(ini.flag_state, 1);
    QCOMPARE(ini.Trim_softtrimspd, 5);
    QCOMPARE(ini.physics_force_precent, -20);
    QCOMPARE(ini.Ground_Height, 2.4f);
    QCOMPARE(ini.Ground_type, 1);
    QCOMPARE(ini.stick_aoa_min, 10.0f);
    QCOMPARE(ini.softTrim_speed, 2.0f);

    // A user load does set it.
    ini.Trim_softtrim = 1;
    ini.Ground_Height = 3.7f;
    QCOMPARE(ini.saveUserProfile(QStringLiteral("2")), 1);
    ini.Trim_softtrim = 0;
    ini.Ground_Height = 0;
    ini.loadUserProfile(QStringLiteral("2"));
    QCOMPARE(ini.Trim_softtrim, 1);
    QCOMPARE(ini.Ground_Height, 3.7f);
    QCOMPARE(QSettings(EFFECT_INI).value("2user_Ground/Height").toString(), QStringLiteral("3.7"));
}

void TestSetini::userSetsOfProfilesAreDistinct()
{
    setini ini;
    ini.initDefaults();
    ini.loadBaseProfile();
    ini.Engine_force_precent = 11;
    ini.Dynamic_roll_zone = 0.25f;
    QCOMPARE(ini.saveUserProfile(QStringLiteral("1")), 1);
    ini.Engine_force_precent = 100;
    ini.Dynamic_roll_zone = 9.5f;
    QCOMPARE(ini.saveUserProfile(QStringLiteral("10")), 1);

    QSettings s(EFFECT_INI);
    QCOMPARE(s.value("1user_Engine/force_precent").toInt(), 11);
    QCOMPARE(s.value("10user_Engine/force_precent").toInt(), 100);
    QVERIFY(s.childGroups().contains(QStringLiteral("10user_Trim")));
    QVERIFY(s.childGroups().contains(QStringLiteral("1user_Trim")));
    // Each user set holds all 54 keys and nothing of the state keys.
    s.beginGroup(QStringLiteral("10user_Ground"));
    QCOMPARE(s.childKeys().size(), 12);
    s.endGroup();
    QCOMPARE(s.value("flag/state").toInt(), 1);
    QCOMPARE(s.value("serial/num").toString(), QStringLiteral("0"));
    int userKeys = 0;
    for (const QString &k : s.allKeys())
        userKeys += k.startsWith(QLatin1String("10user_")) ? 1 : 0;
    QCOMPARE(userKeys, 54);

    setini other;
    other.loadUserProfile(QStringLiteral("1"));
    QCOMPARE(other.Engine_force_precent, 11);
    QCOMPARE(other.Dynamic_roll_zone, 0.25f);
    other.loadUserProfile(QStringLiteral("10"));
    QCOMPARE(other.Engine_force_precent, 100);
    QCOMPARE(other.Dynamic_roll_zone, 9.5f);
    QCOMPARE(other.flag_state, 1);
}

void TestSetini::neverSavedUserSetLoadsAsZeros()
{
    setini ini;
    ini.initDefaults();
    ini.loadBaseProfile();
    QCOMPARE(ini.Engine_force_precent, 20);
    ini.loadUserProfile(QStringLiteral("4"));
    QCOMPARE(ini.Engine_force_precent, 0);
    QCOMPARE(ini.Engine_state, 0);
    QCOMPARE(ini.Ground_Height, 0.0f);
    QCOMPARE(ini.physics_force_precent, 0);
    QCOMPARE(ini.flag_state, 1);   // the state keys are read all the same

    // Text that is no number reads as 0.
    {
        QSettings s(EFFECT_INI);
        s.setValue("5user_Engine/force_precent", "abc");
    }
    ini.loadUserProfile(QStringLiteral("5"));
    QCOMPARE(ini.Engine_force_precent, 0);
}

void TestSetini::saveRefusesUninitialisedFile()
{
    {
        // User sets without a state: the file counts as not initialised.
        QSettings s(EFFECT_INI);
        s.setValue("3user_Engine/force_precent", 44);
    }
    setini ini;
    ini.Engine_force_precent = 99;
    QCOMPARE(ini.saveUserProfile(QStringLiteral("3")), 0);
    QCOMPARE(ini.writeKey(QStringLiteral("Engine"), QStringLiteral("state"), 1, QString()), 0);
    QSettings s(EFFECT_INI);
    QCOMPARE(s.value("3user_Engine/force_precent").toInt(), 44);
    QCOMPARE(s.allKeys().size(), 1);

    s.setValue("flag/state", 0);
    s.sync();
    QCOMPARE(ini.saveUserProfile(QStringLiteral("3")), 0);
    QCOMPARE(QSettings(EFFECT_INI).value("3user_Engine/force_precent").toInt(), 44);
}

void TestSetini::saveSerialSimulatorAndWriteKey()
{
    setini ini;
    QCOMPARE(ini.simulator(), 0);   // missing reads 0
    ini.initDefaults();
    QCOMPARE(ini.simulator(), 1);
    ini.setSimulator(2);
    QCOMPARE(ini.simulator(), 2);
    QCOMPARE(QSettings(EFFECT_INI).value("flag/simulator").toInt(), 2);

    ini.saveSerial(2, QStringLiteral("4"));
    QCOMPARE(QSettings(EFFECT_INI).value("serial/num").toString(), QStringLiteral("4"));
    QCOMPARE(QSettings(EFFECT_INI).value("flag/state").toInt(), 2);
    // The fields are not touched.
    QCOMPARE(ini.flag_state, 0);
    setini next;
    QCOMPARE(next.initDefaults(), 2);
    QCOMPARE(next.serial_num, 4);

    QCOMPARE(ini.writeKey(QStringLiteral("Engine"), QStringLiteral("force"), 7, QStringLiteral("_precent")), 1);
    QCOMPARE(QSettings(EFFECT_INI).value("Engine/force_precent").toInt(), 7);
}

void TestSetini::channelProfileKeysAndGroups()
{
    setini ini;
    ini.initDefaults();
    QStringList list{QStringLiteral("keep")};
    ini.listGroups(list);
    QCOMPARE(list, QStringList{QStringLiteral("keep")});   // no "config" group yet

    ini.pitchChannelImage.set_slope_1(1.5f);
    ini.pitchChannelImage.set_HW_default_speed(12.25f);
    ini.rollChannelImage.set_damping_variable(0.5f);
    ini.saveChannelProfile(QStringLiteral("yoke"));
    {
        QSettings yoke(QStringLiteral("yoke.ini"), QSettings::IniFormat);
        QCOMPARE(yoke.allKeys().size(), 16);
        QCOMPARE(yoke.value("yokePitch/slope_1").toFloat(), 1.5f);
        QCOMPARE(yoke.value("yokePitch/HW_default_speed").toFloat(), 12.25f);
        QCOMPARE(yoke.value("yokeRoll/damping_variable").toFloat(), 0.5f);
    }
    // Nothing writes flag/state into the channel file, so a second call writes again.
    ini.pitchChannelImage.set_slope_1(2.5f);
    ini.saveChannelProfile(QStringLiteral("yoke"));
    QCOMPARE(QSettings(QStringLiteral("yoke.ini"), QSettings::IniFormat).value("yokePitch/slope_1").toFloat(), 2.5f);
    ini.saveChannelProfile(QStringLiteral("stick"));
    QFile::remove(QStringLiteral("stick.ini"));

    ini.listGroups(list);
    QCOMPARE(list, (QStringList{QStringLiteral("stick"), QStringLiteral("yoke")}));

    ini.removeGroup(QStringLiteral("Config"));   // case-sensitive: no such group
    QVERIFY(QSettings(EFFECT_INI).childGroups().contains(QStringLiteral("config")));
    ini.removeGroup(QStringLiteral("config"));
    QVERIFY(!QSettings(EFFECT_INI).childGroups().contains(QStringLiteral("config")));
    QCOMPARE(QSettings(EFFECT_INI).value("Engine/force_precent").toInt(), 20);
}

QTEST_GUILESS_MAIN(TestSetini)
#include "test_setini.moc"
