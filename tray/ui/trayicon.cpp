#include "trayicon.h"

#include "config.h"
#include "exitsequence.h"
#include "servicepanel.h"

#include <platform/autostart.h>

#include <QAction>
#include <QApplication>
#include <QDebug>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QTranslator>

#include <utility>

namespace {

constexpr int kLanguagePollMs = 300;
constexpr int kStatusPollMs = 1000;
constexpr int kBalloonMs = 2000;

platform::NamedEvent createLoggedEvent(const char *label, const QString &name,
                                       platform::NamedEvent::Security security)
{
    platform::NamedEvent event = platform::NamedEvent::create(name.toStdString(), security);
    const bool created = event.valid();
    qInfo() << label << name << "created=" << created << "error=" << (created ? 0 : event.error());
    return event;
}

} // namespace

TrayIcon::TrayIcon(QTranslator *installedTranslator, QObject *parent)
    : QSystemTrayIcon(parent), translator(installedTranslator)
{
    balloonSink = [this](const QString &title, const QString &text, MessageIcon icon, int ms) {
        showMessage(title, text, icon, ms);
    };

    bool iconSet = false;
    for (const QString &candidate : {clientAssetPath(QStringLiteral("custom/tray_logo_28.png")),
                                     clientAssetPath(QStringLiteral("custom/about_logo.png"))}) {
        if (QFile::exists(candidate)) {
            setIcon(QIcon(candidate));
            qInfo() << "TrayIcon icon source=" << candidate;
            iconSet = true;
            break;
        }
    }
    if (!iconSet) {
        setIcon(QApplication::style()->standardIcon(QStyle::SP_ComputerIcon));
        qWarning() << "TrayIcon icon source=system fallback; assets missing";
    }

    setToolTip(serviceName());

    exitEvent = createLoggedEvent("TrayIcon exit event:", exitRequestEventName(),
                                  platform::NamedEvent::Security::Default);
    languageEvent = createLoggedEvent("TrayIcon language event:", languageEventName(),
                                      platform::NamedEvent::Security::AnyLocalUserMaySet);

    languageTimer = new QTimer(this);
    languageTimer->setInterval(kLanguagePollMs);
    connect(languageTimer, &QTimer::timeout, this, &TrayIcon::checkLanguageChanged);
    languageTimer->start();

    panel = new ServicePanel(nullptr);
    buildMenu();
    regClearTrayRun();

    connect(this, &QSystemTrayIcon::activated, this, &TrayIcon::onActivated);
    connect(panel, &ServicePanel::closeRequested, this, &TrayIcon::onExit);
    connect(panel, &ServicePanel::autoStartRequested, this, &TrayIcon::onAutoStartRequested);
    connect(&pipeClient, &PipeClient::statusUpdated, this, &TrayIcon::onStatusUpdated);

    pipeClient.start(kStatusPollMs);

    show();
    qInfo() << "TrayIcon shown";
}

// The menu and the panel have no Qt parent; they go with the icon at the end of the run.
TrayIcon::~TrayIcon()
{
    delete contextMenu();
    delete std::exchange(panel, nullptr);
}

void TrayIcon::buildMenu()
{
    auto *menu = new QMenu();
    showAction = menu->addAction(tr("Show"));
    connect(showAction, &QAction::triggered, this, &TrayIcon::openPanel);
    menu->addSeparator();
    exitAction = menu->addAction(tr("Exit"));
    connect(exitAction, &QAction::triggered, this, &TrayIcon::onExit);
    setContextMenu(menu);
}

void TrayIcon::regClearTrayRun()
{
    const platform::AutostartRemoval removal =
        platform::removeAutostartEntry(autostartEntryName().toStdString());
    switch (removal.outcome) {
    case platform::AutostartRemoval::Outcome::Removed:
    case platform::AutostartRemoval::Outcome::Absent:
        break;
    case platform::AutostartRemoval::Outcome::OpenFailed:
        qWarning() << "TrayIcon regClearTrayRun: RegOpenKeyExW failed";
        break;
    case platform::AutostartRemoval::Outcome::DeleteFailed:
        qWarning()
            << QStringLiteral("TrayIcon regClearTrayRun: RegDeleteValueW failed, err=%1").arg(removal.error);
        break;
    }
}

void TrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick)
        return;
    if (!panel)
        return;
    // The first click of a double click has toggled the panel already; the double click only
    // makes sure it is shown, so that it does not close again at once.
    if (reason == QSystemTrayIcon::Trigger && panel->isVisible())
        panel->hide();
    else
        openPanel();
}

void TrayIcon::openPanel()
{
    if (!panel)
        return;
    qInfo() << "TrayIcon panel opened";
    QScreen *screen = panel->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        panel->move(area.x() + (area.width() - panel->width()) / 2,
                    area.y() + (area.height() - panel->height()) / 2);
    }
    panel->showNormal();
    panel->activateWindow();
    panel->raise();
}

void TrayIcon::onStatusUpdated(PipeClient::Status st)
{
    if (st.connected != lastConnected) {
        lastConnected = st.connected;
        qInfo() << "TrayIcon Watch pipe connection changed:" << (st.connected ? "connected" : "offline");
        if (st.connected)
            balloonSink(QString(), tr("Service running"), QSystemTrayIcon::Information, kBalloonMs);
        else
            balloonSink(QString(), tr("Service stopped"), QSystemTrayIcon::Warning, kBalloonMs);
    }
    if (panel)
        panel->applyStatus(st);
}

void TrayIcon::onAutoStartRequested(bool enable)
{
    qInfo() << "TrayIcon auto-start user request: enable=" << enable;
    pipeClient.setAutoStart(enable);
}

void TrayIcon::onExit()
{
    if (exitRunning)
        return;
    exitRunning = true;
    if (!ExitSequence(pipeClient, exitEvent, panel).run()) {
        exitRunning = false;
        return;
    }
    if (panel) {
        panel->deleteLater();
        panel = nullptr;
    }
    QCoreApplication::quit();
}

void TrayIcon::checkLanguageChanged()
{
    if (!languageEvent.valid() || languageEvent.poll() != platform::NamedEvent::WaitResult::Signalled)
        return;
    languageEvent.reset();
    qInfo() << "TrayIcon language change event received";
    reloadTranslation();
}

void TrayIcon::reloadTranslation()
{
    if (!translator)
        return;
    QCoreApplication::removeTranslator(translator);
    const QString code = currentLanCode();
    const QString path = translationFilePath(code);
    if (translator->load(path, QString(), QString(), QString())) {
        QCoreApplication::installTranslator(translator);
        qInfo() << "TrayIcon translation reloaded:" << code << path;
    } else {
        qWarning() << "TrayIcon translation reload failed:" << code << path;
    }
    if (showAction)
        showAction->setText(tr("Show"));
    if (exitAction)
        exitAction->setText(tr("Exit"));
    if (panel)
        panel->retranslate();
}
