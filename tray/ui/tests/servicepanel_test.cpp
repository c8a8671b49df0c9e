#include "activeappdir.h"
#include "config.h"
#include "logcapture.h"
#include "panelstate.h"
#include "servicepanel.h"
#include "testenv.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

#include <gtest/gtest.h>

#include <memory>

namespace {

using Status = PipeClient::Status;
using Process = PipeClient::ProcessInfo;

Status connected(qint64 uptime, QList<Process> processes = {}, bool autoStart = false)
{
    Status st;
    st.connected = true;
    st.uptime = uptime;
    st.autoStart = autoStart;
    st.processes = std::move(processes);
    return st;
}

Status offline(QList<Process> processes = {})
{
    Status st;
    st.processes = std::move(processes);
    return st;
}

QList<Process> fourStopped()
{
    return {{"Main", 7001, false}, {"Database", 7002, false}, {"Web", 7003, false}, {"Cache", 7004, false}};
}

// Colour a label draws its text in, once its style sheet has been applied.
QColor textColor(QLabel *label)
{
    label->ensurePolished();
    return label->palette().color(label->foregroundRole());
}

bool sameColor(const QColor &a, const QColor &b, int tolerance = 6)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

bool isWhite(const QColor &c)
{
    return c.red() > 235 && c.green() > 235 && c.blue() > 235;
}

// Two points of the 18x18 status picture: one inside the disc away from both marks, and the
// bottom of the tick, which the cross does not cover.
constexpr QPoint kDiscPoint(3, 9);
constexpr QPoint kTickPoint(8, 11);
constexpr QPoint kCrossPoint(7, 7);

// Every panel test runs in an application directory of its own holding the shipped skin.
class PanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(app.isValid());
        app.addAssets();
        panel = std::make_unique<ServicePanel>();
        // The running time is drawn only on a visible panel, as a person sees it.
        panel->show();
    }

    void TearDown() override { panel.reset(); }

    QLabel *label(const char *name) const { return panel->findChild<QLabel *>(QLatin1String(name)); }
    QString text(const char *name) const { return label(name)->text(); }
    QLabel *row(const char *column, int i) const
    {
        return panel->findChild<QLabel *>(QStringLiteral("%1%2").arg(QLatin1String(column)).arg(i));
    }
    QCheckBox *checkBox() const { return panel->findChild<QCheckBox *>(QStringLiteral("autoStartCheckBox")); }
    QImage statusIcon() const { return label("statusIconLabel")->pixmap().toImage(); }
    QString clock() const { return text("runningTimeValueLabel"); }

    ActiveAppDir app;
    std::unique_ptr<ServicePanel> panel;
};

} // namespace

// ---- pure rules ------------------------------------------------------------------------------

TEST(PanelRules, HeaderStateFollowsConnectionProcessesAndRestartFlag)
{
    EXPECT_EQ(panelHeaderState(offline()), HeaderStopped);
    EXPECT_EQ(panelHeaderState(offline({{"Main", 1, true}})), HeaderStopped);
    EXPECT_EQ(panelHeaderState(connected(0)), HeaderRunning);
    EXPECT_EQ(panelHeaderState(connected(0, fourStopped())), HeaderStopped);

    Status threeStopped = connected(0, fourStopped().mid(0, 3));
    EXPECT_EQ(panelHeaderState(threeStopped), HeaderRunning);
    threeStopped.restarting = true;
    EXPECT_EQ(panelHeaderState(threeStopped), HeaderRestarting);

    // Only the first four count: a running fifth process does not make the service run.
    QList<Process> five = fourStopped();
    five.append({"Extra", 7005, true});
    EXPECT_EQ(panelHeaderState(connected(0, five)), HeaderStopped);

    QList<Process> oneRunning = fourStopped();
    oneRunning[3].running = true;
    Status restarting = connected(0, oneRunning);
    restarting.restarting = true;
    EXPECT_EQ(panelHeaderState(restarting), HeaderRestarting);
}

TEST(PanelRules, RunningTimeTextIsZeroFilledCappedAndNeverNegative)
{
    const struct {
        qint64 seconds;
        const char *text;
    } cases[] = {
        {0, "00:00:00"},         {59, "00:00:59"},          {3599, "00:59:59"},      {3725, "01:02:05"},
        {359999, "99:59:59"},    {360000, "100:00:00"},     {8639998, "2399:59:58"}, {8639999, "2399:59:59"},
        {8640000, "2399:59:59"}, {1LL << 40, "2399:59:59"}, {-1, "00:00:00"},        {-3725, "00:00:00"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(runningTimeText(c.seconds), QLatin1String(c.text)) << c.seconds;
}

// ---- header ----------------------------------------------------------------------------------

TEST_F(PanelTest, StartsStoppedWithGreyCrossAndNoRunningTime)
{
    const ThemeColors &colors = themeColors();
    EXPECT_EQ(text("statusTextLabel"), "Service not running");
    EXPECT_TRUE(sameColor(textColor(label("statusTextLabel")), colors.defaultRedColor));
    const QImage icon = statusIcon();
    ASSERT_EQ(icon.size(), QSize(18, 18));
    EXPECT_TRUE(sameColor(icon.pixelColor(kDiscPoint), colors.stoppedIconColor));
    EXPECT_TRUE(isWhite(icon.pixelColor(kCrossPoint)));
    EXPECT_FALSE(isWhite(icon.pixelColor(kTickPoint)));
    EXPECT_EQ(clock(), "--:--:--");
    EXPECT_FALSE(checkBox()->isEnabled());
    EXPECT_EQ(text("titleLabel"), "Orlune Service Management");
}

TEST_F(PanelTest, ConnectedShowsGreenTickEmptyRowsAndCountingClock)
{
    panel->applyStatus(connected(3725, {}, true));

    const ThemeColors &colors = themeColors();
    EXPECT_EQ(text("statusTextLabel"), "Service running");
    EXPECT_TRUE(sameColor(textColor(label("statusTextLabel")), colors.customGreen));
    const QImage icon = statusIcon();
    EXPECT_TRUE(sameColor(icon.pixelColor(kDiscPoint), colors.customGreen));
    EXPECT_TRUE(isWhite(icon.pixelColor(kTickPoint)));
    EXPECT_FALSE(isWhite(icon.pixelColor(kCrossPoint)));
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(row("nameLabel", i)->text().isEmpty());
        EXPECT_TRUE(row("portLabel", i)->text().isEmpty());
        EXPECT_TRUE(row("stateLabel", i)->text().isEmpty());
    }
    EXPECT_EQ(clock(), "01:02:05");
    EXPECT_TRUE(checkBox()->isEnabled());
    EXPECT_TRUE(checkBox()->isChecked());
    EXPECT_TRUE(waitUntil([&] { return clock() == "01:02:06"; }, 2500));
}

TEST_F(PanelTest, RestartingShowsYellowCross)
{
    Status st = connected(10);
    st.restarting = true;
    panel->applyStatus(st);

    const QColor yellow = themeColors().restartingColor;
    EXPECT_EQ(text("statusTextLabel"), "Service restarting...");
    EXPECT_TRUE(sameColor(textColor(label("statusTextLabel")), yellow));
    EXPECT_TRUE(sameColor(statusIcon().pixelColor(kDiscPoint), yellow));
    EXPECT_TRUE(isWhite(statusIcon().pixelColor(kCrossPoint)));
}

TEST_F(PanelTest, FourProcessesNoneRunningIsStoppedEvenWhileConnected)
{
    panel->applyStatus(connected(10));
    panel->applyStatus(connected(11, fourStopped()));

    const ThemeColors &colors = themeColors();
    EXPECT_EQ(text("statusTextLabel"), "Service not running");
    EXPECT_TRUE(sameColor(textColor(label("statusTextLabel")), colors.defaultRedColor));
    EXPECT_TRUE(sameColor(statusIcon().pixelColor(kDiscPoint), colors.stoppedIconColor));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(row("nameLabel", i)->text(), fourStopped().at(i).name);
        EXPECT_EQ(row("stateLabel", i)->text(), "Service not running");
        EXPECT_TRUE(sameColor(textColor(row("stateLabel", i)), colors.defaultRedColor));
    }
    // The connection still counts: the clock runs and the switch is usable.
    EXPECT_EQ(clock(), "00:00:10");
    EXPECT_TRUE(checkBox()->isEnabled());
}

TEST_F(PanelTest, ThreeProcessesNoneRunningFollowsTheRestartFlag)
{
    panel->applyStatus(connected(5, fourStopped().mid(0, 3)));
    EXPECT_EQ(text("statusTextLabel"), "Service running");
    EXPECT_TRUE(row("nameLabel", 3)->text().isEmpty());

    Status st = connected(6, fourStopped().mid(0, 3));
    st.restarting = true;
    panel->applyStatus(st);
    EXPECT_EQ(text("statusTextLabel"), "Service restarting...");
}

TEST_F(PanelTest, RetranslateRedrawsEveryTextInTheNewLanguage)
{
    panel->applyStatus(connected(5, {{"Main", 80, true}}));
    QTranslator translator;
    ASSERT_TRUE(translator.load(translationFilePath("de_DE")));
    QCoreApplication::installTranslator(&translator);
    panel->retranslate();
    QCoreApplication::removeTranslator(&translator);

    EXPECT_EQ(text("titleLabel"), "Orlune Dienstverwaltung");
    EXPECT_EQ(text("systemNameLabel"), "Kundenverwaltungssystem");
    EXPECT_EQ(text("runningTimeLabel"), "Laufzeit");
    EXPECT_EQ(checkBox()->text(), "Autostart");
    EXPECT_EQ(text("statusTextLabel"), QString::fromUtf8("Dienst läuft"));
    EXPECT_EQ(row("stateLabel", 0)->text(), QString::fromUtf8("Dienst läuft"));
    EXPECT_TRUE(sameColor(textColor(label("statusTextLabel")), themeColors().customGreen));
}

// ---- process rows ----------------------------------------------------------------------------

TEST_F(PanelTest, RowsShowPortsAndStatesAndHideMissingPorts)
{
    panel->applyStatus(connected(1, {{"Main", 8080, true},
                                     {"Database", 0, false},
                                     {"Web", -443, true},
                                     {"Cache", 1, false},
                                     {"Hidden", 9999, true}}));

    const ThemeColors &colors = themeColors();
    EXPECT_EQ(row("nameLabel", 0)->text(), "Main");
    EXPECT_EQ(row("portLabel", 0)->text(), "8080");
    EXPECT_EQ(row("portLabel", 1)->text(), "--");
    EXPECT_EQ(row("portLabel", 2)->text(), "--");
    EXPECT_EQ(row("portLabel", 3)->text(), "1");
    EXPECT_EQ(row("stateLabel", 0)->text(), "Service running");
    EXPECT_TRUE(sameColor(textColor(row("stateLabel", 0)), colors.customGreen));
    EXPECT_EQ(row("stateLabel", 1)->text(), "Service not running");
    EXPECT_TRUE(sameColor(textColor(row("stateLabel", 1)), colors.defaultRedColor));
    for (int i = 0; i < 4; ++i)
        EXPECT_NE(row("nameLabel", i)->text(), "Hidden");
}

TEST_F(PanelTest, ServiceTextIsShownAsWrittenNeverAsMarkup)
{
    const QString heading = QStringLiteral("<h1>Big</h1>");
    const QString image =
        QStringLiteral("<img src=\"%1\">").arg(app.path() + "/Skin/Client/custom/tray_logo_28.png");
    panel->applyStatus(connected(1, {{heading, 8080, true}, {image, 8081, true}}));

    // Drawn as markup, the heading would be a large title and the image a picture: the rows
    // would grow higher than a row of plain text.
    const int plainHeight = row("portLabel", 0)->sizeHint().height();
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(row("nameLabel", i)->sizeHint().height(), plainHeight) << i;
    EXPECT_EQ(row("nameLabel", 0)->text(), heading);
}

TEST_F(PanelTest, ConnectedStatusClearsRowsItDoesNotCover)
{
    panel->applyStatus(connected(1, fourStopped()));
    panel->applyStatus(connected(2, {{"Only", 81, true}}));

    EXPECT_EQ(row("nameLabel", 0)->text(), "Only");
    for (int i = 1; i < 4; ++i) {
        EXPECT_TRUE(row("nameLabel", i)->text().isEmpty()) << i;
        EXPECT_TRUE(row("portLabel", i)->text().isEmpty()) << i;
        EXPECT_TRUE(row("stateLabel", i)->text().isEmpty()) << i;
    }
}

TEST_F(PanelTest, OfflineStatusKeepsUncoveredRowsAndMarksCoveredOnesStopped)
{
    QList<Process> running = fourStopped();
    for (Process &p : running)
        p.running = true;
    panel->applyStatus(connected(1, running));
    panel->applyStatus(offline({{"Main", 0, true}}));

    const ThemeColors &colors = themeColors();
    EXPECT_EQ(row("nameLabel", 0)->text(), "Main");
    EXPECT_EQ(row("portLabel", 0)->text(), "--");
    EXPECT_EQ(row("stateLabel", 0)->text(), "Service not running");
    EXPECT_TRUE(sameColor(textColor(row("stateLabel", 0)), colors.defaultRedColor));
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(row("nameLabel", i)->text(), running.at(i).name) << i;
        EXPECT_EQ(row("stateLabel", i)->text(), "Service running") << i;
    }
    EXPECT_EQ(text("statusTextLabel"), "Service not running");
}

// ---- running-time clock ----------------------------------------------------------------------

TEST_F(PanelTest, ClockRebasesOnlyWhenUptimeGoesBackwards)
{
    panel->applyStatus(connected(3725));
    panel->applyStatus(connected(4000));
    EXPECT_TRUE(clock().startsWith("01:02:0")) << clock().toStdString();
    panel->applyStatus(connected(3725));
    EXPECT_TRUE(clock().startsWith("01:02:0")) << clock().toStdString();
    panel->applyStatus(connected(100));
    EXPECT_TRUE(clock().startsWith("00:01:4")) << clock().toStdString();
}

TEST_F(PanelTest, ClockFreezesOfflineAndRestartsFromTheNextConnectedStatus)
{
    panel->applyStatus(connected(59));
    panel->applyStatus(offline());
    const QString frozen = clock();
    EXPECT_TRUE(frozen == "00:00:59" || frozen == "00:01:00") << frozen.toStdString();
    QTest::qWait(1300);
    EXPECT_EQ(clock(), frozen);
    EXPECT_FALSE(checkBox()->isEnabled());

    // Back online with a higher uptime: a stopped clock always takes the service's value.
    panel->applyStatus(connected(7200));
    EXPECT_EQ(clock(), "02:00:00");
}

TEST_F(PanelTest, AHiddenPanelShowsTheCurrentOrFrozenTimeWhenShown)
{
    panel->hide();
    panel->applyStatus(connected(3725));
    panel->show();
    EXPECT_EQ(clock(), "01:02:05");

    // Going offline while hidden freezes the value of that moment, not the one last drawn.
    panel->hide();
    panel->applyStatus(offline());
    panel->applyStatus(connected(7200));
    panel->applyStatus(offline());
    QTest::qWait(1100);
    panel->show();
    EXPECT_EQ(clock(), "02:00:00");
}

TEST_F(PanelTest, ClockStopsAtItsCap)
{
    panel->applyStatus(connected(8639998));
    EXPECT_EQ(clock(), "2399:59:58");
    EXPECT_TRUE(waitUntil([&] { return clock() == "2399:59:59"; }, 2500));
    QTest::qWait(1200);
    EXPECT_EQ(clock(), "2399:59:59");
}

TEST_F(PanelTest, NegativeUptimeShowsZeroUntilTheTotalPassesZero)
{
    panel->applyStatus(connected(-1));
    EXPECT_EQ(clock(), "00:00:00");
    EXPECT_TRUE(waitUntil([&] { return clock() == "00:00:01"; }, 3500)) << clock().toStdString();
}

// ---- auto-start switch -----------------------------------------------------------------------

TEST_F(PanelTest, StatusesSetTheSwitchWithoutEverRequestingAChange)
{
    QSignalSpy requests(panel.get(), &ServicePanel::autoStartRequested);
    panel->applyStatus(connected(1, {}, true));
    EXPECT_TRUE(checkBox()->isChecked());
    panel->applyStatus(connected(2, {}, false));
    EXPECT_FALSE(checkBox()->isChecked());
    panel->applyStatus(connected(3, {}, true));
    panel->applyStatus(offline());
    EXPECT_FALSE(checkBox()->isEnabled());
    EXPECT_TRUE(checkBox()->isChecked());
    EXPECT_EQ(requests.count(), 0);
}

TEST_F(PanelTest, ClickingTheSwitchRequestsOnceAndTheNextStatusWins)
{
    panel->show();
    QSignalSpy requests(panel.get(), &ServicePanel::autoStartRequested);

    // Offline the switch ignores the user.
    QTest::mouseClick(checkBox(), Qt::LeftButton, {}, QPoint(8, 8));
    EXPECT_EQ(requests.count(), 0);

    panel->applyStatus(connected(1, {}, false));
    QTest::mouseClick(checkBox(), Qt::LeftButton, {}, QPoint(8, 8));
    ASSERT_EQ(requests.count(), 1);
    EXPECT_TRUE(requests.at(0).at(0).toBool());
    EXPECT_TRUE(checkBox()->isChecked());

    panel->applyStatus(connected(2, {}, false));
    EXPECT_FALSE(checkBox()->isChecked());
    EXPECT_EQ(requests.count(), 1);
}

// ---- title bar -------------------------------------------------------------------------------

TEST_F(PanelTest, CloseButtonOnlyRequestsAndMinimiseHides)
{
    panel->show();
    QSignalSpy closes(panel.get(), &ServicePanel::closeRequested);
    QTest::mouseClick(panel->findChild<QPushButton *>("closeBtn"), Qt::LeftButton);
    EXPECT_EQ(closes.count(), 1);
    EXPECT_TRUE(panel->isVisible());

    QTest::mouseClick(panel->findChild<QPushButton *>("minBtn"), Qt::LeftButton);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(closes.count(), 1);
}

namespace {

void sendMouse(QWidget *target, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held,
               const QPoint &global)
{
    QMouseEvent event(type, target->mapFromGlobal(QPointF(global)), QPointF(global), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Press at a point of `target`, move the cursor by `delta`, release.
void drag(QWidget *target, Qt::MouseButton button, const QPoint &delta)
{
    const QPoint start = target->mapToGlobal(QPoint(5, 5));
    sendMouse(target, QEvent::MouseButtonPress, button, button, start);
    sendMouse(target, QEvent::MouseMove, Qt::NoButton, button, start + delta);
    sendMouse(target, QEvent::MouseButtonRelease, button, Qt::NoButton, start + delta);
    // A window move reaches pos() through the window system's queue.
    QCoreApplication::processEvents();
}

} // namespace

TEST_F(PanelTest, OnlyALeftButtonDragOnTheTitleBarMovesThePanel)
{
    panel->move(100, 100);
    panel->show();
    const QPoint origin = panel->pos();

    drag(label("titleLabel"), Qt::LeftButton, QPoint(30, 40));
    EXPECT_EQ(panel->pos(), origin + QPoint(30, 40));

    auto *header = panel->findChild<QWidget *>("header");
    drag(header, Qt::LeftButton, QPoint(-10, 5));
    EXPECT_EQ(panel->pos(), origin + QPoint(20, 45));

    // Presses on the logo fall through to the title bar.
    drag(label("logo"), Qt::LeftButton, QPoint(1, 1));
    EXPECT_EQ(panel->pos(), origin + QPoint(21, 46));

    const QPoint before = panel->pos();
    drag(label("titleLabel"), Qt::RightButton, QPoint(50, 50));
    drag(panel->findChild<QFrame *>("serviceCard"), Qt::LeftButton, QPoint(50, 50));
    drag(label("runningTimeLabel"), Qt::LeftButton, QPoint(50, 50));
    // A drag that began elsewhere and crosses the title bar is not a title-bar drag.
    sendMouse(header, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, header->mapToGlobal(QPoint(80, 80)));
    QCoreApplication::processEvents();
    EXPECT_EQ(panel->pos(), before);
}

// ---- look ------------------------------------------------------------------------------------

TEST_F(PanelTest, HasItsFixedSizeBackgroundAndOnePixelFrame)
{
    EXPECT_EQ(panel->size(), QSize(639, 342));
    EXPECT_TRUE(panel->windowFlags() & Qt::FramelessWindowHint);
    panel->show();
    QCoreApplication::processEvents();
    const QImage shot = panel->grab().toImage();
    const ThemeColors &colors = themeColors();
    for (const QPoint edge : {QPoint(0, 150), QPoint(638, 150), QPoint(300, 0), QPoint(300, 341)})
        EXPECT_TRUE(sameColor(shot.pixelColor(edge), colors.dlgBorderColor, 0))
            << edge.x() << "," << edge.y();
    EXPECT_TRUE(sameColor(shot.pixelColor(QPoint(10, 150)), colors.themeColor, 0));
    // The card starts below the 68 px title bar and 8 px gap, 30 px in from the side.
    EXPECT_TRUE(sameColor(shot.pixelColor(QPoint(60, 170)), colors.trayCardColor, 0));
    EXPECT_TRUE(sameColor(shot.pixelColor(QPoint(60, 72)), colors.themeColor, 0));
}

TEST_F(PanelTest, ShowsTheSkinsPicturesAndCheckMarks)
{
    EXPECT_EQ(label("logo")->pixmap().size(), QSize(28, 28));
    panel->applyStatus(connected(1, {}, false));
    panel->show();
    QCoreApplication::processEvents();

    // The indicator sits at the left end of the check box; only the ticked mark is red.
    const auto redPixels = [&] {
        const QImage shot = checkBox()->grab().toImage();
        int count = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < 16 && x < shot.width(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                count += c.red() > 180 && c.green() < 80 && c.blue() < 80;
            }
        return count;
    };
    EXPECT_EQ(redPixels(), 0);
    panel->applyStatus(connected(2, {}, true));
    EXPECT_GT(redPixels(), 50);
}

TEST(PanelWithoutSkin, DrawsWithEmptyPicturesAndLogsNothing)
{
    const ActiveAppDir bare;
    QStringList messages;
    {
        const LogCapture log;
        {
            ServicePanel panel;
            panel.applyStatus(connected(5, {}, true));
            panel.show();
            QCoreApplication::processEvents();
            EXPECT_FALSE(panel.grab().isNull());
            EXPECT_TRUE(panel.findChild<QLabel *>("logo")->pixmap().isNull());
        }
        messages = log.lines();
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}
