// The floor of the tray's idle cost: a Qt tray icon with three timers at the tray's intervals
// (status poll 1000 ms, language check 300 ms, running-time clock 200 ms, precise), set up as a
// plain program would, whose slots do nothing. The tray itself makes its clock coarse so that
// its ticks meet the others'; this floor keeps the ticks apart on purpose.
// Usage: bare_tray [ICON_FILE]; prints "shown" once the icon is shown.

#include <QApplication>
#include <QIcon>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTextStream>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QGuiApplication::setQuitOnLastWindowClosed(false);

    const QStringList arguments = QCoreApplication::arguments();
    const QIcon icon = arguments.size() > 1 ? QIcon(arguments.at(1))
                                            : QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
    QSystemTrayIcon tray(icon);

    // Each tick wakes the event loop like the tray's timers do; the slots have nothing to do.
    const auto tick = [] {};
    QTimer poll;
    QTimer language;
    QTimer clock;
    clock.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, tick);
    QObject::connect(&language, &QTimer::timeout, tick);
    QObject::connect(&clock, &QTimer::timeout, tick);
    poll.start(1000);
    language.start(300);
    clock.start(200);

    tray.show();
    QTextStream(stdout) << "shown" << Qt::endl;
    return QApplication::exec();
}
