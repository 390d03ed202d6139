// The main window's choice of the firmware image: the file is kept open for
// the update, and its name and size are reported.
#include "clscurve.h"
#include "ui_clscurve.h"

#include "loghandler.h"
#include "setconf.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

void clscurve::on_pushButton_loadFireware_clicked()
{
    const bool fromDialog = sender() == setConf;
    // The polls stay off from here on: the update that follows restarts them.
    stopTxTimerIfActive();
    stopInfoTimerIfActive();
    stopTrimTimerIfActive();
    delayMs(1000);

    const QString path = QFileDialog::getOpenFileName(this, tr("Select Update file"),
                                                      QCoreApplication::applicationDirPath(), tr("Files (*.bin)"));
    qDebug() << "UpdateFeile" << path;

    QFile probe(path);
    const bool readable = probe.open(QIODevice::ReadOnly | QIODevice::Text);
    probe.close();
    auto *file = readable ? new QFile(path, this) : nullptr;
    if (!file || !file->open(QIODevice::ReadOnly)) {
        delete file;
        qDebug() << "Open Excel file failed!";
        ui->statusbar->setStyleSheet(QStringLiteral("color:red"));
        ui->statusbar->showMessage(tr("Load Failed"));
        return;
    }
    // The transfer reads the image through this member, never through a
    // pointer kept across its waits, so replacing the file here is safe.
    delete firmwareFile;
    firmwareFile = file;

    const QString name = QFileInfo(path).fileName();
    const QString size = QString::number(double(float(file->size()) * (1.0f / 1024.0f)), 'f', 2);
    QMessageBox::information(this, QStringLiteral("File Loaded Successfully"),
                             QStringLiteral("File Name: ") + name + QStringLiteral("   File Size: ") + size
                                 + QStringLiteral("KB"),
                             QMessageBox::Ok);
    qDebug() << "name" << name;
    qDebug() << "File Loaded Successfully" << eventTimeText();

    ui->pushButton_startUpdate->setEnabled(true);
    ui->pushButton_loadFireware->setEnabled(false);
    ui->updatabar->show();
    ui->updatabar->setValue(0);
    if (fromDialog)
        setConf->firmwareChosen();
}
