#include "profilefiles.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileDialog>
#include <QMessageBox>
#include <QTime>

QString saveProfileAsked(QWidget *owner, const DeviceProfileCsv &profile)
{
    // An image that never received a record is all zero: written back to a
    // device it would zero the force limits.
    if (!holdsSystemRecord(profile.sys) || !holdsChannelRecord(profile.chan[0])
        || !holdsChannelRecord(profile.chan[1])) {
        QMessageBox::warning(owner, QStringLiteral("WARNING"),
                             QStringLiteral("No profile to save: the device records have not been read"));
        return QString();
    }
    const QString fileName = QFileDialog::getSaveFileName(owner, QStringLiteral("Save File"), QString(),
                                                          QStringLiteral("Files (*.csv);;All (*.*)"));
    if (fileName.isEmpty())
        return QString();
    const QString error = profile.write(fileName);
    if (!error.isEmpty()) {
        QMessageBox::warning(owner, QStringLiteral("WARNING"),
                             QStringLiteral("Profile not saved: %1").arg(error));
        return QString();
    }
    return fileName;
}

DeviceProfileCsv::ReadResult loadProfileAsked(QWidget *owner, DeviceProfileCsv &profile, const char *ownerLine)
{
    // The dialog's texts are the owner's, as its own tr() would give them.
    const char *context = owner->metaObject()->className();
    const QString fileName = QFileDialog::getOpenFileName(
        owner, QCoreApplication::translate(context, "Excel file"), QCoreApplication::applicationDirPath(),
        QCoreApplication::translate(context, "Files (*.csv)"));
    qDebug() << "feile" << fileName;
    if (ownerLine)
        qDebug() << ownerLine << QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
    const DeviceProfileCsv::ReadResult result = profile.read(fileName);
    if (result.refusal == DeviceProfileCsv::Refusal::OpenFailed)
        qDebug() << "Open Excel file failed!";
    else if (!result.ok())
        QMessageBox::warning(owner, QStringLiteral("WARNING"), result.message());
    return result;
}
