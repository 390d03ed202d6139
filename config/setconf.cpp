#include "setconf.h"
#include "ui_setconf.h"

#include <QLineEdit>
#include <QMessageBox>

#include "configcommands.h"
#include "deviceprofilecsv.h"

namespace {
// The three values the dialog edits, by record offset, for both channels.
constexpr int kOffsets[3] = {UART_set_chan_config_t::OffDamping, UART_set_chan_config_t::OffInertia,
                             UART_set_chan_config_t::OffDefaultSpeed};
}

SetConf::SetConf(QWidget *parent)
    : QWidget(parent)
{
    ui = new Ui::SetConf;
    ui->setupUi(this);
    ui->bar->hide();
}

SetConf::~SetConf()
{
    delete ui;
}

void SetConf::showConfValues()
{
    QLineEdit *const fields[2][3] = {{ui->pitch_dam, ui->pitch_ine, ui->pitch_spd},
                                     {ui->roll_dam, ui->roll_ine, ui->roll_spd}};
    for (int chan = 0; chan < 2; ++chan)
        for (int i = 0; i < 3; ++i)
            fields[chan][i]->setText(QString::asprintf("%.2f", double(chanConfig[chan].f32(kOffsets[i]))));
}

void SetConf::on_change_clicked()
{
    // A record never read is all zero: written to the device it would zero
    // the channel's force limits.
    if (!holdsChannelRecord(chanConfig[0]) || !holdsChannelRecord(chanConfig[1])) {
        QMessageBox::warning(this, QStringLiteral("WARNING"),
                             QStringLiteral("Nothing changed: the device records have not been read"));
        return;
    }
    // What is written is what the fields show (two decimals), not the
    // unrounded record values.
    const QLineEdit *const fields[2][3] = {{ui->pitch_dam, ui->pitch_ine, ui->pitch_spd},
                                           {ui->roll_dam, ui->roll_ine, ui->roll_spd}};
    for (int chan = 0; chan < 2; ++chan)
        for (int i = 0; i < 3; ++i)
            chanConfig[chan].setF32(kOffsets[i], typedFloat(fields[chan][i]->text()));
    emit confSend(1);
}

void SetConf::on_flash_clicked()
{
    emit confGet();
}

void SetConf::on_load_clicked()
{
    emit loadProfile();
}

void SetConf::on_save_clicked()
{
    emit saveProfile();
}

void SetConf::on_reset_clicked()
{
    emit factoryreset();
}

void SetConf::on_ready_clicked()
{
    // Set before the signal: its slot runs now and may undo this (device
    // offline, or the user declines).
    ui->bar->show();
    ui->bar->setValue(0);
    ui->ready->setEnabled(false);
    emit readyupdate();
}

void SetConf::on_loadfirm_clicked()
{
    // The buttons change only when a file was chosen (firmwareChosen): after
    // a cancelled choice Start would have no file.
    emit loadFirmware();
}

void SetConf::on_start_clicked()
{
    emit startUpdate();
}

void SetConf::on_exit_clicked()
{
    emit exitbootmode();
    ui->exit->setEnabled(false);
    ui->ready->setEnabled(true);
}

// ---- driven by the main window during an update ------------------------------

void SetConf::finishUpdateUi()
{
    ui->bar->hide();
    ui->bar->setValue(0);
    ui->ready->setEnabled(true);
}

void SetConf::setUpdateButtons()
{
    ui->bar->hide();
    ui->ready->show();
    ui->ready->setEnabled(true);
    ui->loadfirm->setEnabled(true);
    ui->start->setEnabled(false);
}

void SetConf::setUpdateProgress(int value)
{
    ui->bar->setValue(value);
}

void SetConf::setUpdateRange(int maximum)
{
    ui->bar->setMaximum(maximum);
}

void SetConf::setButtonsEnabled()
{
    ui->exit->setEnabled(true);
    ui->ready->setEnabled(false);
}

void SetConf::firmwareChosen()
{
    ui->start->setEnabled(true);
    ui->loadfirm->setEnabled(false);
    ui->bar->show();
}
