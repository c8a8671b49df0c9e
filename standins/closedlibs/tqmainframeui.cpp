#include "tqmainframeui.h"

#include "standinhooks.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

namespace {

constexpr int kRestartExitCode = 773;

// "<code>:<ms>" from the test hook; taken once so that a restarted client does not inherit it.
void armExitHook(QObject *context)
{
    const QString hook = standin::hookText("ORLUNE_STANDIN_MAINFRAME_EXIT");
    qunsetenv("ORLUNE_STANDIN_MAINFRAME_EXIT");
    const QStringList parts = hook.split(QLatin1Char(':'));
    bool codeOk = false;
    bool msOk = false;
    const int code = parts.value(0).toInt(&codeOk);
    const int ms = parts.value(1).toInt(&msOk);
    if (parts.size() != 2 || !codeOk || !msOk)
        return;
    QTimer::singleShot(ms, context, [code] {
        standin::trace(QStringLiteral("MainFrame exit code=%1").arg(code));
        QCoreApplication::exit(code);
    });
}

} // namespace

bool TqMainFrameUI::s_trayExitRequested = false;

TqMainFrameUI::TqMainFrameUI(QWidget *parent) : QMainWindow(parent), m_state(new QLabel(this))
{
    setWindowTitle(tr("Client"));
    setCentralWidget(m_state);
    QMenu *menu = menuBar()->addMenu(tr("&Client"));
    QAction *restart = menu->addAction(tr("&Restart"));
    restart->setObjectName(QStringLiteral("restartAction"));
    connect(restart, &QAction::triggered, this, [] {
        standin::trace(QStringLiteral("MainFrame restart requested"));
        QCoreApplication::exit(kRestartExitCode);
    });
    QAction *exit = menu->addAction(tr("E&xit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);
}

TqMainFrameUI::~TqMainFrameUI()
{
    // Lets a test keep the process alive for a while after the event loop has ended.
    const int lingerMs = standin::hookNumber("ORLUNE_STANDIN_MAINFRAME_LINGER_MS", 0);
    if (lingerMs > 0)
        QThread::msleep(static_cast<unsigned long>(lingerMs));
}

void TqMainFrameUI::init()
{
    standin::trace(QStringLiteral("MainFrame init"));
    qDebug("main frame: loading");
    m_state->setText(tr("Loading..."));
}

void TqMainFrameUI::initFinish()
{
    m_state->setText(tr("Connected"));
    show();
    standin::trace(QStringLiteral("MainFrame shown"));
    armExitHook(this);
    const int closeAfterMs = standin::hookNumber("ORLUNE_STANDIN_MAINFRAME_CLOSE_MS", -1);
    if (closeAfterMs >= 0)
        QTimer::singleShot(closeAfterMs, this, &QWidget::close);
}

void TqMainFrameUI::closeEvent(QCloseEvent *event)
{
    if (s_trayExitRequested) {
        // The tray is ending the product; asking the user would only hold up its exit.
        standin::trace(QStringLiteral("MainFrame closed by tray request"));
        event->accept();
        return;
    }
    QMessageBox box(QMessageBox::Question, windowTitle(), tr("Do you want to exit the client?"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    if (standin::execMessageBox(box, QStringLiteral("question")) == QMessageBox::Yes) {
        standin::trace(QStringLiteral("MainFrame closed by user"));
        event->accept();
    } else {
        event->ignore();
    }
}
