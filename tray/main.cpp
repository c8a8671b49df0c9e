#include "config.h"
#include "log.h"
#include "trayicon.h"

#include <platform/ids.h>
#include <platform/namedmutex.h>
#include <platform/termination.h>

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QDebug>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTranslator>
#include <QWindow>

#include <memory>

namespace {

// A termination request (SIGTERM and the like on Linux) ends the event loop like the exit
// sequence does, so the exit line is written and the mutex released.
std::unique_ptr<QSocketNotifier> watchTerminationRequests()
{
    const int fd = platform::terminationRequestFd();
    if (fd < 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QSocketNotifier *raw = notifier.get();
    QObject::connect(raw, &QSocketNotifier::activated, raw, [raw] {
        raw->setEnabled(false);
        QCoreApplication::quit();
    });
    return notifier;
}

// On Windows a program is asked to end by WM_CLOSE: posted to its thread (QProcess::terminate)
// or sent to its top-level windows (taskkill without /F, installers). Qt's own tray icon window
// turns it into a quit, but only once the icon exists and only on Windows' own platform; the
// thread's messages and the hidden window's are taken here, so the request ends the event loop
// as a termination request does, whatever windows there are.
class CloseRequestFilter : public QAbstractNativeEventFilter {
public:
    // The window is created already, so its handle stays as it is.
    explicit CloseRequestFilter(const QWindow &watchWindow)
        : m_watchWindow(static_cast<std::uintptr_t>(watchWindow.winId()))
    {
    }

    bool nativeEventFilter(const QByteArray &, void *message, qintptr *) override
    {
        if (!platform::isCloseRequest(message, m_watchWindow))
            return false;
        QCoreApplication::quit();
        return true;
    }

private:
    std::uintptr_t m_watchWindow;
};

// At the end of the user's session Windows asks every top-level window whether it may end, then
// tells it that it ends and ends the process as soon as that message is answered: the event
// loop never returns. The tray icon's own window is not one of Qt's, so a hidden window of
// Qt's receives the messages; Qt emits aboutToQuit on the second one, and `atSessionEnd` runs
// there.
template <typename Callback>
std::unique_ptr<QWindow> watchSessionEnd(QGuiApplication &app, Callback atSessionEnd)
{
    auto window = std::make_unique<QWindow>();
    window->create();
    auto sessionEnding = std::make_shared<bool>(false);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, window.get(),
                     [sessionEnding](QSessionManager &) { *sessionEnding = true; });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, window.get(), [sessionEnding, atSessionEnd] {
        if (*sessionEnding)
            atSessionEnd();
    });
    return window;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Both names must be set before the log looks for its fallback folder.
    QCoreApplication::setOrganizationName(appName());
    QCoreApplication::setApplicationName(QStringLiteral("DizovuvOdiv"));

    // The name is claimed before the log opens: only the instance that will run may rotate the
    // log, since a rotation moves a running tray's file away from under it.
    const QString mutexNameText = mutexName();
    platform::SingleInstanceMutex mutex = platform::SingleInstanceMutex::create(mutexNameText.toStdString());
    const bool owner = mutex.state() == platform::SingleInstanceMutex::State::Owned;
    const QString logPath = setupLog(owner ? LogRotation::Allowed : LogRotation::Skipped);

    // One pass over all eight values, so a name that itself contains "%7" is kept as written.
    qInfo().noquote() << QStringLiteral("DizovuvOdiv startup: appName=%1 instanceId=%2 serviceName=%3 "
                                        "pipePath=%4 mutexName=%5 applicationDirPath=%6 PID=%7 logPath=%8")
                             .arg(appName(), instanceId(), serviceName(), pipePath(), mutexNameText,
                                  QCoreApplication::applicationDirPath(),
                                  QString::number(platform::currentProcessId()),
                                  logPath.isEmpty() ? QStringLiteral("unavailable") : logPath);

    switch (mutex.state()) {
    case platform::SingleInstanceMutex::State::Failed:
        qCritical() << "DizovuvOdiv mutex creation failed, error=" << mutex.error();
        // Qt's own output (standard error) gets this as well as the log: without it a tray
        // that will not start leaves the user nothing to go on.
        qCritical().noquote() << "DizovuvOdiv cannot create its named objects:"
                              << QString::fromStdString(platform::namedObjectFailureText(mutex.error()));
        shutdownLog();
        return 0;
    case platform::SingleInstanceMutex::State::AlreadyExists:
        qInfo() << "DizovuvOdiv existing instance detected; exiting";
        mutex.release();
        shutdownLog();
        return 0;
    case platform::SingleInstanceMutex::State::Owned:
        break;
    }

    const std::unique_ptr<QSocketNotifier> terminationWatch = watchTerminationRequests();

    QTranslator translator;
    const QString languageCode = currentLanCode();
    const QString translationPath = translationFilePath(languageCode);
    if (translator.load(translationPath, QString(), QString(), QString())) {
        QCoreApplication::installTranslator(&translator);
        qInfo() << "DizovuvOdiv translation loaded:" << languageCode << translationPath;
    } else {
        qWarning() << "DizovuvOdiv translation load failed:" << languageCode << translationPath;
    }

    QGuiApplication::setQuitOnLastWindowClosed(false);

    bool finished = false;
    const auto finish = [&finished, &mutex](int exitCode) {
        if (finished)
            return;
        finished = true;
        qInfo() << "DizovuvOdiv exiting, code=" << exitCode;
        mutex.release();
        shutdownLog();
    };
    const std::unique_ptr<QWindow> sessionWatch = watchSessionEnd(app, [&finish] { finish(0); });
    CloseRequestFilter closeRequests(*sessionWatch);
    app.installNativeEventFilter(&closeRequests);

    int exitCode = 0;
    {
        TrayIcon trayIcon(&translator);
        exitCode = QApplication::exec();
    }
    finish(exitCode);
    return exitCode;
}
