// The floors of the tray's idle cost (tray_vs_bare.sh).
//
// bare_tray ICON_FILE: a Qt tray icon with three timers at the tray's intervals (status poll
// 1000 ms, language check 300 ms, running-time clock 200 ms, precise), set up as a plain
// program would, whose slots do nothing.
//
// bare_tray ICON_FILE --poll PIPE PARAMS_FILE: the floor of the tray's design instead. The
// timers are set up as the tray sets them (the clock coarse, so that ticks meet), and each poll
// tick does what the design cannot leave out: a new thread (the last one joined first) that
// reads PARAMS_FILE whole and makes one GET_STATUS exchange over PIPE through the OS layer,
// then hands the answer back to the GUI thread by a queued call, which decodes the JSON.
//
// Prints "shown" once the icon is shown.

#include "platform/filecontents.h"
#include "platform/pipe.h"

#include <QApplication>
#include <QIcon>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTextStream>
#include <QTimer>

#include <atomic>
#include <string>
#include <thread>

namespace {

QByteArray exchangeStatus(const std::string &pipe, const std::string &paramsFile)
{
    platform::FileContents params;
    platform::ErrorCode error = 0;
    platform::readRegularFile(paramsFile, params, error);
    platform::PipeConnection connection = platform::PipeConnection::open(pipe);
    if (!connection.valid())
        return {};
    static const char request[] = "{\"cmd\":\"GET_STATUS\"}\n";
    if (!connection.write(request, sizeof request - 1, error))
        return {};
    char buffer[4096];
    const platform::PipeConnection::ReadResult got = connection.read(buffer, sizeof buffer - 1, 3000);
    return got.ok ? QByteArray(buffer, int(got.bytes)) : QByteArray();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QGuiApplication::setQuitOnLastWindowClosed(false);

    const QStringList arguments = QCoreApplication::arguments();
    const QIcon icon = arguments.size() > 1 ? QIcon(arguments.at(1))
                                            : QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
    const bool designFloor = arguments.size() == 5 && arguments.at(2) == QLatin1String("--poll");
    const std::string pipe = designFloor ? arguments.at(3).toStdString() : std::string();
    const std::string paramsFile = designFloor ? arguments.at(4).toStdString() : std::string();
    QSystemTrayIcon tray(icon);

    // The language and clock ticks wake the event loop as the tray's do; their slots have
    // nothing to do.
    const auto tick = [] {};
    QTimer poll;
    QTimer language;
    QTimer clock;
    if (!designFloor)
        clock.setTimerType(Qt::PreciseTimer);
    std::thread worker;
    std::atomic<bool> inFlight{false};
    qsizetype decodedKeys = 0; // used, so the decode cannot be optimised away
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        // As in the tray, a tick while an exchange runs is dropped.
        if (!designFloor || inFlight.exchange(true))
            return;
        if (worker.joinable())
            worker.join();
        worker = std::thread([&] {
            const QByteArray answer = exchangeStatus(pipe, paramsFile);
            QMetaObject::invokeMethod(
                &app,
                [&, answer] {
                    decodedKeys += QJsonDocument::fromJson(answer).object().size();
                    inFlight = false;
                },
                Qt::QueuedConnection);
        });
    });
    QObject::connect(&language, &QTimer::timeout, tick);
    QObject::connect(&clock, &QTimer::timeout, tick);
    poll.start(1000);
    language.start(300);
    clock.start(200);

    tray.show();
    QTextStream(stdout) << "shown" << Qt::endl;
    const int result = QApplication::exec();
    if (worker.joinable())
        worker.join();
    return result;
}
