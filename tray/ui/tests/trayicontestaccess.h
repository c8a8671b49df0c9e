#pragma once

#include "trayicon.h"

class QAction;

// Reaches into TrayIcon for the tests: its panel, its service link and its private slots.
class TrayIconTestAccess {
public:
    static ServicePanel *panel(TrayIcon &tray) { return tray.panel; }
    static PipeClient &pipeClient(TrayIcon &tray) { return tray.pipeClient; }
    static QAction *showAction(TrayIcon &tray) { return tray.showAction; }
    static QAction *exitAction(TrayIcon &tray) { return tray.exitAction; }
    static void exit(TrayIcon &tray) { tray.onExit(); }
    // As if creating the exit-request event had failed at start.
    static void dropExitEvent(TrayIcon &tray) { tray.exitEvent = platform::NamedEvent(); }

    struct Balloon {
        QString title;
        QString text;
        QSystemTrayIcon::MessageIcon icon;
        int durationMs;
    };
    static void recordBalloons(TrayIcon &tray, QList<Balloon> *into)
    {
        tray.balloonSink = [into](const QString &title, const QString &text,
                                  QSystemTrayIcon::MessageIcon icon, int ms) {
            into->append({title, text, icon, ms});
        };
    }
};
