#pragma once

#include <QCoreApplication>

class PipeClient;
class QWidget;

namespace platform {
class NamedEvent;
}

// One run of the tray's way out: finds a running client and an active recording plan, asks the
// user, closes the client (by request through the exit-request event, then by force) and stops
// the background service. Runs on the GUI thread and blocks it while it waits.
class ExitSequence {
    // Its texts are the tray icon's: the translations hold them under that name.
    Q_DECLARE_TR_FUNCTIONS(TrayIcon)

public:
    // exitEvent may be invalid (its creation failed at start); the dialogs open over dialogParent.
    ExitSequence(PipeClient &pipeClient, platform::NamedEvent &exitEvent, QWidget *dialogParent);

    // False when the user declined: then nothing was changed. True once the client is closed and
    // the service asked to stop, whatever came of either.
    bool run();

private:
    static QString question(bool clientRunning, bool recordingPlanActive);
    bool stopService();

    PipeClient &m_pipeClient;
    platform::NamedEvent &m_exitEvent;
    QWidget *m_dialogParent;
};
