#include "lockscreenw.h"

#include <QDebug>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegExpValidator>
#include <QTextStream>

namespace {
const char kPassword[] = "407215";

// The pressed image is the normal one's name with a 1 appended ("ok1.png").
// The names are joined, not put in with arg(): "%21" would read as marker 21.
QString imageButtonStyle(const char *name)
{
    const QString image = QStringLiteral(":/new/prefix1/image/widget_lockimag/") + QLatin1String(name);
    return QStringLiteral("QPushButton{border-image: url(") + image + QStringLiteral(".png);}")
           + QStringLiteral("QPushButton:hover{border-image: url(") + image + QStringLiteral(".png);}")
           + QStringLiteral("QPushButton:pressed{border-image: url(") + image + QStringLiteral("1.png);}");
}
}

lockScreenW::lockScreenW(QWidget *parent)
    : QDialog(parent)
    , w(new Widgets)
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("lockScreenW"));
    resize(283, 222);
    setStyleSheet(QString());
    setWindowTitle(tr("Dialog"));
    QFont font(QStringLiteral("宋体"), 10);

    w->infoLabel = new QLabel(this);
    w->infoLabel->setObjectName(QStringLiteral("infoLabel"));
    w->infoLabel->setGeometry(20, 20, 241, 31);
    w->infoLabel->setFocusPolicy(Qt::ClickFocus);
    w->infoLabel->setStyleSheet(QStringLiteral("color: rgb(76, 76, 76);"));
    w->infoLabel->setAlignment(Qt::AlignCenter);
    w->infoLabel->setText(tr("Please enter the password"));

    w->loginButton = new QPushButton(this);
    w->loginButton->setObjectName(QStringLiteral("loginButton"));
    w->loginButton->setGeometry(150, 160, 91, 31);
    w->loginButton->setStyleSheet(imageButtonStyle("ok"));
    w->loginButton->setText(tr("Login"));

    w->lineEdit = new QLineEdit(this);
    w->lineEdit->setObjectName(QStringLiteral("lineEdit"));
    w->lineEdit->setGeometry(40, 80, 191, 41);
    w->lineEdit->setFocusPolicy(Qt::ClickFocus);
    w->lineEdit->setStyleSheet(QString());
    w->lineEdit->setAlignment(Qt::AlignCenter);
    w->lineEdit->setText(tr("Limit input to 6 digits"));

    w->cancelButton = new QPushButton(this);
    w->cancelButton->setObjectName(QStringLiteral("cancelButton"));
    w->cancelButton->setGeometry(30, 160, 91, 31);
    w->cancelButton->setFocusPolicy(Qt::StrongFocus);
    w->cancelButton->setStyleSheet(imageButtonStyle("cancel"));
    w->cancelButton->setText(tr("Cancel"));

    for (QWidget *child : {static_cast<QWidget *>(w->infoLabel), static_cast<QWidget *>(w->loginButton),
                           static_cast<QWidget *>(w->lineEdit), static_cast<QWidget *>(w->cancelButton)})
        child->setFont(font);

    QMetaObject::connectSlotsByName(this);

    setWindowModality(Qt::WindowModal);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    w->lineEdit->installEventFilter(this);
    w->lineEdit->setValidator(new QRegExpValidator(QRegExp(QStringLiteral("[0-9]{6}")), w->lineEdit));
}

lockScreenW::~lockScreenW()
{
    delete w;
}

bool lockScreenW::eventFilter(QObject *object, QEvent *event)
{
    // The hint stands in the field in clear text until the user first enters it.
    if (object == w->lineEdit && event->type() == QEvent::FocusIn) {
        if (w->lineEdit->echoMode() == QLineEdit::Normal)
            w->lineEdit->clear();
        w->lineEdit->setEchoMode(QLineEdit::Password);
    }
    return QDialog::eventFilter(object, event);
}

void lockScreenW::on_cancelButton_clicked()
{
    close();
}

void lockScreenW::on_loginButton_clicked()
{
    // config.ini only names a password for the log; the one that opens the
    // page is compiled in.
    QFile config(QStringLiteral("config.ini"));
    if (config.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream in(&config);
        QString stored;
        while (!in.atEnd())
            stored = in.readLine().section(QStringLiteral("passwd="), 1, 1).simplified();
        qDebug() << "strOldPasswd: " << stored;
        config.close();
    }

    const QString typed = w->lineEdit->text();
    if (typed == QLatin1String(kPassword)) {
        // The next showing must not open the page without the password.
        w->lineEdit->clear();
        close();
        emit sendShowSetting();
    } else if (typed.isEmpty()) {
        showHint(tr("Password cannot be empty!"));
    } else if (typed.size() < 6) {
        showHint(tr("Password is less than 6-digit!"));
        w->lineEdit->clear();
    } else {
        showHint(tr("Password error,please re-enter."));
        w->lineEdit->clear();
    }
}

void lockScreenW::showHint(const QString &text)
{
    w->infoLabel->setStyleSheet(QStringLiteral("color:red"));
    w->infoLabel->setText(text);
}
