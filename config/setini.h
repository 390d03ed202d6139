#pragma once
// The effect settings store: the force-effect settings of the main window in
// memory, moved to and from Effect.ini. The file holds one factory (Default)
// set, up to ten numbered user (Custom) sets, the Default/Custom choice with
// its profile number, and the chosen simulator.

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>

#include "device_records.h"

// One field per Effect.ini key (group_key); i32 unless float.
struct EffectSettings
{
    int32_t flag_state = 0;
    int32_t serial_num = 0;
    int32_t Trim_state = 0;
    int32_t Trim_softtrim = 0;
    int32_t Trim_softtrimspd = 0;
    int32_t Engine_state = 0;
    int32_t Engine_force_precent = 0;
    int32_t physics_state = 0;
    int32_t physics_force_precent = 0;
    int32_t physics_speed_start = 0;
    int32_t physics_speed_middle = 0;
    int32_t Dynamic_state = 0;
    float Dynamic_pitch_mid = 0;
    float Dynamic_roll_mid = 0;
    float Dynamic_pitch_max = 0;
    float Dynamic_roll_max = 0;
    float Dynamic_pitch_ratio = 0;
    float Dynamic_roll_ratio = 0;
    float Dynamic_pitch_zone = 0;
    float Dynamic_roll_zone = 0;
    float softTrim_speed = 0;
    int32_t physics_prop = 0;
    int32_t physics_prop_ele = 0;
    int32_t physics_prop_ail = 0;
    int32_t physics_prop_rud = 0;
    int32_t physics_rpm_idle = 0;
    int32_t physics_rpm_middle = 0;
    int32_t Ground_state = 0;
    int32_t Ground_force_precent_min = 0;
    int32_t Ground_force_precent_max = 0;
    int32_t Ground_Ele = 0;
    int32_t Ground_Ail = 0;
    int32_t Ground_Rudder = 0;
    int32_t Ground_speed = 0;
    int32_t Ground_setting = 0;
    float Ground_Height = 0;
    int32_t Ground_Landing = 0;
    int32_t Ground_type = 0;
    int32_t Ground_landmax = 0;
    int32_t Turbulences_state = 0;
    int32_t Turbulences_force_precent_min = 0;
    int32_t Turbulences_force_precent_max = 0;
    int32_t Turbulences_sensitivity = 0;
    int32_t Turbulences_ramp = 0;
    int32_t stick_state = 0;
    int32_t stick_user = 0;
    int32_t stick_speed_min = 0;
    int32_t stick_speed_max = 0;
    float stick_aoa_min = 0;
    float stick_aoa_max = 0;
    int32_t stick_over = 0;
    int32_t stick_speed_over = 0;
    int32_t stick_ele = 0;
    int32_t stick_rudder = 0;
    int32_t stick_force_precent = 0;
    int32_t ap_state = 0;
    // The user channel records as the last 0x14 reply of each channel brought them.
    UART_get_chan_config_t pitchChannelImage;
    UART_get_chan_config_t rollChannelImage;
};

// One key of the base set: its group and name, and the field that holds it.
struct EffectKey
{
    const char *group;
    const char *name;
    int32_t EffectSettings::*intField;   // null for a float key
    float EffectSettings::*floatField;   // null for an integer key
    QString key() const { return QString::fromLatin1(group) + QLatin1Char('/') + QLatin1String(name); }
};

class setini : public QSettings, public EffectSettings
{
public:
    explicit setini(const QString &fileName = QStringLiteral("Effect.ini"));
    ~setini() override;

    // The 54 keys of a Default or Custom set, in field order.
    static const EffectKey *baseKeys(int *count);
    static constexpr int kBaseKeyCount = 54;

    // Reads flag/state: when not 0, also serial/num, and returns flag/state;
    // when 0 or missing, writes the factory defaults and returns 0.
    int initDefaults();
    // The Default set (every base key but Trim/softtrim) with flag/state and serial/num.
    void loadBaseProfile();
    // Custom set of that profile (Trim/softtrim included) with flag/state and serial/num.
    void loadUserProfile(const QString &profile);
    // Writes the 54 fields into the Custom set and out to the file: 1 when
    // written, 0 (and nothing written) while the file is not initialised, -1
    // when the file could not be written.
    int saveUserProfile(const QString &profile);
    // serial/num and flag/state, written out to the file; false when it could not be.
    bool saveSerial(int state, const QString &profile);
    void setSimulator(int index);
    int simulator();
    int writeKey(const QString &group, const QString &name, const QVariant &value, const QString &suffix);
    void saveChannelProfile(const QString &name);
    void removeGroup(const QString &name);
    void listGroups(QStringList &list);

    QString effectFileName() const { return m_fileName; }
    // The key of a Custom set: "3user_Engine/force_precent" for profile "3".
    static QString userKey(const QString &profile, const EffectKey &key);
    // A float as the shortest decimal that reads back as the same float.
    static QVariant floatVariant(float value);

private:
    void writeFactoryDefaults(QSettings &s);
    void readSet(QSettings &s, const QString &prefix, bool withSoftTrim);

    QString m_fileName;
};
