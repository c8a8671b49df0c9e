#include "logindlg.h"

#include "standinhooks.h"
#include "tqmainframeui.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

LoginDlg::LoginDlg(LoginType type, QApplication *app, bool allowExit, QWidget *parent)
    : QDialog(parent), m_type(type), m_allowExit(allowExit), m_user(new QLineEdit(this)),
      m_password(new QLineEdit(this)), m_exit(new QPushButton(tr("Exit"), this)), m_error(new QLabel(this))
{
    Q_UNUSED(app)
    setWindowTitle(m_type == LoginRestart ? tr("Sign in again") : tr("Sign in"));
    m_user->setObjectName(QStringLiteral("userName"));
    m_password->setObjectName(QStringLiteral("password"));
    m_password->setEchoMode(QLineEdit::Password);
    m_error->setObjectName(QStringLiteral("loginError"));
    m_error->hide();
    // Without the right to end the client the form offers no way out but signing in.
    m_exit->setEnabled(m_allowExit);

    auto *signIn = new QPushButton(tr("Sign in"), this);
    signIn->setObjectName(QStringLiteral("signIn"));
    signIn->setDefault(true);
    connect(signIn, &QPushButton::clicked, this, &LoginDlg::onSignIn);
    connect(m_exit, &QPushButton::clicked, this, &QDialog::reject);

    auto *form = new QFormLayout;
    form->addRow(tr("User"), m_user);
    form->addRow(tr("Password"), m_password);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(signIn);
    buttons->addWidget(m_exit);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_error);
    layout->addLayout(buttons);

    connect(this, &QDialog::finished, this,
            [](int result) { standin::trace(QStringLiteral("LoginDlg result=%1").arg(result)); });
    standin::trace(QStringLiteral("LoginDlg type=%1 allowExit=%2")
                       .arg(static_cast<int>(type))
                       .arg(allowExit ? QStringLiteral("true") : QStringLiteral("false")));

    const QString answer = standin::hookText("ORLUNE_STANDIN_LOGIN");
    if (answer == QLatin1String("accept")) {
        QTimer::singleShot(0, this, [this, signIn] {
            m_user->setText(QStringLiteral("operator"));
            m_password->setText(QStringLiteral("secret"));
            signIn->click();
        });
    } else if (answer == QLatin1String("refuse")) {
        QTimer::singleShot(0, this, [this] { done(QDialog::Rejected); });
    }
}

void LoginDlg::onSignIn()
{
    if (m_user->text().trimmed().isEmpty() || m_password->text().isEmpty()) {
        m_error->setText(tr("Enter your user name and password."));
        m_error->show();
        return;
    }
    accept();
}

void LoginDlg::closeEvent(QCloseEvent *event)
{
    // The tray's exit request closes the form even when the user may not.
    if (m_allowExit || TqMainFrameUI::s_trayExitRequested)
        QDialog::closeEvent(event);
    else
        event->ignore();
}

void LoginDlg::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && !m_allowExit) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
