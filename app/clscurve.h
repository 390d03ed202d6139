#pragma once
#include <QMainWindow>

// The main window; for now a plain main window.
class clscurve : public QMainWindow
{
    Q_OBJECT
public:
    explicit clscurve(QWidget *parent = nullptr);
};
