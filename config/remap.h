#pragma once
// The button remap window: which device buttons act as trim up and trim down,
// and which one is the master button. Valid choices go to the main window as
// signals; it checks them against each other and writes them to the device.
#include <QWidget>
#include <cstdint>

namespace Ui {
class Remap;
}

class Remap : public QWidget
{
    Q_OBJECT
public:
    explicit Remap(QWidget *parent = nullptr);
    ~Remap() override;

    uint16_t keySet = 0;   // the last pair sent: trim up << 8 | trim down
    // 1 for the device family this program drives, 99 for any other; nothing
    // is accepted until the main window has decoded the device's serial number.
    int deviceKind = 99;
    // The device's current assignment (255: none, shown as the default button),
    // from channel 0's user record.
    uint32_t masterButton = 255;
    uint32_t trimUpButton = 255;
    uint32_t trimDownButton = 255;
    // Button numbers that exist on the device (5 and 6 cannot be assigned).
    uint32_t validButtons[14] = {};

    // The buttons as the device uses them: an unassigned one acts as its
    // default (master 1, trim up 3, trim down 4), which the window shows.
    uint32_t masterInUse() const;
    uint32_t trimUpInUse() const;
    uint32_t trimDownInUse() const;

    void showKeyPair();
    void showMasterKey();
    void readKeyPair();
    void readMasterKey();

    Ui::Remap *form() const { return ui; }

signals:
    void saveKeySet(uint16_t keySet);
    void masterkey(uint8_t key);

private slots:
    void on_save_clicked();
    void on_send_clicked();

private:
    bool isValidButton(uint8_t button) const;
    void warnOutOfRange();

    // The numbers last read from the fields (low 8 bits of what was typed).
    uint8_t trimUpChoice = 0;
    uint8_t trimDownChoice = 0;
    uint8_t masterChoice = 0;
    Ui::Remap *ui = nullptr;
};
