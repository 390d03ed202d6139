// The Help menu's About boxes: the program's version and edition, and the
// connected device's identity with the limits of its two force channels.
#include "clscurve.h"

#include <QDesktopServices>
#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QUrl>
#include <QVector>
#include <utility>

namespace {

using AboutRows = QVector<std::pair<QString, QString>>;

// Whole numbers in fixed notation, rounded.
QString whole(double value)
{
    return QString::number(value, 'f', 0);
}

void runAboutDialog(QWidget *parent, const QString &title, const AboutRows &rows, const char *colour)
{
    auto *dialog = new QDialog(parent);
    dialog->setWindowTitle(title);
    auto *grid = new QGridLayout(dialog);
    const QString valueText = QStringLiteral("<font color=%1>%2</font>").arg(QLatin1String(colour));
    for (int i = 0; i < rows.size(); ++i) {
        grid->addWidget(new QLabel(rows.at(i).first, dialog), i, 0, 1, 1);
        auto *value = new QLabel(valueText.arg(rows.at(i).second), dialog);
        QObject::connect(value, &QLabel::linkActivated,
                         [](const QString &link) { QDesktopServices::openUrl(QUrl(link)); });
        grid->addWidget(value, i, 1, 1, 1);
    }
    dialog->setMinimumSize(400, 80);
    dialog->setModal(true);
    dialog->show();
    dialog->exec();
    delete dialog;
}

} // namespace

void clscurve::aboutQsak()
{
    const AboutRows rows = {
        {tr("Version"), QStringLiteral("2.2.8 -D")},
        {tr("Edition"), QStringLiteral("factory")},
        {tr("Rights"), tr("Copyright (C) Korvel. All rights reserved.")},
    };
    runAboutDialog(this, tr("About Application"), rows, "green");
}

void clscurve::aboutSystem()
{
    if (!checkOnline())
        return;
    AboutRows rows;
    const char *colour = "green";
    if (deviceType == 1) {
        const UART_set_chan_config_t &pitch = chanSetImage[0];
        const UART_set_chan_config_t &roll = chanSetImage[1];
        rows = {
            {tr("Hardware_version"), versionToString(sysRecord.Hardware_version())},
            {tr("Device_version"), versionToString(sysRecord.Device_version())},
            {tr("Serial_number"), buildCodeToString(sysRecord.Serial_number())},
            {tr("Channels_number"), QString::number(sysRecord.Channels_number())},
            {tr("Pitch_motor_model"), QString::number(pitch.motor_model())},
            {tr("Pitch_velocity_limit"), whole(pitch.velocity_limit())},
            {tr("Pitch_force_limit"), whole(pitch.force_limit())},
            {tr("Pitch_range_limit"), whole(pitch.range_limit())},
            {tr("Roll_motor_model"), QString::number(roll.motor_model())},
            {tr("Roll_velocity_limit"), whole(roll.velocity_limit())},
            {tr("Roll_force_limit"), whole(roll.force_limit())},
            {tr("Roll_range_limit"), whole(roll.range_limit())},
        };
    } else if (deviceType == 99) {
        rows = {{tr("Warning"), QStringLiteral("No Device Connect")}};
        colour = "red";
    }
    runAboutDialog(this, tr("About Hardware"), rows, colour);
}
