#include "loadingdlg.h"

#include "libwebcommmgr.h"
#include "standinhooks.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kStatusPollMs = 500;

// Runs events for `ms`, or until the dialog is closed.
void runEventsFor(QDialog *dialog, int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    QObject::connect(dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

LoadingDlg::LoadingDlg(bool loadMainFrame, QWidget *parent)
    : QDialog(parent), m_loadMainFrame(loadMainFrame), m_message(new QLabel(this))
{
    setWindowTitle(tr("Loading"));
    m_message->setText(m_loadMainFrame ? tr("Loading the client...") : tr("Waiting for the server..."));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_message);
}

void LoadingDlg::showLoadingUI()
{
    standin::trace(
        QStringLiteral("LoadingDlg show loadMainFrame=%1").arg(m_loadMainFrame ? "true" : "false"));
    show();
    if (m_loadMainFrame)
        runLoadingStep();
    else
        waitForServerReady();
    hide();
    standin::trace(QStringLiteral("LoadingDlg done"));
}

void LoadingDlg::waitForServerReady()
{
    const int limitMs = standin::hookNumber("ORLUNE_STANDIN_SERVER_WAIT_MS", 15000);
    QElapsedTimer waited;
    waited.start();
    while (isVisible() && waited.elapsed() < limitMs) {
        if (tqLibWebCommMgr()->getServerStatus() == LibWebCommMgr::ServerReady)
            return;
        runEventsFor(this, kStatusPollMs);
    }
}

void LoadingDlg::runLoadingStep()
{
    emit start();
    runEventsFor(this, standin::hookNumber("ORLUNE_STANDIN_LOADING_MS", 300));
    emit end();
}
