#include "setini.h"

#include <QFileInfo>

namespace {

#define IKEY(g, n) {#g, #n, &EffectSettings::g##_##n, nullptr}
#define FKEY(g, n) {#g, #n, nullptr, &EffectSettings::g##_##n}

const EffectKey kBaseKeys[setini::kBaseKeyCount] = {
    IKEY(Trim, state), IKEY(Trim, softtrim), IKEY(Trim, softtrimspd),
    IKEY(Engine, state), IKEY(Engine, force_precent),
    IKEY(physics, state), IKEY(physics, force_precent), IKEY(physics, speed_start), IKEY(physics, speed_middle),
    IKEY(Dynamic, state), FKEY(Dynamic, pitch_mid), FKEY(Dynamic, roll_mid), FKEY(Dynamic, pitch_max),
    FKEY(Dynamic, roll_max), FKEY(Dynamic, pitch_ratio), FKEY(Dynamic, roll_ratio), FKEY(Dynamic, pitch_zone),
    FKEY(Dynamic, roll_zone),
    FKEY(softTrim, speed),
    IKEY(physics, prop), IKEY(physics, prop_ele), IKEY(physics, prop_ail), IKEY(physics, prop_rud),
    IKEY(physics, rpm_idle), IKEY(physics, rpm_middle),
    IKEY(Ground, state), IKEY(Ground, force_precent_min), IKEY(Ground, force_precent_max), IKEY(Ground, Ele),
    IKEY(Ground, Ail), IKEY(Ground, Rudder), IKEY(Ground, speed), IKEY(Ground, setting), FKEY(Ground, Height),
    IKEY(Ground, Landing), IKEY(Ground, type), IKEY(Ground, landmax),
    IKEY(Turbulences, state), IKEY(Turbulences, force_precent_min), IKEY(Turbulences, force_precent_max),
    IKEY(Turbulences, sensitivity), IKEY(Turbulences, ramp),
    IKEY(stick, state), IKEY(stick, user), IKEY(stick, speed_min), IKEY(stick, speed_max), FKEY(stick, aoa_min),
    FKEY(stick, aoa_max), IKEY(stick, over), IKEY(stick, speed_over), IKEY(stick, ele), IKEY(stick, rudder),
    IKEY(stick, force_precent),
    IKEY(ap, state),
};

#undef IKEY
#undef FKEY

const QString kFlagState = QStringLiteral("flag/state");
const QString kSerialNum = QStringLiteral("serial/num");
const QString kFlagSimulator = QStringLiteral("flag/simulator");

// A missing key or text that is no number reads as 0.
int readInt(QSettings &s, const QString &key)
{
    return s.value(key, QVariant()).toInt();
}

float readFloat(QSettings &s, const QString &key)
{
    return s.value(key, QVariant()).toFloat();
}

} // namespace

setini::setini(const QString &fileName)
    : QSettings(fileName, QSettings::IniFormat), m_fileName(fileName)
{
}

setini::~setini() = default;

const EffectKey *setini::baseKeys(int *count)
{
    if (count)
        *count = kBaseKeyCount;
    return kBaseKeys;
}

QString setini::userKey(const QString &profile, const EffectKey &key)
{
    return profile + QStringLiteral("user_") + key.key();
}

QVariant setini::floatVariant(float value)
{
    // Written as the shortest text that reads back as the same float, so 2.4
    // stays "2.4" in the file instead of the double expansion of 2.4f.
    for (int precision = 1; precision <= 9; ++precision) {
        const QString text = QString::number(double(value), 'g', precision);
        if (text.toFloat() == value)
            return QVariant(text.toDouble());
    }
    return QVariant(double(value));
}

int setini::initDefaults()
{
    QSettings s(m_fileName, QSettings::IniFormat);
    const int state = readInt(s, kFlagState);
    if (state != 0) {
        serial_num = readInt(s, kSerialNum);
        return state;
    }
    writeFactoryDefaults(s);
    return 0;
}

void setini::writeFactoryDefaults(QSettings &s)
{
    s.setValue(kFlagState, QStringLiteral("1"));
    s.setValue(kSerialNum, QStringLiteral("0"));
    s.setValue(kFlagSimulator, QStringLiteral("1"));
    s.setValue(QStringLiteral("Trim/state"), QStringLiteral("1"));
    s.setValue(QStringLiteral("Trim/softtrim"), QStringLiteral("0"));
    s.setValue(QStringLiteral("Trim/softtrimspd"), QStringLiteral("5"));

    s.setValue(QStringLiteral("Engine/state"), 1);
    s.setValue(QStringLiteral("Engine/force_precent"), 20);

    s.setValue(QStringLiteral("Turbulences/state"), 0);
    s.setValue(QStringLiteral("Turbulences/force_precent_min"), 0);
    s.setValue(QStringLiteral("Turbulences/force_precent_max"), 50);
    s.setValue(QStringLiteral("Turbulences/sensitivity"), 50);
    s.setValue(QStringLiteral("Turbulences/ramp"), 5);

    s.setValue(QStringLiteral("Ground/state"), 1);
    s.setValue(QStringLiteral("Ground/Ele"), 1);
    s.setValue(QStringLiteral("Ground/Ail"), 0);
    s.setValue(QStringLiteral("Ground/Rudder"), 0);
    s.setValue(QStringLiteral("Ground/force_precent_min"), 5);
    s.setValue(QStringLiteral("Ground/force_precent_max"), 15);
    s.setValue(QStringLiteral("Ground/speed"), 65);
    s.setValue(QStringLiteral("Ground/setting"), 100);
    s.setValue(QStringLiteral("Ground/Height"), 2.4);
    s.setValue(QStringLiteral("Ground/Landing"), 1);
    s.setValue(QStringLiteral("Ground/type"), 0);
    s.setValue(QStringLiteral("Ground/landmax"), 50);

    s.setValue(QStringLiteral("physics/state"), 1);
    s.setValue(QStringLiteral("physics/prop"), 1);
    s.setValue(QStringLiteral("physics/prop_rud"), 0);
    s.setValue(QStringLiteral("physics/prop_ele"), 1);
    s.setValue(QStringLiteral("physics/prop_ail"), 0);
    s.setValue(QStringLiteral("physics/force_precent"), -20);
    s.setValue(QStringLiteral("physics/speed_start"), 10);
    s.setValue(QStringLiteral("physics/speed_middle"), 30);
    s.setValue(QStringLiteral("physics/rpm_idle"), 600);
    s.setValue(QStringLiteral("physics/rpm_middle"), 2500);

    s.setValue(QStringLiteral("stick/state"), 1);
    s.setValue(QStringLiteral("stick/user"), 1);
    s.setValue(QStringLiteral("stick/over"), 0);
    s.setValue(QStringLiteral("stick/ele"), 1);
    s.setValue(QStringLiteral("stick/rudder"), 0);
    s.setValue(QStringLiteral("stick/force_precent"), 100);
    s.setValue(QStringLiteral("stick/speed_min"), 50);
    s.setValue(QStringLiteral("stick/speed_max"), 35);
    s.setValue(QStringLiteral("stick/aoa_min"), 10.0);
    s.setValue(QStringLiteral("stick/aoa_max"), 20.0);
    s.setValue(QStringLiteral("stick/speed_over"), 0);

    s.setValue(QStringLiteral("Dynamic/state"), 1);
    s.setValue(QStringLiteral("Dynamic/pitch_mid"), 30.0);
    s.setValue(QStringLiteral("Dynamic/pitch_ratio"), 10.0);
    s.setValue(QStringLiteral("Dynamic/pitch_zone"), 1.0);
    s.setValue(QStringLiteral("Dynamic/roll_mid"), 30.0);
    s.setValue(QStringLiteral("Dynamic/roll_ratio"), 10.0);
    s.setValue(QStringLiteral("Dynamic/roll_zone"), 1.0);
    s.setValue(QStringLiteral("Dynamic/pitch_max"), 120.0);
    s.setValue(QStringLiteral("Dynamic/roll_max"), 120.0);

    s.setValue(QStringLiteral("softTrim/speed"), 2);
    s.setValue(QStringLiteral("ap/state"), 1);
}

void setini::readSet(QSettings &s, const QString &prefix, bool withSoftTrim)
{
    flag_state = readInt(s, kFlagState);
    serial_num = readInt(s, kSerialNum);
    for (const EffectKey &k : kBaseKeys) {
        if (!withSoftTrim && k.intField == &EffectSettings::Trim_softtrim)
            continue;
        const QString key = prefix + k.key();
        if (k.intField)
            this->*k.intField = readInt(s, key);
        else
            this->*k.floatField = readFloat(s, key);
    }
}

void setini::loadBaseProfile()
{
    QSettings s(m_fileName, QSettings::IniFormat);
    readSet(s, QString(), false);
}

void setini::loadUserProfile(const QString &profile)
{
    QSettings s(m_fileName, QSettings::IniFormat);
    readSet(s, profile + QStringLiteral("user_"), true);
}

int setini::saveUserProfile(const QString &profile)
{
    QSettings s(m_fileName, QSettings::IniFormat);
    if (readInt(s, kFlagState) == 0)
        return 0;
    for (const EffectKey &k : kBaseKeys) {
        const QString key = userKey(profile, k);
        if (k.intField)
            s.setValue(key, this->*k.intField);
        else
            s.setValue(key, floatVariant(this->*k.floatField));
    }
    // Written out now, so that the caller can tell a saved profile from a lost one.
    s.sync();
    return s.status() == QSettings::NoError ? 1 : -1;
}

bool setini::saveSerial(int state, const QString &profile)
{
    QSettings s(m_fileName, QSettings::IniFormat);
    s.setValue(kSerialNum, profile);
    s.setValue(kFlagState, state);
    s.sync();
    return s.status() == QSettings::NoError;
}

void setini::setSimulator(int index)
{
    QSettings s(m_fileName, QSettings::IniFormat);
    s.setValue(kFlagSimulator, index);
}

int setini::simulator()
{
    QSettings s(m_fileName, QSettings::IniFormat);
    return readInt(s, kFlagSimulator);
}

int setini::writeKey(const QString &group, const QString &name, const QVariant &value, const QString &suffix)
{
    QSettings s(m_fileName, QSettings::IniFormat);
    if (readInt(s, kFlagState) == 0)
        return 0;
    s.setValue(group + QLatin1Char('/') + name + suffix, value);
    return 1;
}

void setini::saveChannelProfile(const QString &name)
{
    const QString dir = QFileInfo(m_fileName).path();
    QSettings channel(dir + QLatin1Char('/') + name + QStringLiteral(".ini"), QSettings::IniFormat);
    if (readInt(channel, kFlagState) == 0) {
        struct Item { const char *key; int offset; };
        static const Item items[] = {
            {"slope_1", UART_get_chan_config_t::OffSlope1}, {"slope_2", UART_get_chan_config_t::OffSlope2},
            {"slope_3", UART_get_chan_config_t::OffSlope3}, {"point_1", UART_get_chan_config_t::OffPoint1},
            {"point_2", UART_get_chan_config_t::OffPoint2}, {"damping_variable", UART_get_chan_config_t::OffDamping},
            {"inertia_variable", UART_get_chan_config_t::OffInertia},
            {"HW_default_speed", UART_get_chan_config_t::OffDefaultSpeed},
        };
        for (const Item &it : items)
            channel.setValue(name + QStringLiteral("Pitch/") + QLatin1String(it.key),
                             floatVariant(pitchChannelImage.f32(it.offset)));
        for (const Item &it : items)
            channel.setValue(name + QStringLiteral("Roll/") + QLatin1String(it.key),
                             floatVariant(rollChannelImage.f32(it.offset)));
    }
    QSettings s(m_fileName, QSettings::IniFormat);
    s.setValue(QStringLiteral("config/") + name, 1);
}

void setini::removeGroup(const QString &name)
{
    QSettings s(m_fileName, QSettings::IniFormat);
    const QStringList groups = s.childGroups();
    for (const QString &group : groups) {
        if (group == name)
            s.remove(group);
    }
}

void setini::listGroups(QStringList &list)
{
    QSettings s(m_fileName, QSettings::IniFormat);
    const QStringList groups = s.childGroups();
    for (const QString &group : groups) {
        if (group == QLatin1String("config")) {
            s.beginGroup(group);
            list = s.childKeys();
            s.endGroup();
            return;
        }
    }
}
