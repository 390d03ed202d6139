#include "clscurve.h"
#include "ui_clscurve.h"

#include "cxpdata.h"
#include "debugpane.h"
#include "livecrosshair.h"
#include "lockscreenw.h"
#include "opaquebackdrop.h"
#include "pagedisplay.h"
#include "remap.h"
#include "serialcomm.h"
#include "setconf.h"
#include "setini.h"
#include "setting.h"
#include "usbget.h"

#include <QItemSelectionModel>
#include <QMessageBox>
#include <QPen>
#include <cstring>

namespace {
const char kLampBase[] =
    "min-width: 10px;min-height:10px;max-width:10px;max-height:10px;border-radius:5px; border:1px solid black;";
}

clscurve::clscurve(QWidget *parent)
    : QMainWindow(parent)
{
    // The link record's counters and the lamp styles.
    errorCount = 0;
    linkMode = 1;
    lampRed = QString::fromLatin1(kLampBase) + QStringLiteral("background:red");
    lampGreen = QString::fromLatin1(kLampBase) + QStringLiteral("background:green");
    lampYellow = QString::fromLatin1(kLampBase) + QStringLiteral("background:yellow");

    // The timers are members, constructed in their declaration order; the
    // plain fields carry their start values. Build the form, which also binds
    // the on_<name>_<signal> slots.
    ui = new Ui::clscurve;
    ui->setupUi(this);

    setWindowTitle(tr("Korvel Tools V") + QStringLiteral("2.2.8 -D"));

    lockScreen = new lockScreenW();
    remapWindow = new Remap();
    setConf = new SetConf();
    settingPage = new setting();
    settingPage->setWindowTitle(QStringLiteral("Factory Settings"));

    // The simulator reader: X-Plane mode, inactive; the only other thread.
    xpData = new CXpData();
    xpData->start();

    // Form adjustments.
    ui->textEdit_Debug->hide();
    // It keeps only the latest paragraphs, so a session of hours stays bounded.
    debugPane = new DebugPane(ui->textEdit_Debug, 500, this);
    ui->updatabar->hide();
    const QString boldSpaced = QStringLiteral("QGroupBox{ font-weight: bold; }");
    for (QWidget *w : {static_cast<QWidget *>(ui->deviceGroupBox_2), static_cast<QWidget *>(ui->deviceGroupBox),
                       static_cast<QWidget *>(ui->deviceGroupBox_3), static_cast<QWidget *>(ui->serialPortGroupBox_12),
                       static_cast<QWidget *>(ui->serialPortGroupBox_7), static_cast<QWidget *>(ui->serialPortGroupBox_8),
                       static_cast<QWidget *>(ui->serialPortGroupBox_9), static_cast<QWidget *>(ui->serialPortGroupBox_10),
                       static_cast<QWidget *>(ui->serialPortGroupBox_11), static_cast<QWidget *>(ui->deviceGroupBox_5),
                       static_cast<QWidget *>(ui->deviceGroupBox_6), static_cast<QWidget *>(ui->deviceGroupBox_7)})
        w->setStyleSheet(boldSpaced);
    // The live numbers change many times a second; they repaint alone, and
    // those of the simulator page only while it is in view.
    for (QWidget *w : {ui->lineEdit_pos_0, ui->lineEdit_com_force_0, ui->lineEdit_trim_pos_0, ui->lineEdit_Temperature})
        OpaqueBackdrop::attach(w);
    parameterPage = new PageDisplay(ui->tab, [this] { writeParameterTable(); }, this);
    simulatorPage = new PageDisplay(ui->tab_6, [this] { writeGroundHeight(); }, this);
    ui->label_69->hide();
    ui->comboBox_port->hide();
    ui->pushButton_searchPort->hide();
    ui->label_deviceLed->setStyleSheet(lampYellow);
    ui->label_flightSimLed->setStyleSheet(lampYellow);
    ui->label_faultLed->setStyleSheet(lampYellow);
    ui->label_faultLed_2->setStyleSheet(lampYellow);
    ui->label_faultLed_3->setStyleSheet(lampYellow);
    ui->label_deviceConState->setText(QStringLiteral("Device Offline"));
    ui->label_flightSimConState->setText(QStringLiteral("FlightSim Not Connected"));
    ui->label_faultState->setText(QStringLiteral("Pitch No Fault Response"));
    ui->label_faultState_2->setText(QStringLiteral("Roll No Fault Response"));
    ui->label_faultState_3->setText(QStringLiteral("SYS No Fault Response"));
    ui->LCD->setMode(QLCDNumber::Dec);
    ui->LCD->setSegmentStyle(QLCDNumber::Flat);
    ui->LCD->setStyleSheet(QStringLiteral("background:transparent;color:#000000"));
    ui->yoke_lable_ldle_3->hide();
    ui->LCD->hide();
    ui->lableAP->setText(QStringLiteral("AutoPilot State"));
    ui->AP_state->setStyleSheet(lampYellow);
    mirrors = CheckBoxMirrors();
    ui->Test->hide();
    ui->serialPortGroupBox_9->hide();
    ui->serialPortGroupBox_10->hide();
    ui->lineEdit_airplane_speed->hide();
    ui->label->hide();
    ui->label_2->hide();
    ui->setting->hide();

    std::memset(txShadow, 0, sizeof txShadow);
    std::memset(rxShadow, 0, sizeof rxShadow);

    connect(&effectTimer, &QTimer::timeout, this, &clscurve::sendEffect);
    // The reply path's connection events, handled before the emitter goes on.
    connect(this, &clscurve::deviceAnswered, this, &clscurve::onDeviceAnswered, Qt::DirectConnection);
    connect(this, &clscurve::linkLost, this, &clscurve::onLinkLost, Qt::DirectConnection);
    connect(this, &clscurve::closePortRequested, this, &clscurve::on_pushButton_closePort_clicked,
            Qt::DirectConnection);

    // The serial object's signal has no argument while the slot takes one, so
    // this connection is refused (only a warning in the log), as it always was.
    serial = new Serial();
    connect(serial, SIGNAL(readSignal()), this, SLOT(readSerialData()));

    baseSerial = new BaseSerialComm();
    connect(baseSerial, SIGNAL(errorOccurred(QSerialPort::SerialPortError)), this,
            SLOT(slots_errorHandler(QSerialPort::SerialPortError)));
    baseSerial->setReadBufferSize(serialReadBufferSize);

    connect(&serialDisplayTimer, &QTimer::timeout, this, &clscurve::slots_rxDisplayTxt);
    serialDisplayTimer.start(10);

    secondLink = new USB_HID;
    secondLink->errorCount = 0;
    secondLink->linkMode = 1;
    usbget = new USBGET(nullptr);

    const QString boldTight = QStringLiteral("QGroupBox{font-weight: bold;}");
    for (QWidget *w : {static_cast<QWidget *>(ui->yoke), static_cast<QWidget *>(ui->Ground),
                       static_cast<QWidget *>(ui->Turbulences), static_cast<QWidget *>(ui->Stick),
                       static_cast<QWidget *>(ui->motor), static_cast<QWidget *>(ui->Configure),
                       static_cast<QWidget *>(ui->Sys), static_cast<QWidget *>(ui->AP)})
        w->setStyleSheet(boldTight);
    ui->groupBox->setStyleSheet(boldSpaced);
    ui->groupBox_5->setStyleSheet(boldSpaced);
    ui->serialPortGroupBox_13->setStyleSheet(boldSpaced);

    // Effect settings: factory defaults on a first start, then the stored set.
    ini = new setini(QStringLiteral("Effect.ini"));
    const int state = ini->initDefaults();
    if (state == 0 || state == 1) {
        ini->loadBaseProfile();
        ui->user_conf->setChecked(false);
        ui->defult_conf->setChecked(true);
    } else if (state == 2) {
        ini->loadUserProfile(QString::number(ini->serial_num));
        ui->user_conf->setChecked(true);
        ui->defult_conf->setChecked(false);
    }
    uiChange();

    connect(lockScreen, SIGNAL(sendShowSetting()), this, SLOT(showSetting()));
    connect(remapWindow, SIGNAL(saveKeySet(uint16_t)), this, SLOT(sendKeyRemap(uint16_t)));
    connect(remapWindow, SIGNAL(masterkey(uint8_t)), this, SLOT(sendRemap(uint8_t)));
    connect(setConf, SIGNAL(confGet()), this, SLOT(confGet()));
    connect(setConf, SIGNAL(confSend(int)), this, SLOT(confChange(int)));
    connect(setConf, SIGNAL(loadProfile()), this, SLOT(on_pushButton_loadProfile_clicked()));
    connect(setConf, SIGNAL(saveProfile()), this, SLOT(on_pushButton_saveProfile_clicked()));
    connect(setConf, SIGNAL(factoryreset()), this, SLOT(on_pushButton_FactoryReset_clicked()));
    connect(setConf, SIGNAL(readyupdate()), this, SLOT(on_ReadyUpdata_clicked()));
    connect(setConf, SIGNAL(loadFirmware()), this, SLOT(on_pushButton_loadFireware_clicked()));
    connect(setConf, SIGNAL(startUpdate()), this, SLOT(on_pushButton_startUpdate_clicked()));
    connect(setConf, SIGNAL(exitbootmode()), this, SLOT(ExitMode()));
    connect(settingPage, SIGNAL(send_Configure_COM(int)), this, SLOT(doConfigureUpdate(int)));
    connect(settingPage, SIGNAL(send_uart_Config_u32(UART_set_sys_config_t *)), this,
            SLOT(doConfigWrite_uart_u32(UART_set_sys_config_t *)));
    connect(settingPage, SIGNAL(send_uart_Config_chan(uint8_t, UART_set_chan_config_t *)), this,
            SLOT(doConfigWrite_uart_chan(uint8_t, UART_set_chan_config_t *)));
    connect(settingPage, SIGNAL(send_Fre_Peridic(int)), this, SLOT(doFre_Peridic(int)));
    connect(settingPage, SIGNAL(send_Peridic_switch(int)), this, SLOT(onChannel_num_send(int)));
    connect(settingPage, SIGNAL(send_uart_force_input(UART_set_channel_intForce_t *)), this,
            SLOT(do_force_input(UART_set_channel_intForce_t *)));
    connect(settingPage, SIGNAL(send_uart_trimAP_switch(UART_set_channel_switch_t *)), this,
            SLOT(do_TrimConteol_pitch(UART_set_channel_switch_t *)));
    connect(this, SIGNAL(sendUARTget_sys_config(UART_get_sys_config_t *)), settingPage,
            SLOT(onUARTget_sys_config(UART_get_sys_config_t *)));
    connect(this, SIGNAL(sendUARTget_config_config(uint8_t, UART_get_chan_config_t *)), settingPage,
            SLOT(onUARTget_channel_config(uint8_t, UART_get_chan_config_t *)));
    connect(this, SIGNAL(sendUARTget_sys_config(UART_get_sys_config_t *)), this,
            SLOT(onUARTget_sys_config(UART_get_sys_config_t *)));
    connect(this, SIGNAL(sendUARTget_config_value(uint8_t, UART_get_chan_config_t *)), this,
            SLOT(onUARTget_channel_config(uint8_t, UART_get_chan_config_t *)));
    connect(this, SIGNAL(send_uart_Config_chan(uint8_t, UART_set_chan_config_t *)), this,
            SLOT(doConfigWrite_uart_user_chan(uint8_t, UART_set_chan_config_t *)));
    connect(ui->pushButtonFocPos, SIGNAL(clicked()), this, SLOT(OnFocPosWrite()));
    connect(ui->action_1, SIGNAL(triggered()), this, SLOT(onLockSet_clicked()));
    connect(ui->actionKey_Remap, SIGNAL(triggered()), this, SLOT(keyRemap()));
    connect(ui->actionConf_Setting, SIGNAL(triggered()), this, SLOT(setConfInit()));
    connect(ui->actionAbout_Application, SIGNAL(triggered()), this, SLOT(aboutQsak()));
    connect(ui->actionAbout_Hardware, SIGNAL(triggered()), this, SLOT(aboutSystem()));

    initParameterTree();
    connect(ui->view->selectionModel(), SIGNAL(selectionChanged(QItemSelection, QItemSelection)), this,
            SLOT(updateActions()));

    setupCurvePlot();

    ui->actionConf_Setting->setVisible(false);
    ui->ExitBoot->setEnabled(false);
    // The "test" and parameter-table pages are development aids.
    ui->tabWidget_3->removeTab(4);
    ui->tabWidget_3->removeTab(4);

    // A stored choice outside the three items would select no item and run
    // the choice slot with an empty text; it counts as X-Plane.
    int simIndex = ini->simulator();
    if (simIndex < 0 || simIndex > 2)
        simIndex = 0;
    ui->devicesComboBox_FSimSW->setCurrentIndex(simIndex);
}

void clscurve::setupCurvePlot()
{
    QCustomPlot *plot = ui->customplot1;
    // Graphs 4 and 5, the live cross-hair, are drawn by an overlay of their own.
    for (int i = 0; i < 8; ++i) {
        if (i == 4 || i == 5)
            LiveCrosshair::addLineGraph(plot);
        else
            plot->addGraph();
    }
    plot->graph(0)->setPen(QPen(Qt::blue));
    QPen dashed;
    dashed.setStyle(Qt::DashLine);
    plot->graph(2)->setPen(dashed);
    plot->graph(3)->setPen(dashed);
    plot->graph(4)->setPen(QPen(Qt::red));
    plot->graph(5)->setPen(QPen(Qt::red));
    plot->graph(6)->setPen(QPen(Qt::black));
    plot->graph(7)->setPen(QPen(Qt::black));

    plot->xAxis->setRange(-100, 100);
    plot->yAxis->setRange(-120, 120);
    plot->xAxis->setLabel(QStringLiteral("Position（mm）"));
    plot->yAxis->setLabel(QStringLiteral("Force（N）"));
    plot->xAxis->ticker()->setTickCount(11);
    plot->yAxis->ticker()->setTickCount(11);

    connect(plot->xAxis, SIGNAL(rangeChanged(QCPRange)), plot->xAxis2, SLOT(setRange(QCPRange)));
    connect(plot->yAxis, SIGNAL(rangeChanged(QCPRange)), plot->yAxis2, SLOT(setRange(QCPRange)));

    const QVector<double> vKeys{0.0, 0.0}, vValues{250.0, -250.0};
    const QVector<double> hKeys{100.0, -100.0}, hValues{0.0, 0.0};
    plot->graph(2)->setData(vKeys, vValues);
    plot->graph(4)->setData(vKeys, vValues);
    plot->graph(3)->setData(hKeys, hValues);
    plot->graph(5)->setData(hKeys, hValues);

    plot->graph(0)->rescaleAxes();
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectPlottables);
    liveCrosshair = new LiveCrosshair(plot, plot->graph(4), plot->graph(5));
    plot->replot();
}

clscurve::~clscurve()
{
    if (xpData) {
        xpData->stop();
        xpData->quit();
        xpData->wait();
        delete xpData;
        xpData = nullptr;
    }
    if (usbget) {
        usbget->quit();
        usbget->wait();
        delete usbget;
        usbget = nullptr;
    }
    closeHid();
    if (baseSerial) {
        if (baseSerial->isOpen())
            baseSerial->close();
        delete baseSerial;
        baseSerial = nullptr;
    }
    delete ui;
    ui = nullptr;

    // The rest of what the window owns goes with it.
    delete serial;
    delete secondLink;
    delete ini;
    delete lockScreen;
    delete remapWindow;
    delete setConf;
    delete settingPage;
}

bool clscurve::checkOnline()
{
    if (isOnline())
        return true;
    QMessageBox::warning(this, QStringLiteral("WARNING"), QStringLiteral("Device Offline"));
    return false;
}

// ---- timers ---------------------------------------------------------------

int clscurve::txIntervalMs() const
{
    if (sendRate < 1)
        return -1;
    return 1000 / sendRate;
}

void clscurve::startWindowTimer(QTimer &timer, int intervalMs, TimerSlot slot)
{
    timer.setTimerType(Qt::PreciseTimer);
    timer.start(intervalMs);
    if (slot)
        connect(&timer, &QTimer::timeout, this, slot, Qt::UniqueConnection);
}

void clscurve::stopWindowTimer(QTimer &timer, TimerSlot slot)
{
    timer.stop();
    if (slot)
        disconnect(&timer, &QTimer::timeout, this, slot);
}

void clscurve::stopWindowTimerIfActive(QTimer &timer, void (clscurve::*stop)())
{
    if (timer.isActive())
        (this->*stop)();
}

void clscurve::startTxTimer()
{
    // No interval can be computed from the rate: the poll stays as it is.
    if (txIntervalMs() >= 0)
        startWindowTimer(txTimer, txIntervalMs(), &clscurve::slots_timeOutTx);
}

void clscurve::stopTxTimer() { stopWindowTimer(txTimer, &clscurve::slots_timeOutTx); }
void clscurve::startInfoTimer() { startWindowTimer(txInforTimer, 500, &clscurve::slots_timeOuttxInforTimer); }
void clscurve::stopInfoTimer() { stopWindowTimer(txInforTimer, &clscurve::slots_timeOuttxInforTimer); }
void clscurve::startReplyPollTimer() { startWindowTimer(replyPollTimer, 1, &clscurve::dealWithSerialData); }
void clscurve::stopReplyPollTimer() { stopWindowTimer(replyPollTimer, &clscurve::dealWithSerialData); }
void clscurve::startSearchDeviceTimer() { startWindowTimer(searchDeviceTimer, 100, &clscurve::slots_timeOutSearchDvTimer); }

void clscurve::stopSearchDeviceTimer()
{
    stopWindowTimer(searchDeviceTimer, &clscurve::slots_timeOutSearchDvTimer);
    searchTickCount = 0;
}

void clscurve::startSimPollTimer() { startWindowTimer(simPollTimer, 16, &clscurve::slots_timeOutxplane); }
void clscurve::stopSimPollTimer() { stopWindowTimer(simPollTimer, &clscurve::slots_timeOutxplane); }
void clscurve::startTrimTimer() { startWindowTimer(trimTimer, 16, &clscurve::slots_timeOuttxTrimTimer); }
void clscurve::stopTrimTimer()
{
    stopWindowTimer(trimTimer, &clscurve::slots_timeOuttxTrimTimer);
    // Nothing commands the trim from here on.
    releaseTrimSpeeds();
}
void clscurve::startFirmwareTimer() { startWindowTimer(firmwareTimer, 100, &clscurve::slots_timeOutUpdateFireware); }
void clscurve::stopFirmwareTimer() { stopWindowTimer(firmwareTimer, &clscurve::slots_timeOutUpdateFireware); }
// The effect timer's timeout was connected once, at construction.
void clscurve::startEffectTimer() { startWindowTimer(effectTimer, 100, nullptr); }
void clscurve::stopEffectTimer() { stopWindowTimer(effectTimer, nullptr); }

void clscurve::startDeviceTimers()
{
    startTxTimer();
    startInfoTimer();
    startTrimTimer();
    startSimPollTimer();
}

void clscurve::stopDeviceTimers()
{
    stopTxTimerIfActive();
    stopInfoTimerIfActive();
    stopTrimTimerIfActive();
    stopSimPollTimerIfActive();
}

void clscurve::stopTxTimerIfActive() { stopWindowTimerIfActive(txTimer, &clscurve::stopTxTimer); }
void clscurve::stopInfoTimerIfActive() { stopWindowTimerIfActive(txInforTimer, &clscurve::stopInfoTimer); }
void clscurve::stopTrimTimerIfActive() { stopWindowTimerIfActive(trimTimer, &clscurve::stopTrimTimer); }
void clscurve::stopSimPollTimerIfActive() { stopWindowTimerIfActive(simPollTimer, &clscurve::stopSimPollTimer); }
void clscurve::stopSearchDeviceTimerIfActive()
{
    stopWindowTimerIfActive(searchDeviceTimer, &clscurve::stopSearchDeviceTimer);
}
void clscurve::stopFirmwareTimerIfActive() { stopWindowTimerIfActive(firmwareTimer, &clscurve::stopFirmwareTimer); }
