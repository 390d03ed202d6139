// The main window's CSV device profile: its last system record and its two
// channel records saved to a file, and a file loaded back and written to the
// device as the user channel records.
#include "clscurve.h"
#include "ui_clscurve.h"

#include "profilefiles.h"

#include <QMessageBox>

void clscurve::on_pushButton_saveProfile_clicked()
{
    DeviceProfileCsv profile;
    profile.sys = toSetImage(sysRecord);
    profile.chan[0] = chanSetImage[0];
    profile.chan[1] = chanSetImage[1];
    const QString fileName = saveProfileAsked(this, profile);
    if (!fileName.isEmpty())
        ui->statusbar->showMessage(tr("creat profile success:%1").arg(fileName));
}

void clscurve::on_pushButton_loadProfile_clicked()
{
    DeviceProfileCsv profile;
    if (!loadProfileAsked(this, profile, "loadProfile").ok())
        return;

    // Shown as if the device had sent them (the About box and the curves
    // follow them too); the system record is not written to the device.
    sysReplyImage = profile.sysAsReceived();
    onUARTget_sys_config(&sysReplyImage);
    for (uint8_t chan = 0; chan < 2; ++chan) {
        UART_get_chan_config_t loaded = profile.chanAsReceived(chan);
        onUARTget_channel_config(chan, &loaded);
    }
    QMessageBox::information(this, QStringLiteral("Success"), QStringLiteral("Profile Loaded"), QMessageBox::Ok);

    // Replies dispatched while the box was open may have replaced the images.
    for (uint8_t chan = 0; chan < 2; ++chan)
        chanSetImage[chan] = profile.chan[chan];
    for (uint8_t chan = 0; chan < 2; ++chan) {
        UART_set_chan_config_t copy = chanSetImage[chan];
        emit send_uart_Config_chan(chan, &copy);
    }
    // Read the working channel back as the device now holds it.
    if (currentChannel == 0)
        on_pushButton_channel_0_clicked();
    else if (currentChannel == 1)
        on_pushButton_channel_1_clicked();
}
