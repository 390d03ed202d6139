#pragma once
// The button remap window: trim up/down buttons and the master button.
#include <QWidget>
#include <cstdint>

class Remap : public QWidget
{
    Q_OBJECT
public:
    explicit Remap(QWidget *parent = nullptr);

    // Written by the main window from the device's identity and records.
    int deviceKind = 99;
    uint32_t masterButton = 255;
    uint32_t trimUpButton = 255;
    uint32_t trimDownButton = 255;

    void showKeyPair();
    void showMasterKey();

signals:
    void saveKeySet(uint16_t keySet);
    void masterkey(uint8_t key);
};
