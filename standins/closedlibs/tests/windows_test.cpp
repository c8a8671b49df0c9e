#include "loadingdlg.h"
#include "logindlg.h"
#include "tqmainframeui.h"
#include "useractivitymonitor.h"

#include <testenv.h>

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

// The stand-in windows behave as the client expects of them.

namespace {

// Runs `dialog` modally while `interact` acts on it from inside its event loop.
template <typename Interact> int execWith(QDialog &dialog, Interact interact)
{
    QTimer::singleShot(0, &dialog, [&dialog, interact] {
        interact();
        // Anything still open after the interaction counts as "stayed open".
        QTimer::singleShot(200, &dialog, [&dialog] {
            if (dialog.isVisible())
                dialog.done(-5);
        });
    });
    return dialog.exec();
}

TEST(LoginDlgTest, SignInNeedsNameAndPassword)
{
    LoginDlg login(LoginNormal, qApp, true);
    auto *user = login.findChild<QLineEdit *>("userName");
    auto *password = login.findChild<QLineEdit *>("password");
    auto *signIn = login.findChild<QPushButton *>("signIn");
    ASSERT_TRUE(user && password && signIn);

    EXPECT_EQ(execWith(login,
                       [&] {
                           user->setText("operator");
                           signIn->click();
                       }),
              -5);
    EXPECT_FALSE(login.findChild<QLabel *>("loginError")->isHidden());

    EXPECT_EQ(execWith(login,
                       [&] {
                           password->setText("secret");
                           signIn->click();
                       }),
              QDialog::Accepted);
}

TEST(LoginDlgTest, WithoutExitRightOnlyTheTrayRequestClosesTheForm)
{
    LoginDlg login(LoginRestart, qApp, false);
    TqMainFrameUI::s_trayExitRequested = false;
    EXPECT_EQ(execWith(login,
                       [&] {
                           login.close();
                           QTest::keyClick(&login, Qt::Key_Escape);
                       }),
              -5);

    TqMainFrameUI::s_trayExitRequested = true;
    EXPECT_EQ(execWith(login, [&] { login.close(); }), QDialog::Rejected);
    TqMainFrameUI::s_trayExitRequested = false;

    LoginDlg free(LoginNormal, qApp, true);
    EXPECT_EQ(execWith(free, [&] { free.close(); }), QDialog::Rejected);
}

TEST(LoadingDlgTest, MainFrameLoadsBetweenStartAndEnd)
{
    TqMainFrameUI frame;
    LoadingDlg loading(true);
    QStringList order;
    QObject::connect(&loading, &LoadingDlg::start, &frame, [&] {
        order << "start";
        frame.init();
    });
    QObject::connect(&loading, &LoadingDlg::end, &frame, [&] {
        order << "end";
        frame.initFinish();
    });
    loading.showLoadingUI();
    EXPECT_EQ(order, QStringList({"start", "end"}));
    EXPECT_FALSE(loading.isVisible());
    EXPECT_TRUE(frame.isVisible());
    TqMainFrameUI::s_trayExitRequested = true;
    frame.close();
    TqMainFrameUI::s_trayExitRequested = false;
}

TEST(MainFrameTest, RestartEndsTheEventLoopWith773)
{
    TqMainFrameUI frame;
    QAction *restart = frame.findChild<QAction *>("restartAction");
    ASSERT_NE(restart, nullptr);
    QEventLoop loop;
    QTimer::singleShot(0, restart, &QAction::trigger);
    EXPECT_EQ(loop.exec(), 773);
}

TEST(MainFrameTest, TrayRequestClosesWithoutAsking)
{
    TqMainFrameUI frame;
    frame.show();
    TqMainFrameUI::s_trayExitRequested = true;
    EXPECT_TRUE(frame.close());
    TqMainFrameUI::s_trayExitRequested = false;

    // Closed by the user it asks first; a question left unanswered keeps it open.
    qputenv("ORLUNE_STANDIN_MESSAGEBOX_MS", "0");
    frame.show();
    EXPECT_FALSE(frame.close());
    EXPECT_TRUE(frame.isVisible());
    qunsetenv("ORLUNE_STANDIN_MESSAGEBOX_MS");
    frame.hide();
}

TEST(UserActivityMonitorTest, InputAnywhereCountsAsActivity)
{
    UserActivityMonitor monitor;
    qApp->installEventFilter(&monitor);
    QLineEdit field;
    field.show();
    QSignalSpy active(&monitor, &UserActivityMonitor::userActive);
    QTest::qWait(60);
    EXPECT_GE(monitor.idleMsecs(), 50);
    QTest::keyClick(&field, Qt::Key_A);
    EXPECT_GE(active.count(), 1);
    EXPECT_LT(monitor.idleMsecs(), 50);
    qApp->removeEventFilter(&monitor);
}

} // namespace
