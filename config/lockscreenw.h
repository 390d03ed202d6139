#pragma once
// The password dialog that guards the settings page. It builds its widgets
// in code; the password is fixed in the program.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class lockScreenW : public QDialog
{
    Q_OBJECT
public:
    explicit lockScreenW(QWidget *parent = nullptr);
    ~lockScreenW() override;

    bool eventFilter(QObject *object, QEvent *event) override;

    struct Widgets
    {
        QLabel *infoLabel = nullptr;
        QPushButton *loginButton = nullptr;
        QLineEdit *lineEdit = nullptr;
        QPushButton *cancelButton = nullptr;
    };
    const Widgets &widgets() const { return *w; }

signals:
    void sendShowSetting();

private slots:
    void on_cancelButton_clicked();
    void on_loginButton_clicked();

private:
    void showHint(const QString &text);

    Widgets *w = nullptr;
};
