#include "remap.h"
#include "ui_remap.h"

#include <QMessageBox>

#include <algorithm>
#include <iterator>

namespace {
constexpr uint32_t kUnassigned = 255;

uint32_t inUse(uint32_t stored, uint32_t defaultButton)
{
    return stored == kUnassigned ? defaultButton : stored;
}

// A typed button number: base 10, text that is no number gives 0, low 8 bits.
uint8_t typedButton(const QLineEdit *field)
{
    return uint8_t(field->text().toInt());
}
}

Remap::Remap(QWidget *parent)
    : QWidget(parent)
{
    const uint32_t valid[14] = {1, 2, 3, 4, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::copy(valid, valid + 14, validButtons);
    ui = new Ui::Remap;
    ui->setupUi(this);
    ui->read->hide();
    ui->flash->hide();
    ui->sys_up->setReadOnly(true);
    ui->sys_down->setReadOnly(true);
    ui->sys_oh->setReadOnly(true);
}

Remap::~Remap()
{
    delete ui;
}

uint32_t Remap::masterInUse() const { return inUse(masterButton, 1); }
uint32_t Remap::trimUpInUse() const { return inUse(trimUpButton, 3); }
uint32_t Remap::trimDownInUse() const { return inUse(trimDownButton, 4); }

void Remap::showKeyPair()
{
    trimUpButton = trimUpInUse();
    trimDownButton = trimDownInUse();
    ui->sys_up->setText(QString::number(trimUpButton));
    ui->sys_down->setText(QString::number(trimDownButton));
    ui->user_up->clear();
    ui->user_down->clear();
}

void Remap::showMasterKey()
{
    masterButton = masterInUse();
    ui->sys_oh->setText(QString::number(masterButton));
    ui->user_oh->clear();
}

void Remap::readKeyPair()
{
    trimUpChoice = typedButton(ui->user_up);
    trimDownChoice = typedButton(ui->user_down);
}

void Remap::readMasterKey()
{
    masterChoice = typedButton(ui->user_oh);
}

bool Remap::isValidButton(uint8_t button) const
{
    // Only the known device family has these buttons.
    if (deviceKind != 1 && deviceKind != 2)
        return false;
    return std::find(std::begin(validButtons), std::end(validButtons), uint32_t(button)) != std::end(validButtons);
}

void Remap::warnOutOfRange()
{
    QMessageBox::warning(this, QStringLiteral("WARNING"), QStringLiteral("Button assigned is out of range"),
                         QMessageBox::Ok);
}

void Remap::on_save_clicked()
{
    readKeyPair();
    if (!isValidButton(trimUpChoice) || !isValidButton(trimDownChoice)) {
        warnOutOfRange();
        return;
    }
    // Equal choices are the main window's to refuse, with its own message.
    keySet = uint16_t(trimUpChoice << 8 | trimDownChoice);
    emit saveKeySet(keySet);
}

void Remap::on_send_clicked()
{
    readMasterKey();
    if (!isValidButton(masterChoice)) {
        warnOutOfRange();
        return;
    }
    emit masterkey(masterChoice);
}
