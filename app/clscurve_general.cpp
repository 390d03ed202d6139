// The main window's parameter tree view and its general slots.
#include "clscurve.h"
#include "ui_clscurve.h"

#include "lockscreenw.h"
#include "loghandler.h"
#include "setconf.h"
#include "setting.h"
#include "treemodel.h"

#include <QDebug>
#include <QMessageBox>
#include <QTime>

// ---- parameter tree ---------------------------------------------------------

void clscurve::initParameterTree()
{
    // The window owns the model; one built again replaces the one before.
    QAbstractItemModel *previous = treeModel;
    auto *model = new TreeModel(treeHeaders("clscurve"), readTreeProfileText(), this);
    treeModel = model;
    showParameterTree(ui->view, model, [this, model] {
        ui->view->expand(model->index(1, 0));
        ui->view->expand(model->index(2, 0));
    });
    delete previous;
    connect(ui->view, SIGNAL(clicked(QModelIndex)), this, SLOT(on_currentChanged(QModelIndex)),
            Qt::UniqueConnection);
    // The keyboard moves the current row too: the row sent to must be the one shown.
    connect(ui->view->selectionModel(), SIGNAL(currentChanged(QModelIndex, QModelIndex)), this,
            SLOT(on_currentChanged(QModelIndex)), Qt::UniqueConnection);
}

void clscurve::on_currentChanged(const QModelIndex &)
{
    const QModelIndex current = ui->view->currentIndex();
    treeParentRow = ui->view->model() ? current.parent().row() : -1;
    treeRow = current.row();
}

void clscurve::updateActions()
{
    showTreePosition(ui->view, ui->statusbar, "clscurve");
}

// ---- secondary windows ------------------------------------------------------

void clscurve::onLockSet_clicked()
{
    lockScreen->show();
}

void clscurve::showSetting()
{
    settingPage->show();
    ui->textEdit_Debug->hide();
    settingShownFlag = 1;
}

void clscurve::setConfInit()
{
    setConf->setParent(this, Qt::Tool);
    setConf->show();
    setConf->chanConfig[0] = chanSetImage[0];
    setConf->chanConfig[1] = chanSetImage[1];
    setConf->showConfValues();
}

// ---- boot mode and periodic polls -------------------------------------------

void clscurve::ExitMode()
{
    // No online guard (a device in its boot loader may never report two
    // channels), but there must be a device to send to.
    if (!mainDevice) {
        QMessageBox::warning(this, QStringLiteral("WARNING"), QStringLiteral("Device Offline"));
        return;
    }
    uint8_t noPayload[DeviceFrame::MaxPayload] = {};
    sendDeviceCommand(CmdLeaveBoot, 0, noPayload);
    ui->ExitBoot->setEnabled(false);
    qDebug() << "ExitBootMode" << eventTimeText();
}

void clscurve::on_ExitBoot_clicked()
{
    ExitMode();
}

void clscurve::onChannel_num_send(int enable)
{
    if (enable != 0) {
        startTxTimer();
        startInfoTimer();
    } else {
        stopTxTimerIfActive();
        stopInfoTimerIfActive();
    }
}

void clscurve::doChannel_Configure_cls(int channel, int, int, float, int)
{
    if (channel == currentChannel)
        settingPage->doChannelConfigure(channel);
}

void clscurve::doChannel_Configure_cls_ask(int channel, int, int, float, int)
{
    if (channel == currentChannel)
        settingPage->doChannelConfigureAsk(channel);
}

// ---- slots that reach nothing -------------------------------------------------
// Kept because the interface declares them; no control or timer is connected to
// them, so they deliberately do nothing.

void clscurve::OnConnectUDP() { /* connected to nothing */ }
void clscurve::OnConnectKorvelCLS() { /* connected to nothing */ }
void clscurve::onSTOP_send() { /* connected to nothing */ }
void clscurve::doUdpShowData() { /* connected to nothing */ }
void clscurve::onspare_send() { /* connected to nothing */ }
void clscurve::OnChangeChannel() { /* connected to nothing */ }
void clscurve::onCommandWord_send() { /* connected to nothing */ }
void clscurve::onAftLimit_send() { emit sendFocPosWrite(); }
void clscurve::onCable_send() { emit sendFocPosWrite(); }
void clscurve::onAft_send() { emit sendFocPosWrite(); }
void clscurve::onfwd_send() { emit sendswitchsWrite(); }
void clscurve::onJamPos_send() { emit sendswitchsWrite(); }
