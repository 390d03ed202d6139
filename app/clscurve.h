#pragma once
// The main window: owns every other object of the program (secondary windows,
// simulator reader, serial objects, link records, the effect settings store),
// all periodic timers, the device-online state and the connections between
// the secondary windows and its own slots. Its slots are spread over the .cpp
// files of the folders they serve; this header groups them by subsystem.

#include <QByteArray>
#include <QMainWindow>
#include <QModelIndex>
#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QTimer>
#include <cstdint>
#include <vector>

#include "device_records.h"
#include "effectpackets.h"
#include "effects.h"
#include "firmwareupdate.h"
#include "polltimer.h"
#include "trimautopilot.h"
#include "usb_hid.h"

namespace Ui {
class clscurve;
}

class lockScreenW;
class Remap;
class SetConf;
class setting;
class setini;
class CXpData;
class Serial;
class BaseSerialComm;
class USBGET;
class QTextStream;
class QItemSelection;
class QAbstractItemModel;
struct StatusDecision;
struct DeviceReply;
class QLabel;
class QPushButton;
class QFile;
struct EffectSettings;
class DebugPane;
class PageDisplay;
class LiveCrosshair;

// The effect check boxes as last set (1 checked, 0 not), in the order Apply
// reads them. The axis mirrors have no check box on the form and keep their
// start values.
struct CheckBoxMirrors
{
    int32_t lowSpeedSpring = 0;
    int32_t propWash = 0;
    int32_t washRudder = 0;
    int32_t washElevator = 1;
    int32_t washAileron = 0;
    int32_t groundVibration = 0;
    int32_t groundElevator = 1;
    int32_t groundAileron = 0;
    int32_t groundRudder = 0;
    int32_t turbulence = 0;
    int32_t engine = 0;
    int32_t autopilot = 0;
    int32_t appliedAutopilot = 0;
    int32_t stallWarning = 0;
    int32_t customStall = 0;
    int32_t overspeed = 0;
    int32_t shakerElevator = 1;
    int32_t shakerRudder = 0;
    int32_t dynamicForce = 0;
};

class clscurve : public QMainWindow, public USB_HID
{
    Q_OBJECT

public:
    explicit clscurve(QWidget *parent = nullptr);
    ~clscurve() override;

    // ===================================================================
    // General and construction
    // ===================================================================
public:
    // Online exactly when the port is open and the device has answered.
    bool isOnline() const { return portOpenFlag == 1 && deviceAnsweredFlag == 1; }
    // The guard of every device command: false, after a "WARNING" /
    // "Device Offline" box, when the window is not online.
    bool checkOnline();

    // Timers: a start sets precise timing, starts the timer and connects its
    // timeout to its slot (one connection, however often it is started); a
    // stop stops it and removes that connection. Stopping the trim timer also
    // brings the device's trim speeds to 0 (releaseTrimSpeeds).
    void startTxTimer();
    void stopTxTimer();
    void startInfoTimer();
    void stopInfoTimer();
    void startReplyPollTimer();
    void stopReplyPollTimer();
    void startSearchDeviceTimer();
    void stopSearchDeviceTimer();   // also zeroes the search tick count
    void startSimPollTimer();
    void stopSimPollTimer();
    void startTrimTimer();
    void stopTrimTimer();
    void startFirmwareTimer();
    void stopFirmwareTimer();
    void startEffectTimer();
    void stopEffectTimer();
    void startDeviceTimers();
    void stopDeviceTimers();
    void stopTxTimerIfActive();
    void stopInfoTimerIfActive();
    void stopTrimTimerIfActive();
    void stopSimPollTimerIfActive();
    void stopSearchDeviceTimerIfActive();
    void stopFirmwareTimerIfActive();
    // Live-data poll interval for the current send rate, or -1 when the rate
    // gives none (below 1).
    int txIntervalMs() const;

    // Effect settings record to widgets (also used by profile loading).
    void uiChange();

    // The form, for the slots in other files and for tests.
    Ui::clscurve *form() const { return ui; }

signals:
    void sendConnectUDP();
    void sendConnectKorvelCLS();
    void sendUDPFF();
    void sendFocPosWrite();
    void sendswitchsWrite();
    void sendset_sys_config_ask();
    void sendUARTget_sys_config(UART_get_sys_config_t *);
    void sendUARTget_config_config(uint8_t, UART_get_chan_config_t *);
    void sendUARTget_config_value(uint8_t, UART_get_chan_config_t *);
    void send_uart_Config_chan(uint8_t, UART_set_chan_config_t *);
    // What the reply path reports to the connection code; each is connected
    // directly at construction, so its reaction runs before the emitter goes on.
    void deviceAnswered();       // the first accepted two-channel 0x10 reply
    void linkLost();             // more than twenty reads in a row failed
    void closePortRequested();   // a reply ends the connection (reset done, boot failure)

public slots:
    void initParameterTree();
    void on_currentChanged(const QModelIndex &index);
    void updateActions();
    void onLockSet_clicked();
    void showSetting();
    void setConfInit();
    void ExitMode();
    void on_ExitBoot_clicked();
    void onChannel_num_send(int enable);
    void doChannel_Configure_cls(int channel, int type, int index, float value, int result);
    void doChannel_Configure_cls_ask(int channel, int type, int index, float value, int result);
    // Slots in the interface that do nothing or reach nothing.
    void OnConnectUDP();
    void OnConnectKorvelCLS();
    void onSTOP_send();
    void doUdpShowData();
    void onspare_send();
    void OnChangeChannel();
    void onCommandWord_send();
    void onAftLimit_send();
    void onCable_send();
    void onAft_send();
    void onfwd_send();
    void onJamPos_send();

public:
    // Lamp style sheets of the round 10-pixel status labels.
    QString lampRed;
    QString lampGreen;
    QString lampYellow;

    // Secondary windows, created hidden without parent.
    lockScreenW *lockScreen = nullptr;
    Remap *remapWindow = nullptr;
    SetConf *setConf = nullptr;
    setting *settingPage = nullptr;

    // The nine timers, in construction order.
    PollTimer serialDisplayTimer; // 10 ms, slots_rxDisplayTxt; held while no serial bytes are announced
    QTimer txTimer;              // live-data poll, 1000 / send rate ms, slots_timeOutTx
    PollTimer replyPollTimer;    // 1 ms, dealWithSerialData; held while no bytes wait
    QTimer simPollTimer;         // 16 ms, slots_timeOutxplane
    QTimer txInforTimer;         // 500 ms, slots_timeOuttxInforTimer
    QTimer trimTimer;            // 16 ms, slots_timeOuttxTrimTimer
    QTimer searchDeviceTimer;    // 100 ms, slots_timeOutSearchDvTimer
    QTimer firmwareTimer;        // 100 ms, slots_timeOutUpdateFireware
    QTimer effectTimer;          // 100 ms, sendEffect

    USBGET *usbget = nullptr;     // created, never started
    setini *ini = nullptr;        // Effect.ini
    USB_HID *secondLink = nullptr;

    int32_t currentChannel = 0;           // 0 pitch, 1 roll
    int32_t settingShownFlag = 0;         // 1 once the settings page was shown
    int32_t portOpenFlag = 0;             // 1 while the user has the device open
    bool releasingAtExit = false;         // the exit release runs: no box can be seen
    int32_t deviceAnsweredFlag = 0;       // 1 after the first accepted 0x10 reply
    int32_t sendRate = 20;                // live-data polls per second
    int32_t searchTickCount = 0;
    uint8_t deviceId = 1;
    int32_t deviceType = 0;               // 1 this device family, 99 other, 0 not known yet
    int32_t treeParentRow = -1;           // parent row of the clicked tree item (-1 top level)
    int32_t treeRow = -1;                 // its own row
    QStringList stringList;
    CheckBoxMirrors mirrors;
    QAbstractItemModel *treeModel = nullptr;   // the parameter tree, owned by the window

private:
    void setupCurvePlot();
    // The one way a window timer is started and stopped: precise timing, and
    // one connection of its timeout to its slot (none for a null slot).
    using TimerSlot = void (clscurve::*)();
    void startWindowTimer(QTimer &timer, int intervalMs, TimerSlot slot);
    void stopWindowTimer(QTimer &timer, TimerSlot slot);
    void stopWindowTimerIfActive(QTimer &timer, void (clscurve::*stop)());

    Ui::clscurve *ui = nullptr;

    // ===================================================================
    // Device link and reply dispatch
    // ===================================================================
public:
    enum VerifyStyle {
        AddVerifyItem = 0, ADD8, NADD8, XOR8, LRC, CRC8_MAXIM_DS18B20, CRC16_USB, CRC16_MODBUS,
        CRC16_CCITT, CRC16_CCITT_FALSE, CRC32, UnknownStyle = -1
    };
    Q_ENUM(VerifyStyle)

    QByteArray appendCrc16(QByteArray &data);
    QByteArray hexStringToBytes(const QString &text);

public slots:
    void ReciveData(int delaytime = 0);
    void dealWithSerialData();
    void jiaoyan(uint8_t *payload);
    void jiaoyanchongfa(uint8_t *payload);
    void slots_rxDisplayTxt();
    void slots_serialRxCallback();
    void readSerialData(QByteArray data);
    void initSerialPort();
    void on_pushButton_searchPort_clicked();

public:
    // Device records shared by the reply dispatcher, the displays and the dialogs.
    UART_get_sys_config_t sysReplyImage;          // last 0x10 reply
    UART_get_chan_config_t chanReplyImage[2];     // last 0x12 reply per channel
    UART_get_chan_config_t userChanReplyImage[2]; // last 0x14 reply per channel
    UART_set_chan_config_t chanSetImage[2];       // pitch and roll set images (device or CSV profile)
    float defaultSpeed[2] = {0.0f, 0.0f};         // HW_default_speed of each user channel record

    Serial *serial = nullptr;
    BaseSerialComm *baseSerial = nullptr;
    int32_t serialReadBufferSize = 1048576;
    // Serial receive path (no port is opened in this program).
    bool serialRxPending = false;
    int32_t serialRxState = -1;
    QByteArray serialBurst;
    qint64 serialBurstLength = 0;
    int32_t serialBurstTicks = 0;
    QTime serialLastRx;
    QTextStream *serialTextStream = nullptr;
    // The hex log of received bytes in `textEdit_Debug`.
    DebugPane *debugPane = nullptr;

    // Reply images kept by the dispatcher.
    uint8_t resultSaveImage[8] = {};       // first eight bytes of the last 0x11 / 0x16 reply
    uint8_t resultChanWriteImage[8] = {};  // ... of the last 0x13 reply
    uint8_t resultFactoryImage[8] = {};    // ... of the last 0x17 reply
    uint8_t resultBootImage[8] = {};       // ... of the last 0x18 reply (byte 5: boot status)
    float liveData[2][3] = {};             // per channel: position, commanded force, trim position
    uint8_t channelStatus[2][10] = {};     // frame bytes 0..9 of the last 0x43 reply per channel
    uint16_t receivedCrc = 0;              // CRC field of the last cut frame

    static QByteArray floatToBytesBE(float value);
    static float bytesToFloatLE(const uint8_t *bytes);

private:
    // The window's reactions to one decoded reply.
    void dispatchReply(const DeviceReply &reply);
public:

    // ===================================================================
    // Device connection and status
    // ===================================================================
public slots:
    void on_pushButton_openPort_clicked();
    void on_pushButton_closePort_clicked();
    void slots_timeOutSearchDvTimer();
    void slots_timeOutTx();
    void slots_timeOuttxInforTimer();
    void doFre_Peridic(int rate);
    void on_pushButton_channel_0_clicked();
    void on_pushButton_channel_1_clicked();
    void slots_errorHandler(QSerialPort::SerialPortError error);
    void onUARTget_sys_config(UART_get_sys_config_t *record);

public:
    void showDeviceStatus(int channel);
    // Texts of the system record's words; buildCodeToString also sets the
    // device type (here and in the remap window).
    QString versionToString(uint32_t word);
    QString buildCodeToString(uint32_t word);

    // Set by the channel buttons even while offline; read by the curve editor.
    static int32_t selectedChannel;
    // The system record last shown (a 0x10 reply or a loaded profile).
    UART_get_sys_config_t sysRecord;

private:
    void setTxHeader(uint8_t id, uint8_t command, uint8_t length);
    // Sets the frame header (this window's device id) and sends the payload;
    // true when the report went out.
    bool sendDeviceCommand(uint8_t command, uint8_t length, const uint8_t *payload);
    // The same, then one reply read.
    bool sendPayload(uint8_t command, uint8_t length, const uint8_t *payload);
    // Sends once directly, then again through the acknowledged resend.
    void sendAcknowledged(uint8_t command, uint8_t length, uint8_t *payload);
    void onDeviceAnswered();
    void onLinkLost();
    void pollBothChannels(uint8_t command);
    void selectChannel(int n);
    bool applyStatusDecision(const StatusDecision &d, QLabel *lamp, QLabel *text);
    void runFaultSteps(const StatusDecision &d);
public:

    // ===================================================================
    // Live displays and curves
    // ===================================================================
public slots:
    void onUARTget_channel_config(uint8_t chan, UART_get_chan_config_t *record);

public:
    void plotLivePoint();
    void updateLiveDisplays();
    void updateDeviceLiveDisplays();

    int32_t livePlotPointCount = 0;
    int32_t livePlotMode = 0;
    float positionFactor = 4.125f;
    float curveConstant = 4.5f;

private:
    void applyCurveAxes(int channel);
    // What the live display last drew (channel, scaled position, force, trim).
    int32_t liveDrawnChannel = -1;
    double liveDrawn[3] = {};
    LiveCrosshair *liveCrosshair = nullptr;
    // The values of the simulator page's numbers as of the last simulator
    // poll, written to the page while it is in view and when it comes into
    // view: the parameter table (simulator record and device rows) and the
    // Prepar3D ground height.
    void writeParameterTable();
    void writeGroundHeight();
    SimState parameterSim;
    bool parameterSimSeen = false;
    float parameterDevice[2][3] = {};
    float groundHeight = 0.0f;
    bool groundHeightSeen = false;
    PageDisplay *parameterPage = nullptr;
    PageDisplay *simulatorPage = nullptr;
    QString lcdShown[5];   // the texts last given to the five number displays
public:

    // ===================================================================
    // Simulator
    // ===================================================================
public slots:
    void on_devicesComboBox_FSimSW_currentIndexChanged(const QString &text);
    void on_pushButton_connect_Fsim_clicked();
    void on_pushButton_Disconnect_Fsim_clicked();
    void slots_timeOutxplane();
    void on_pushButton_yoke_phy_change_clicked();
    void on_pushButton_yoke_HWTrim_change_clicked();

public:
    CXpData *xpData = nullptr;
    int32_t simulatorChoice = 1;          // 1 X-Plane, 2 MSFS 2020 bridge, 3 Prepar3D bridge
    float yokeSpeedMiddle = 30.0f;
    float yokeSpeedAeroStart = 0.0f;
    float yokeSpeedHwTrim = 40.0f;
    float currentGroundSpeed = 0.0f;      // the last ground speed shown
    int32_t simConnected = 0;             // the simulator-connected result of the last test

    // ===================================================================
    // Effects
    // ===================================================================
public slots:
    void on_Motor_checkBox_stateChanged(int state);
    void on_yoke_checkBox_stateChanged(int state);
    void on_wash_checkBox_stateChanged(int state);
    void on_Ground_enable_state_stateChanged(int state);
    void on_Turbulences_enable_state_stateChanged(int state);
    void on_Stick_enable_state_stateChanged(int state);
    void on_Stick_user_state_stateChanged(int state);
    void on_Stick_overspeed_state_stateChanged(int state);
    void on_AP_enable_stateChanged(int state);
    void on_dynamic_state_stateChanged(int state);
    void on_Trimstate_stateChanged(int state);
    void on_Ground_landing_stateChanged(int state);
    void on_yoke_enginetype_stateChanged(int state);
    void on_AP_enable_2_stateChanged(int state);
    // The axis boxes (wash, rumble and shaker axes) are not on the form: their
    // mirrors keep their start values.
    void on_btn_test_clicked();
    void on_btn_apply_clicked();
    void on_btn_disable_clicked();
    void on_pushButton_yoke_phy_enable_clicked();
    void on_pushButton_yoke_phy_disable_clicked();
    void on_pushButton_yoke_HWtrim_enable_clicked();
    void on_pushButton_yoke_HWtrim_disable_clicked();
    void on_pushButton_yoke_coupled_enable_clicked();
    void on_pushButton_yoke_coupled_disable_clicked();
    void on_softTrim_enable_2_clicked();
    void on_softTrim_disable_2_clicked();
    void sendEffect();
    void slots_EffectAffect();
    void slots_EffectPhysics();
    void slots_EffectEngine();
    void slots_Effect_Turbulences();
    void slots_Effect_Ground();
    void slots_Effect_shaker();
    void slots_Effect_AP();
    void slots_timeOuttxTrimTimer();
    void do_TrimConteol_pitch(UART_set_channel_switch_t *record);
    void do_force_input(UART_set_channel_intForce_t *record);
    void OnFocPosWrite();

public:
    // The trim step of the chosen simulator (bridges: within +-step).
    float trimStepCommand(float x, float r, int step) const;
    // Effect and trim packets: each is sent, then one reply is read.
    void send0x31(float speed, int chn, int state, float location, int datasource);
    // The device goes on trimming at the last speed it was sent: where no trim
    // tick follows, a channel left with a speed, or with one the program does
    // not know, gets one 0x31 with 0.0 (online only; after a lost link nothing
    // can be sent).
    void releaseTrimSpeeds();
    // For the end of the program's event loop: nothing commands the device
    // from here on, so what the effects and the trim left on it is released
    // as Disable does (online only, and only where something is left). The
    // window has gone: nothing it does from here opens a box, and a link lost
    // meanwhile ends the release.
    void releaseDeviceAtExit();
    void send0x32();
    void send0x42();
    void sendFocPos();

public:
    int32_t coupledMode = 0;
    int32_t effectsRunning = 0;             // 1 from Test until Disable
    EffectParams effectParams;
    EffectMemory effectMemory;
    TrimAutopilotState trimAutopilot;
    EffectSendState effectSend;
    SwitchTables switchTables;
    // Per channel: whether the device holds the speed of the switch table.
    // Not where the program lost track (a lost link, Close and Open Port, a
    // restart into the boot loader) or another record set the speed.
    bool trimSpeedKnown[2] = {false, false};
    ForceCurvePacket forceCurveRecord;      // the curve editor's last 0x40 record

private:
    // The trim tick's memory of the steps it sent := the speeds the device
    // was last sent, where something other than the tick changed them.
    void trimMemoryFromSpeeds();
    // The device's trim speeds become unknown: the next trim tick sends its
    // steps, and the next release its zeros.
    void forgetTrimSpeeds();
    // Whether the device may still trim on that channel: a speed not 0, or one not known.
    bool trimSpeedLeft(int ch) const { return !trimSpeedKnown[ch] || switchTables.speed[ch] != 0.0f; }
    // Disable's zero force input per channel and zero record per vibration group.
    void sendForceRelease();
    // The record of the simulator choice, and the force limits the device last reported.
    const SimState &chosenSimState() const;
    ForceLimits forceLimits() const;
    // A check box's state as a stored switch: 1 checked, else 0.
    void storeSwitch(int state, int32_t *mirror, int32_t *field);
    void showEngineType(bool jet);
    void showEffectsRunning(bool running);
    // A mode's Enable and Disable buttons: only the one that changes something is enabled.
    void setModeButtons(QPushButton *enable, QPushButton *disable, bool on);
    // The effect widgets with the store field each shows and the effect field
    // Apply copies it into (none where Apply takes it elsewhere).
    struct EffectWidgetField
    {
        QWidget *widget;
        int32_t EffectSettings::*settingsInt;
        float EffectSettings::*settingsFloat;
        int32_t EffectParams::*paramsInt;
        float EffectParams::*paramsFloat;
        double value() const;
        // A stored value held to the widget's range.
        double held(double stored) const;
    };
    std::vector<EffectWidgetField> effectWidgetFields() const;

    // ===================================================================
    // Configuration commands
    // ===================================================================
public slots:
    void doConfigureUpdate(int command);
    void doConfigureUpdate_chan(int unused);
    void doConfigWrite_uart_u32(UART_set_sys_config_t *record);
    void doConfigWrite_uart_chan(uint8_t chan, UART_set_chan_config_t *record);
    void doConfigWrite_uart_user_chan(uint8_t chan, UART_set_chan_config_t *record);
    void on_pushButton_saveConfigure_clicked();
    void on_pushButton_FactoryReset_clicked();
    void on_pushButton_loadConfigure_clicked();
    void on_pushButton_send_value_clicked();
    void confGet();
    void confChange(int unused);
    void keyRemap();
    void sendKeyRemap(uint16_t keySet);
    void sendRemap(uint8_t master);
    void on_pushButton_clicked();
    void on_pushButton_2_clicked();
    void on_Ini_rename_clicked();

public:
    // Asks every device id from 1 to 254 for the device information in turn.
    void scanDeviceIds();

private:
    // Writes a changed copy of the pitch user record, stores it in flash and
    // reads it back.
    void writePitchRemap(UART_set_chan_config_t &copy);
    // False, with a warning, while the pitch record was never read.
    bool pitchRecordRead();

    // ===================================================================
    // Profiles and dialogs
    // ===================================================================
public slots:
    void on_user_conf_stateChanged(int state);
    void on_defult_conf_stateChanged(int state);
    void on_conf_save_clicked();
    void on_conf_apply_clicked();
    void on_pushButton_loadProfile_clicked();
    void on_pushButton_saveProfile_clicked();
    void aboutQsak();
    void aboutSystem();

public:
    int32_t customProfile = 0;   // 1 while "Custom" is chosen

    // ===================================================================
    // Firmware
    // ===================================================================
public slots:
    void on_ReadyUpdata_clicked();
    void on_pushButton_startUpdate_clicked();
    void on_pushButton_loadFireware_clicked();
    void slots_timeOutUpdateFireware();
    void updata_start();

public:
    int32_t firmwareState = 0;
    int32_t firmwareBlockCount = 0;   // ticks spent in the current state
    QFile *firmwareFile = nullptr;    // the chosen image, kept open (a child of the window)
    // Status byte of the last 0x18 reply (ready, invalid, success), cleared once acted on.
    uint8_t firmwareStatus() const { return resultBootImage[DeviceFrame::OffPayload]; }
    void clearFirmwareStatus() { resultBootImage[DeviceFrame::OffPayload] = 0; }

private:
    void sendFirmwareImage();
    void showFirmwareOutcome(Firmware::Outcome outcome);
    // Back to idle: the outcome's box and log line, then the update's end.
    void finishFirmwareUpdate(Firmware::Outcome outcome);
    // The buttons and progress of both windows after a transfer.
    void showTransferEnded();
    void endFirmwareUpdate();
};
