#include "setting.h"
#include "ui_setting.h"

#include "configcommands.h"
#include "deviceprofilecsv.h"
#include "profilefiles.h"
#include "treemodel.h"

#include <QDebug>
#include <QItemSelectionModel>

namespace {
// Top-level rows of the tree: the system record, then channel 0 and 1.
constexpr int kSystemGroup = 0;
constexpr int kSystemRows = 4;
}

setting::setting(QWidget *parent)
    : QWidget(parent)
{
    ui = new Ui::setting;
    ui->setupUi(this);
    setupTree();
    selectedGroup = -1;
    selectedRow = -1;
    connect(ui->view->selectionModel(), SIGNAL(selectionChanged(QItemSelection, QItemSelection)), this,
            SLOT(updateActions()));
    connect(ui->pushButton_loadConfigure, SIGNAL(clicked()), this, SLOT(onLoadConfigure()));
    connect(ui->pushButton_eraseConfigure, SIGNAL(clicked()), this, SLOT(onEraseConfigure()));
    connect(ui->pushButton_send_value, SIGNAL(clicked()), this, SLOT(onSendConfigure()));
}

setting::~setting()
{
    delete ui;
}

void setting::setupTree()
{
    ui->statusbar->showMessage(tr("Position: "));
    model = new TreeModel(treeHeaders("setting"), readTreeProfileText(), this);
    showParameterTree(ui->view, model, [this] { ui->view->expandAll(); });
    connect(ui->view, SIGNAL(clicked(QModelIndex)), this, SLOT(on_currentChanged()));
    // The keyboard moves the current row too (and the status bar with it):
    // the row sent to must be the one shown.
    connect(ui->view->selectionModel(), SIGNAL(currentChanged(QModelIndex, QModelIndex)), this,
            SLOT(on_currentChanged()));
}

void setting::showStatus(const QString &text, const char *style)
{
    ui->statusbar->setStyleSheet(QLatin1String(style));
    ui->statusbar->showMessage(text);
}

// ---- tree position ------------------------------------------------------------

void setting::updateActions()
{
    showTreePosition(ui->view, ui->statusbar, "setting");
}

void setting::on_currentChanged()
{
    const QModelIndex current = ui->view->selectionModel()->currentIndex();
    selectedGroup = current.parent().row();
    selectedRow = current.row();
}

// ---- records in -----------------------------------------------------------------

void setting::onUARTget_sys_config(UART_get_sys_config_t *UART_get_sys_config)
{
    if (!UART_get_sys_config)
        return;
    sysImage.copyFrom(*UART_get_sys_config);
    showSysImage();
}

void setting::onUARTget_channel_config(uint8_t chan, UART_get_chan_config_t *UART_get_chan_config)
{
    if (chan > 1 || !UART_get_chan_config)
        return;
    chanImage[chan].copyFrom(*UART_get_chan_config);
    showChanImage(chan);
}

void setting::showSysImage()
{
    // A tree text without the group has no rows to fill (an invalid parent
    // would put the values on the top-level rows).
    const QModelIndex group = model->index(kSystemGroup, 0);
    if (!group.isValid())
        return;
    const QString values[kSystemRows] = {
        versionWordToText(sysImage.Hardware_version()),
        versionWordToText(sysImage.Device_version()),
        buildWordToText(sysImage.Serial_number()),
        QString::number(sysImage.u8(UART_set_sys_config_t::OffChannelsNumber)),
    };
    for (int row = 0; row < kSystemRows; ++row)
        model->setData(model->index(row, 1, group), values[row], Qt::EditRole);
}

void setting::showChanImage(int chan)
{
    const UART_set_chan_config_t &image = chanImage[chan];
    const QModelIndex group = model->index(chan + 1, 0);
    if (!group.isValid())
        return;
    for (int row = 0; row < ChannelRowCount; ++row)
        model->setData(model->index(row, 1, group), channelRowText(image, row), Qt::EditRole);
}

// ---- one value out ----------------------------------------------------------------

void setting::onSendConfigure()
{
    if (selectedGroup == -1)
        return;
    const QString text = ui->lineEdit_send_value->text();

    if (selectedGroup == kSystemGroup) {
        // A record never read would go out as zeros over the device's own.
        if (!holdsSystemRecord(sysImage)) {
            showStatus(tr("No system record read yet: nothing sent"), "color:red");
            return;
        }
        UART_set_sys_config_t record = sysImage;
        if (selectedRow >= 0 && selectedRow < kSystemRows) {
            uint32_t value = 0;
            if (selectedRow == 0 || selectedRow == 1)
                value = versionWordFromText(text);
            else if (selectedRow == 2)
                value = buildWordFromText(text);
            else
                value = text.toUInt();
            record.setU32(UART_set_sys_config_t::OffHardwareVersion + 4 * selectedRow, value);
            qDebug("type: 0x%x\n", value);
        }
        emit send_uart_Config_u32(&record);
        return;
    }
    if (selectedGroup == 1 || selectedGroup == 2) {
        const int chan = selectedGroup - 1;
        if (!holdsChannelRecord(chanImage[chan])) {
            showStatus(channelNotReadText(chan), "color:red");
            return;
        }
        UART_set_chan_config_t record = chanImage[chan];
        setChannelRowFromText(record, selectedRow, text);
        emit send_uart_Config_chan(uint8_t(chan), &record);
    }
}

// ---- configuration commands ---------------------------------------------------------

void setting::onLoadConfigure()
{
    emit send_Configure_COM(1);
}

void setting::onSaveConfigure()
{
    emit send_Configure_COM(2);
}

void setting::onEraseConfigure()
{
    emit send_Configure_COM(3);
}

void setting::onset_config_ask(int ask)
{
    ui->statusbar->showMessage(ask != 0 ? tr("Set Succeed") : tr("Set Fail"));
}

void setting::on_pushButton_SendFre_clicked()
{
    emit send_Fre_Peridic(ui->lineEdit_SendFre->text().toInt());
}

void setting::on_pushButton_channel_num_clicked()
{
    // The click has already toggled the button: the first one stops the polls.
    emit send_Peridic_switch(ui->pushButton_channel_num->isChecked() ? 1 : 0);
}

void setting::on_pushButton_force_input_clicked()
{
    // The receiver writes its working channel into the record.
    UART_set_channel_intForce_t record;
    record.set_value(0, typedFloat(ui->lineEdit_force_input->text()));
    record.set_value(1, typedFloat(ui->lineEdit_aero_offset->text()));
    record.set_value(2, typedFloat(ui->lineEdit_aero_gradient->text()));
    emit send_uart_force_input(&record);
}

void setting::on_pushButton_Trim_Control_0_clicked()
{
    UART_set_channel_switch_t record;
    record.set_mode(uint8_t(ui->lineEdit_switch_0->text().toInt()));
    record.set_trim_state(uint8_t(ui->lineEdit_switch_hw_trim->text().toInt()));
    record.set_coupled(uint8_t(ui->lineEdit_switch_coupled->text().toInt()));
    record.set_speed(typedFloat(ui->lineEdit_Trim_2->text()));
    record.set_location(typedFloat(ui->lineEdit_ap_vel_0->text()));
    record.setF32(UART_set_channel_switch_t::OffReserved, typedFloat(ui->lineEdit_Trim_init->text()));
    record.set_default_speed(typedFloat(ui->lineEdit_switch_hw_trim_vel->text()));
    emit send_uart_trimAP_switch(&record);
    qDebug() << "feile";
}

// ---- CSV profile ----------------------------------------------------------------------

void setting::on_pushButton_saveProfile_clicked()
{
    DeviceProfileCsv profile;
    profile.sys = sysImage;
    profile.chan[0] = chanImage[0];
    profile.chan[1] = chanImage[1];
    const QString fileName = saveProfileAsked(this, profile);
    if (!fileName.isEmpty())
        showStatus(tr("creat profile success:%1").arg(fileName), "color:black");
}

void setting::on_pushButton_loadProfile_clicked()
{
    DeviceProfileCsv profile;
    const DeviceProfileCsv::ReadResult result = loadProfileAsked(this, profile);
    if (result.refusal == DeviceProfileCsv::Refusal::OpenFailed)
        return;
    for (int position = 0; position < qMin(result.lines, int(DeviceProfileCsv::LineCount)); ++position)
        qDebug() << position;
    if (result.refusal == DeviceProfileCsv::Refusal::LineCount)
        qDebug() << "字节数" << result.lines - 1;
    if (!result.ok())
        return;

    // Shown and kept as if the device had sent them, then written to it.
    UART_get_sys_config_t sys = profile.sysAsReceived();
    onUARTget_sys_config(&sys);
    for (uint8_t chan = 0; chan < 2; ++chan) {
        UART_get_chan_config_t record = profile.chanAsReceived(chan);
        onUARTget_channel_config(chan, &record);
    }
    UART_set_sys_config_t sysCopy = profile.sys;
    emit send_uart_Config_u32(&sysCopy);
    for (uint8_t chan = 0; chan < 2; ++chan) {
        UART_set_chan_config_t copy = profile.chan[chan];
        emit send_uart_Config_chan(chan, &copy);
    }
}

void setting::doChannelConfigure(int)
{
}

void setting::doChannelConfigureAsk(int)
{
}
