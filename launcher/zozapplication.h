#pragma once

#include "platform/namedevent.h"
#include "platform/namedmutex.h"

#include <QApplication>

#include <optional>

class QLocalServer;
class QTimer;

// The client's application object: keeps a second client from running, through a local
// socket server named after the installation, and closes every window when the tray asks the
// client to end.
class ZozApplication : public QApplication {
    Q_OBJECT
public:
    ZozApplication(int &argc, char **argv);
    ~ZozApplication() override;

    // True when another client runs for installation `instanceId` (the user has been told);
    // false when this process is now the installation's client.
    bool isAnotherInstanceRunning(const QString &instanceId);
    // Gives the name up so that a restarted client can serve it.
    void releaseLocalServer();

    // True from the moment the tray's exit request has been seen: no window may open any more.
    bool trayExitRequested() const { return m_trayExitRequested; }
    // Looks at the exit request at once, as the next poll would, and answers as above. The
    // poll runs only while events are processed; a request that is already set must be seen
    // before a window is created, not after it has appeared.
    bool checkTrayExitRequestNow();

private slots:
    void newLocalSocketConnection();
    void checkTrayExitRequest();

private:
    QLocalServer *m_localServer = nullptr;
    QTimer *m_trayExitTimer = nullptr;
    platform::NamedEvent m_trayExitEvent;
    std::optional<platform::SingleInstanceMutex> m_instanceClaim;
    bool m_trayExitRequested = false;
};
