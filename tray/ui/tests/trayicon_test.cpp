#include "trayharness.h"
#include "trayicontestaccess.h"

#include "activeappdir.h"
#include "config.h"
#include "logcapture.h"
#include "servicepanel.h"
#include "standinservice.h"
#include "testenv.h"

#include <core/skip.h>
#include <installation/names.h>
#include <platform/namedevent.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QScopeGuard>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStyle>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

// Each test gets an application directory, runtime directory and installation of its own.
class TrayIconTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.writeParams(
            {{QStringLiteral("product/appName"), id},
             {QStringLiteral("product/instanceId"), id},
             {QStringLiteral("product/serviceName"), QStringLiteral("Watch Service %1").arg(id)}});
    }

    QString path(const QString &relative) const { return dir.path() + QLatin1Char('/') + relative; }
    // How the log quotes a name: in double quotes, with backslashes doubled.
    static QString quoted(QString name)
    {
        return QLatin1Char('"') + name.replace(QLatin1Char('\\'), QLatin1String("\\\\")) + QLatin1Char('"');
    }
    QStringList trayLines() const { return log.linesStartingWith(QStringLiteral("TrayIcon ")); }

    IsolatedRuntime runtime;
    ActiveAppDir dir;
    const QString id = uniqueInstanceId(QStringLiteral("Tray"));
    LogCapture log;
};

QColor centreColour(const QIcon &icon)
{
    const QImage image = icon.pixmap(28, 28).toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

// ---- construction ----

TEST_F(TrayIconTest, PrefersTheTrayLogoAndLogsEachConstructionStep)
{
    dir.writeFile(QStringLiteral("Skin/Client/custom/tray_logo_28.png"), solidPng(Qt::red));
    dir.writeFile(QStringLiteral("Skin/Client/custom/about_logo.png"), solidPng(Qt::blue));

    TrayIcon tray(nullptr);

    const QStringList expected{QStringLiteral("TrayIcon icon source= \"%1\"")
                                   .arg(path(QStringLiteral("Skin/Client/custom/tray_logo_28.png"))),
                               QStringLiteral("TrayIcon exit event: %1 created= true error= 0")
                                   .arg(quoted(installation::exitRequestEventName(id))),
                               QStringLiteral("TrayIcon language event: %1 created= true error= 0")
                                   .arg(quoted(installation::languageEventName(id))),
                               QStringLiteral("TrayIcon shown")};
    EXPECT_EQ(trayLines(), expected) << log.dump().toStdString();
    EXPECT_EQ(centreColour(tray.icon()), QColor(Qt::red));
    EXPECT_EQ(tray.toolTip(), QStringLiteral("Watch Service %1").arg(id));
    EXPECT_TRUE(tray.isVisible());

    const QList<QAction *> actions = tray.contextMenu()->actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_EQ(actions[0]->text(), QStringLiteral("Show"));
    EXPECT_TRUE(actions[1]->isSeparator());
    EXPECT_EQ(actions[2]->text(), QStringLiteral("Exit"));

    // Both events exist under their shared names, and neither is set at start.
    for (const QString &name :
         {installation::exitRequestEventName(id), installation::languageEventName(id)}) {
        const platform::NamedEvent event =
            platform::NamedEvent::open(name.toStdString(), platform::NamedEvent::Access::Synchronize);
        ASSERT_TRUE(event.valid()) << name.toStdString();
        EXPECT_EQ(event.poll(), platform::NamedEvent::WaitResult::NotSignalled);
    }
}

TEST_F(TrayIconTest, FallsBackToTheAboutLogo)
{
    dir.writeFile(QStringLiteral("Skin/Client/custom/about_logo.png"), solidPng(Qt::blue, 128));

    TrayIcon tray(nullptr);

    EXPECT_EQ(log.countExactly(QStringLiteral("TrayIcon icon source= \"%1\"")
                                   .arg(path(QStringLiteral("Skin/Client/custom/about_logo.png")))),
              1)
        << log.dump().toStdString();
    EXPECT_EQ(centreColour(tray.icon()), QColor(Qt::blue));
}

TEST_F(TrayIconTest, FallsBackToTheSystemIconWithOneWarning)
{
    TrayIcon tray(nullptr);

    EXPECT_EQ(log.countExactly(QStringLiteral("TrayIcon icon source=system fallback; assets missing")), 1);
    EXPECT_TRUE(log.linesStartingWith(QStringLiteral("TrayIcon icon source= ")).isEmpty());
    const QImage expected =
        QApplication::style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32).toImage();
    ASSERT_FALSE(expected.isNull());
    EXPECT_EQ(tray.icon().pixmap(32, 32).toImage(), expected);
}

// ---- autostart entry ----

QString autostartFile(const IsolatedRuntime &runtime, const QString &appName)
{
    return runtime.configHome() +
           QStringLiteral("/autostart/%1.desktop").arg(installation::autostartEntryName(appName));
}

// The user's autostart entry of an installation named `appName`: a desktop file in the
// isolated config home on Linux, a value of the user's Run key on Windows.
#ifdef Q_OS_WIN
const QString runKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");

void addAutostartEntry(const IsolatedRuntime &, const QString &appName)
{
    QSettings(runKey, QSettings::NativeFormat)
        .setValue(installation::autostartEntryName(appName), QStringLiteral("C:\\tray.exe"));
}

bool hasAutostartEntry(const IsolatedRuntime &, const QString &appName)
{
    return QSettings(runKey, QSettings::NativeFormat).contains(installation::autostartEntryName(appName));
}

void removeAutostartEntry(const IsolatedRuntime &, const QString &appName)
{
    QSettings(runKey, QSettings::NativeFormat).remove(installation::autostartEntryName(appName));
}
#else
void addAutostartEntry(const IsolatedRuntime &runtime, const QString &appName)
{
    const QString entry = autostartFile(runtime, appName);
    QDir().mkpath(QFileInfo(entry).absolutePath());
    QFile file(entry);
    if (file.open(QIODevice::WriteOnly))
        file.write("[Desktop Entry]\n");
}

bool hasAutostartEntry(const IsolatedRuntime &runtime, const QString &appName)
{
    return QFile::exists(autostartFile(runtime, appName));
}

void removeAutostartEntry(const IsolatedRuntime &runtime, const QString &appName)
{
    QFile::remove(autostartFile(runtime, appName));
}
#endif

TEST_F(TrayIconTest, DeletesTheAutostartEntryAtEveryStartWithoutALine)
{
    addAutostartEntry(runtime, id);
    ASSERT_TRUE(hasAutostartEntry(runtime, id));
    // Another installation's entry is not ours to delete.
    const QString other = id + QStringLiteral("Other");
    addAutostartEntry(runtime, other);
    const auto removeOther = qScopeGuard([&] { removeAutostartEntry(runtime, other); });

    {
        TrayIcon tray(nullptr);
    }
    EXPECT_FALSE(hasAutostartEntry(runtime, id));
    EXPECT_TRUE(hasAutostartEntry(runtime, other));

    // Absent now: still no line.
    {
        TrayIcon tray(nullptr);
    }
    EXPECT_TRUE(log.linesStartingWith(QStringLiteral("TrayIcon regClearTrayRun")).isEmpty())
        << log.dump().toStdString();
    EXPECT_TRUE(log.linesStartingWith(QStringLiteral("\"TrayIcon regClearTrayRun")).isEmpty());
}

TEST_F(TrayIconTest, ReportsAnAutostartEntryThatCannotBeDeleted)
{
    SKIP_ON_WINDOWS("puts a folder in the entry's place; on Windows that takes a Run value with a denying "
                    "ACL, which Wine does not enforce");
    // A directory in the entry's place cannot be unlinked.
    QDir().mkpath(autostartFile(runtime, id) + QStringLiteral("/inside"));

    TrayIcon tray(nullptr);

    const QStringList lines =
        log.linesStartingWith(QStringLiteral("\"TrayIcon regClearTrayRun: RegDeleteValueW failed, err="));
    ASSERT_EQ(lines.size(), 1) << log.dump().toStdString();
    const QString code = lines.first().section(QLatin1Char('='), 1).chopped(1);
    bool numeric = false;
    const int value = code.toInt(&numeric);
    EXPECT_TRUE(numeric && value != 0 && value != 2) << lines.first().toStdString();
}

TEST_F(TrayIconTest, ReportsAnAutostartFolderThatCannotBeOpened)
{
    SKIP_ON_WINDOWS("puts a file in the autostart folder's place; on Windows that takes a Run key with a "
                    "denying ACL, which Wine does not enforce");
    // A file where the folder should be.
    QFile blocker(runtime.configHome() + QStringLiteral("/autostart"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    TrayIcon tray(nullptr);

    EXPECT_EQ(log.countExactly(QStringLiteral("TrayIcon regClearTrayRun: RegOpenKeyExW failed")), 1)
        << log.dump().toStdString();
}

// ---- the panel ----

QPoint centredOn(const QWidget *panel)
{
    const QRect area = panel->screen()->availableGeometry();
    return {area.x() + (area.width() - panel->width()) / 2, area.y() + (area.height() - panel->height()) / 2};
}

TEST_F(TrayIconTest, ClicksToggleThePanelCentredOnItsScreen)
{
    TrayIcon tray(nullptr);
    ServicePanel *panel = TrayIconTestAccess::panel(tray);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->parent(), nullptr);
    EXPECT_FALSE(panel->isVisible());
    const QString opened = QStringLiteral("TrayIcon panel opened");

    emit tray.activated(QSystemTrayIcon::Trigger);
    ASSERT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->pos(), centredOn(panel));
    EXPECT_NE(panel->pos(), QPoint(0, 0));
    EXPECT_EQ(log.countExactly(opened), 1);

    emit tray.activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(panel->isVisible());

    // Wherever it was dragged, it reopens centred.
    panel->move(3, 4);
    emit tray.activated(QSystemTrayIcon::DoubleClick);
    ASSERT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->pos(), centredOn(panel));
    EXPECT_EQ(log.countExactly(opened), 2);

    // The context menu, the middle button and unknown activations leave it as it is.
    for (const auto reason :
         {QSystemTrayIcon::Context, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown}) {
        emit tray.activated(reason);
        EXPECT_TRUE(panel->isVisible()) << int(reason);
    }
    emit tray.activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(panel->isVisible());
    for (const auto reason :
         {QSystemTrayIcon::Context, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown}) {
        emit tray.activated(reason);
        EXPECT_FALSE(panel->isVisible()) << int(reason);
    }
    EXPECT_EQ(log.countExactly(opened), 2);
}

TEST_F(TrayIconTest, DoubleClickLeavesThePanelShown)
{
    TrayIcon tray(nullptr);
    ServicePanel *panel = TrayIconTestAccess::panel(tray);
    ASSERT_NE(panel, nullptr);
    // A double click reports its first click, then the double click, from either state.
    for (const bool shownBefore : {false, true}) {
        ASSERT_EQ(panel->isVisible(), shownBefore);
        emit tray.activated(QSystemTrayIcon::Trigger);
        emit tray.activated(QSystemTrayIcon::DoubleClick);
        EXPECT_TRUE(panel->isVisible()) << shownBefore;
    }
}

TEST_F(TrayIconTest, ShowEntryOpensAndKeepsThePanelOpen)
{
    TrayIcon tray(nullptr);
    ServicePanel *panel = TrayIconTestAccess::panel(tray);
    QAction *show = TrayIconTestAccess::showAction(tray);
    ASSERT_NE(show, nullptr);

    show->trigger();
    ASSERT_TRUE(panel->isVisible());
    panel->move(5, 6);
    show->trigger();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->pos(), centredOn(panel));
    EXPECT_EQ(log.countExactly(QStringLiteral("TrayIcon panel opened")), 2);
    EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == panel; }, 2000));
}

// ---- connection changes and balloons ----

TEST_F(TrayIconTest, ServiceAbsentFromTheStartIsAnnouncedOnce)
{
    TrayIcon tray(nullptr);
    QList<TrayIconTestAccess::Balloon> balloons;
    TrayIconTestAccess::recordBalloons(tray, &balloons);
    QSignalSpy statuses(&TrayIconTestAccess::pipeClient(tray), &PipeClient::statusUpdated);

    // Several offline statuses in a row: the first one is announced, the rest are not.
    ASSERT_TRUE(waitUntil([&] { return statuses.count() >= 3; }, 20000));
    ASSERT_EQ(balloons.size(), 1);
    EXPECT_EQ(balloons[0].title, QString());
    EXPECT_EQ(balloons[0].text, QStringLiteral("Service stopped"));
    EXPECT_EQ(balloons[0].icon, QSystemTrayIcon::Warning);
    EXPECT_EQ(balloons[0].durationMs, 2000);
    EXPECT_EQ(log.linesStartingWith(QStringLiteral("TrayIcon Watch pipe")),
              QStringList{QStringLiteral("TrayIcon Watch pipe connection changed: offline")});
}

TEST_F(TrayIconTest, ConnectionChangesAreAnnouncedOnlyOnTransitions)
{
    StandInService service{id};
    service.setHttpPort(0);
    ASSERT_TRUE(service.start());

    TrayIcon tray(nullptr);
    QList<TrayIconTestAccess::Balloon> balloons;
    TrayIconTestAccess::recordBalloons(tray, &balloons);
    PipeClient &link = TrayIconTestAccess::pipeClient(tray);
    QSignalSpy statuses(&link, &PipeClient::statusUpdated);

    // Connected from the first status on: nothing to announce.
    ASSERT_TRUE(waitUntil([&] { return statuses.count() >= 2; }, 10000));
    EXPECT_TRUE(link.lastStatus().connected);
    EXPECT_TRUE(balloons.isEmpty());
    EXPECT_TRUE(log.linesStartingWith(QStringLiteral("TrayIcon Watch pipe")).isEmpty());

    service.kill();
    // Three failed cycles and the confirmation, each exchange about 3 s against a gone service.
    ASSERT_TRUE(waitUntil([&] { return !balloons.isEmpty(); }, 30000));
    EXPECT_EQ(balloons[0].text, QStringLiteral("Service stopped"));
    EXPECT_EQ(balloons[0].icon, QSystemTrayIcon::Warning);

    ASSERT_TRUE(service.start());
    ASSERT_TRUE(waitUntil([&] { return balloons.size() >= 2; }, 15000));
    EXPECT_EQ(balloons[1].title, QString());
    EXPECT_EQ(balloons[1].text, QStringLiteral("Service running"));
    EXPECT_EQ(balloons[1].icon, QSystemTrayIcon::Information);
    EXPECT_EQ(balloons[1].durationMs, 2000);

    const int seen = statuses.count();
    ASSERT_TRUE(waitUntil([&] { return statuses.count() >= seen + 2; }, 10000));
    EXPECT_EQ(balloons.size(), 2);
    EXPECT_EQ(log.linesStartingWith(QStringLiteral("TrayIcon Watch pipe")),
              (QStringList{QStringLiteral("TrayIcon Watch pipe connection changed: offline"),
                           QStringLiteral("TrayIcon Watch pipe connection changed: connected")}));
    service.kill();
}

TEST_F(TrayIconTest, AutoStartChoiceReachesTheService)
{
    StandInService service{id};
    service.setHttpPort(0);
    ASSERT_TRUE(service.start({QStringLiteral("--autostart"), QStringLiteral("false")}));
    TrayIcon tray(nullptr);
    PipeClient &link = TrayIconTestAccess::pipeClient(tray);
    ASSERT_TRUE(waitUntil([&] { return link.lastStatus().connected; }, 10000));

    emit TrayIconTestAccess::panel(tray)->autoStartRequested(true);

    EXPECT_EQ(log.countExactly(QStringLiteral("TrayIcon auto-start user request: enable= true")), 1)
        << log.dump().toStdString();
    // The service itself reports the new value from then on.
    QString output;
    EXPECT_TRUE(waitUntil(
        [&] {
            output = service.lines().join(QLatin1Char('\n'));
            const qsizetype set = output.indexOf(QStringLiteral("request SET_AUTOSTART"));
            return set >= 0 &&
                   output.indexOf(QStringLiteral("request GET_STATUS -> {\"autoStart\":true"), set) > set;
        },
        10000))
        << output.toStdString();
    service.kill();
}

// ---- language changes ----

void setLanguage(const QString &code)
{
    QSettings params(applicationDir() + QStringLiteral("/params.ini"), QSettings::IniFormat);
    params.setValue(QStringLiteral("language/currentLanCode"), code);
    params.sync();
}

// Sets the language event from another process, as the product's language switch does.
void setLanguageEventFromOutside(const QString &id, int times = 1)
{
    for (int i = 0; i < times; ++i) {
        QProcess setter;
        setter.start(clientSimPath(), {QStringLiteral("set"), installation::languageEventName(id)});
        ASSERT_TRUE(setter.waitForFinished(5000));
        ASSERT_EQ(setter.exitCode(), 0) << setter.readAllStandardError().toStdString();
    }
}

TEST_F(TrayIconTest, LanguageEventReloadsTheTranslationOnce)
{
    dir.addAssets();
    const QString germanFile = path(QStringLiteral("translation/Client/de_DE.qm"));
    QTranslator reference;
    ASSERT_TRUE(reference.load(germanFile)) << germanFile.toStdString();
    const QString germanShow = reference.translate("TrayIcon", "Show");
    const QString germanExit = reference.translate("TrayIcon", "Exit");
    ASSERT_FALSE(germanShow.isEmpty());
    ASSERT_NE(germanShow, QStringLiteral("Show"));

    QTranslator translator;
    TrayIcon tray(&translator);
    QAction *show = TrayIconTestAccess::showAction(tray);
    QAction *exit = TrayIconTestAccess::exitAction(tray);
    ASSERT_EQ(show->text(), QStringLiteral("Show"));

    setLanguage(QStringLiteral("de_DE"));
    // Set twice before the tray looks: one reload.
    setLanguageEventFromOutside(id, 2);
    const QString reloaded =
        QStringLiteral("TrayIcon translation reloaded: \"de_DE\" \"%1\"").arg(germanFile);
    ASSERT_TRUE(waitUntil([&] { return log.countExactly(reloaded) == 1; }, 5000)) << log.dump().toStdString();
    EXPECT_EQ(show->text(), germanShow);
    EXPECT_EQ(exit->text(), germanExit);
    waitUntil([] { return false; }, 800); // several more polls
    EXPECT_EQ(log.countExactly(QStringLiteral("TrayIcon language change event received")), 1);
    EXPECT_EQ(log.countExactly(reloaded), 1);

    // The event was reset, so another process sees it clear.
    const platform::NamedEvent event = platform::NamedEvent::open(
        installation::languageEventName(id).toStdString(), platform::NamedEvent::Access::Synchronize);
    EXPECT_EQ(event.poll(), platform::NamedEvent::WaitResult::NotSignalled);

    // A language without a file: warning, and the source texts again.
    setLanguage(QStringLiteral("xx_XX"));
    setLanguageEventFromOutside(id);
    const QString failed = QStringLiteral("TrayIcon translation reload failed: \"xx_XX\" \"%1\"")
                               .arg(path(QStringLiteral("translation/Client/xx_XX.qm")));
    ASSERT_TRUE(waitUntil([&] { return log.countExactly(failed) == 1; }, 5000)) << log.dump().toStdString();
    EXPECT_EQ(show->text(), QStringLiteral("Show"));
    EXPECT_EQ(exit->text(), QStringLiteral("Exit"));
    EXPECT_EQ(log.countExactly(QStringLiteral("TrayIcon language change event received")), 2);
}

TEST_F(TrayIconTest, LanguageEventWithoutTranslatorIsStillResetAndLogged)
{
    TrayIcon tray(nullptr);
    setLanguageEventFromOutside(id);

    ASSERT_TRUE(waitUntil(
        [&] { return log.countExactly(QStringLiteral("TrayIcon language change event received")) == 1; },
        5000));
    const platform::NamedEvent event = platform::NamedEvent::open(
        installation::languageEventName(id).toStdString(), platform::NamedEvent::Access::Synchronize);
    EXPECT_EQ(event.poll(), platform::NamedEvent::WaitResult::NotSignalled);
    EXPECT_TRUE(log.linesStartingWith(QStringLiteral("TrayIcon translation")).isEmpty());
    EXPECT_EQ(TrayIconTestAccess::showAction(tray)->text(), QStringLiteral("Show"));
}

} // namespace
