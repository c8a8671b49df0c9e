#include "startup.h"

#include "serverwait.h"
#include "servicecontrol.h"
#include "watcherthreads.h"
#include "zozapplication.h"

#include "brisalog.h"
#include "loadingdlg.h"
#include "logindlg.h"
#include "tqlogic.h"
#include "tqmainframeui.h"
#include "tqmessagebox.h"
#include "useractivitymonitor.h"

#include <installation/files.h>
#include <installation/names.h>
#include <platform/logfile.h>

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFont>
#include <QProcess>

#include <atomic>
#include <cstdio>
#include <system_error>
#include <thread>

namespace {

const QString kCrashRestartArg = QStringLiteral("crash_restart");
const QString kUserRestartArg = QStringLiteral("user_restart");
const QString kUserNoExitArg = QStringLiteral("user_noExit");

constexpr int kServerWaitMs = 10000;
constexpr unsigned long kLogFileSize = 10485760;
constexpr int kLogFiles = 10;

// Writes "startup: <step>, elapsed=<ms>ms" lines measured from the application object.
class StartupLog {
public:
    StartupLog() { m_timer.start(); }

    qint64 elapsed() const { return m_timer.elapsed(); }
    void step(const QString &step) const
    {
        tqLogMgr()->logInfo(QStringLiteral("startup: %1, elapsed=%2ms").arg(step).arg(elapsed()));
    }

private:
    QElapsedTimer m_timer;
};

void showConnectionFailedBox()
{
    TqMessageBox::critical(nullptr, QStringLiteral("v7iZodore ") + QObject::tr("Connection failed"),
                           QObject::tr("Information"), QMessageBox::Ok, QMessageBox::NoButton);
}

void setUpLog()
{
    IBrisaLog *log = CreateBrisaLog();
    log->setMode(IBrisaLog::FileOnly);
    const QString logDir = installation::logDirectory();
    // Not writable by other users whatever the umask: they could plant files for us to write into.
    platform::ErrorCode error = 0;
    platform::makeLogDirectory(QDir::toNativeSeparators(logDir).toStdString(), error);
    const QString path = QDir(logDir).filePath(installation::clientLogFileName());
    log->open(path.toLocal8Bit().constData(), kLogFileSize, kLogFiles, IBrisaLog::AppendToCurrentFile);
    qDebug() << "path:" << path;
    tqLogMgr()->SetLogCallback(log);
    TqLogic::m_ClientSdk->SetLogHandler(log);
}

void initClientSdk()
{
    const ParamsMgr *params = tqParamsMgr();
    const QByteArray serverIp = params->torvikServerIp().toUtf8();
    const QByteArray processId = QByteArray::number(QCoreApplication::applicationPid());
    TqLogic::m_ClientSdk->Init(serverIp.constData(), params->torvikServerPort(), true,
                               params->DecodeProcessPort(), params->getProcessNum(),
                               params->getQ_OS_WINType(), processId.constData(), 0);
}

void startTypeperfCleanup()
{
    try {
        std::thread(killTypeperfProcess).detach();
    } catch (const std::system_error &) {
        // Without a thread the stray logger simply stays; the client runs all the same.
    }
}

void redirectConsoleToFile()
{
    // A stream that cannot be reopened is closed by freopen; there is nowhere left to say so.
    [[maybe_unused]] const FILE *out = std::freopen("logfile.txt", "a", stdout);
    [[maybe_unused]] const FILE *err = std::freopen("logfile.txt", "a", stderr);
}

void restartClient()
{
    QStringList arguments{kUserRestartArg};
    if (!tqLibWebCommMgr()->getUserFunctionRights(TQ::RightExitClient))
        arguments << kUserNoExitArg;
    QProcess::startDetached(QCoreApplication::applicationFilePath(), arguments, QString());
}

// The idle worker runs from the login to the end of the main event loop.
class IdleWorker {
public:
    IdleWorker()
    {
        try {
            m_thread = std::thread(idleWorkerLoop, std::cref(m_stop));
        } catch (const std::system_error &) {
            // Nothing depends on the worker's running.
        }
    }
    IdleWorker(const IdleWorker &) = delete;
    IdleWorker &operator=(const IdleWorker &) = delete;
    ~IdleWorker() { stop(); }

    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

int runClient(int &argc, char **argv)
{
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QCoreApplication::setAttribute(Qt::AA_DontShowIconsInMenus, false);
    QCoreApplication::setAttribute(Qt::AA_UseStyleSheetPropagationInWidgetStyles, true);
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--ignore-certificate-errors --allow-insecure-localhost");

    ZozApplication app(argc, argv);
    const StartupLog startup;
    const QStringList arguments = QCoreApplication::arguments();

    QApplication::setFont(QFont(tqSkinMgr()->fontFamily(), 10));
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    const QString manufacturers = tqParamsMgr()->manufacturers();

    if (!TqLogic::instance()->init(&app))
        return kSilentStopExitCode;
    qputenv("QTWEBENGINE_REMOTE_DEBUGGING", QByteArray::number(tqParamsMgr()->webDebugPort()));

    if (!arguments.contains(kCrashRestartArg) && app.isAnotherInstanceRunning(tqParamsMgr()->instanceId()))
        return kRefusedStartExitCode;

    const QString serviceName = tqParamsMgr()->serviceName();
    if (!isServiceRunning(serviceName))
        startService(serviceName);

    startTypeperfCleanup();

    setUpLog();
    startup.step(QStringLiteral("log system ready"));
    QCoreApplication::setOrganizationName(manufacturers);
    QCoreApplication::setOrganizationDomain(manufacturers + QStringLiteral(".com"));

    initClientSdk();
    startup.step(QStringLiteral("ClientSdk Init done"));

    // Once the tray has asked the client to end, it ends quietly and opens no further window.
    // Asked right before every window, since the request may be set while no event loop runs.
    const auto exitRequested = [&app] { return app.checkTrayExitRequestNow(); };

    if (!waitForServerReachable(kServerWaitMs, exitRequested)) {
        if (exitRequested())
            return kSilentStopExitCode;
        tqLogMgr()->logErr(
            QStringLiteral("v7iZodore unreachable after waiting, elapsed=%1ms").arg(startup.elapsed()));
        showConnectionFailedBox();
        return kRefusedStartExitCode;
    }
    startup.step(QStringLiteral("v7iZodore TCP reachable"));

    int status = tqLibWebCommMgr()->getServerStatus();
    tqLogMgr()->logInfo(
        QStringLiteral("startup: v7iZodore status=%1, elapsed=%2ms").arg(status).arg(startup.elapsed()));
    if (status != LibWebCommMgr::ServerReady) {
        if (exitRequested())
            return kSilentStopExitCode;
        LoadingDlg waiting(false, nullptr);
        waiting.showLoadingUI();
        status = tqLibWebCommMgr()->getServerStatus();
    }
    if (exitRequested())
        return kSilentStopExitCode;
    if (status != LibWebCommMgr::ServerReady) {
        tqLogMgr()->logErr(QStringLiteral("v7iZodore status is ") + QString::number(status));
        showConnectionFailedBox();
        return kRefusedStartExitCode;
    }

    tqLibWebCommMgr()->initUserParam();
    startup.step(QStringLiteral("initUserParam done"));

    if (!TqLogic::instance()->init(&app))
        return kSilentStopExitCode;

    const LoginType loginType = arguments.contains(kUserRestartArg) ? LoginRestart : LoginNormal;
    if (exitRequested())
        return kSilentStopExitCode;
    if (tqLibWebCommMgr()->isHaveSuperUser() == -1) {
        showConnectionFailedBox();
        return kSilentStopExitCode;
    }

    LoginDlg login(loginType, &app, !arguments.contains(kUserNoExitArg), nullptr);
    QString styleSheet;
    if (tqSkinMgr()->getQss(styleSheet))
        login.setStyleSheet(styleSheet);
    if (login.exec() != QDialog::Accepted || exitRequested())
        return kSilentStopExitCode;

    IdleWorker idleWorker;
    if (tqParamsMgr()->isOpenConsoleLog())
        redirectConsoleToFile();

    if (exitRequested())
        return kSilentStopExitCode;
    TqMainFrameUI mainFrame(nullptr);
    LoadingDlg loading(true, nullptr);
    QObject::connect(&loading, &LoadingDlg::start, &mainFrame, &TqMainFrameUI::init);
    QObject::connect(&loading, &LoadingDlg::end, &mainFrame, [&mainFrame, &exitRequested] {
        if (!exitRequested())
            mainFrame.initFinish();
    });
    loading.showLoadingUI();
    if (exitRequested())
        return kSilentStopExitCode;

    UserActivityMonitor monitor(nullptr);
    app.installEventFilter(&monitor);

    const int rc = QApplication::exec();
    if (rc == kRestartExitCode) {
        // The new client must find the name free to become the instance server.
        app.releaseLocalServer();
        restartClient();
    }
    idleWorker.stop();
    return rc;
}
