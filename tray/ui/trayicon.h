#pragma once

#include "pipeclient.h"

#include <platform/namedevent.h>

#include <QSystemTrayIcon>

#include <functional>

class QAction;
class QTimer;
class QTranslator;
class ServicePanel;

// The notification-area icon: owns the service link and the status panel, announces
// connection changes, follows language changes and runs the exit sequence.
class TrayIcon : public QSystemTrayIcon {
    Q_OBJECT

public:
    TrayIcon(QTranslator *translator, QObject *parent = nullptr);
    ~TrayIcon() override;

private slots:
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void onStatusUpdated(PipeClient::Status st);
    void onAutoStartRequested(bool enable);
    void onExit();
    void checkLanguageChanged();

private:
    // Shows a balloon message: title, text, icon, duration in milliseconds.
    using BalloonSink =
        std::function<void(const QString &, const QString &, QSystemTrayIcon::MessageIcon, int)>;

    void openPanel();
    void reloadTranslation();
    void buildMenu();
    void regClearTrayRun();

    friend class TrayIconTestAccess;

    ServicePanel *panel = nullptr;
    PipeClient pipeClient;
    bool lastConnected = true;
    platform::NamedEvent exitEvent;
    platform::NamedEvent languageEvent;
    QTimer *languageTimer = nullptr;
    QTranslator *translator = nullptr;
    QAction *showAction = nullptr;
    QAction *exitAction = nullptr;
    // The exit sequence runs nested event loops; a second Exit meanwhile must not start it again.
    bool exitRunning = false;
    // Balloons go through here so that tests can see them where no notification area exists.
    BalloonSink balloonSink;
};
