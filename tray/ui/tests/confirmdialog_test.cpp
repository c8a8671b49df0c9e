#include "activeappdir.h"
#include "config.h"
#include "confirmdialog.h"
#include "logcapture.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

#include <functional>

namespace {

// The dialog reads its skin from the application directory: give each test one of its own with
// the built skin, and a configuration the test writes.
class ConfirmDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(app.isValid());
        app.addAssets();
        writeSkinConfig({});
    }

    void writeSkinConfig(const QStringList &colorLines)
    {
        app.writeFile("Skin/Client/config.ini",
                      "[normal]\nskin=default\n[color]\n" + colorLines.join('\n').toUtf8() + "\n");
    }

    // Runs the dialog; `act` gets the open dialog and must end it. A dialog still open after
    // ten seconds is refused so a broken test cannot hang the suite.
    bool run(const QString &text, bool warningIcon, bool yesNo, const std::function<void(QDialog *)> &act)
    {
        bool acted = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (acted || !dialog)
                return;
            acted = true;
            act(dialog);
        });
        poll.start(10);
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
                ADD_FAILURE() << "dialog left open";
                dialog->reject();
            }
        });
        guard.start(10000);
        const bool accepted = showConfirmDialog(nullptr, "Exit Service Management", text, warningIcon, yesNo);
        EXPECT_TRUE(acted);
        return accepted;
    }

    static QPushButton *button(QDialog *dialog, const char *name)
    {
        return dialog->findChild<QPushButton *>(QLatin1String(name));
    }

    // Colour of a button's face beside its text.
    static QColor faceColor(QPushButton *b)
    {
        QCoreApplication::processEvents();
        return b->grab().toImage().pixelColor(12, b->height() / 2);
    }

    ActiveAppDir app;
};

const QString kShort = "Exiting will stop the background service. Stop the service and exit the tray?";

} // namespace

TEST_F(ConfirmDialogTest, OnlyTheAcceptButtonAccepts)
{
    EXPECT_TRUE(
        run(kShort, false, true, [](QDialog *d) { QTest::mouseClick(button(d, "okBtn"), Qt::LeftButton); }));
    EXPECT_FALSE(run(kShort, false, true,
                     [](QDialog *d) { QTest::mouseClick(button(d, "cancelBtn"), Qt::LeftButton); }));
    EXPECT_FALSE(run(kShort, false, true,
                     [](QDialog *d) { QTest::mouseClick(button(d, "closeBtn"), Qt::LeftButton); }));
    EXPECT_FALSE(run(kShort, false, true, [](QDialog *d) { QTest::keyClick(d, Qt::Key_Escape); }));
    EXPECT_FALSE(run(kShort, false, true, [](QDialog *d) { d->close(); }));
}

TEST_F(ConfirmDialogTest, SingleButtonReportHasNoRefuseButtonButStillRefusesOnClose)
{
    EXPECT_FALSE(run(kShort, true, false, [](QDialog *d) {
        EXPECT_EQ(button(d, "cancelBtn"), nullptr);
        EXPECT_EQ(button(d, "okBtn")->text(), "Ok");
        QTest::mouseClick(button(d, "closeBtn"), Qt::LeftButton);
    }));
    EXPECT_FALSE(run(kShort, true, false, [](QDialog *d) { QTest::keyClick(d, Qt::Key_Escape); }));
    EXPECT_TRUE(
        run(kShort, true, false, [](QDialog *d) { QTest::mouseClick(button(d, "okBtn"), Qt::LeftButton); }));
}

TEST_F(ConfirmDialogTest, IsAFramelessTopmostModalWindowWithTitleTextAndButtons)
{
    run(kShort, false, true, [](QDialog *d) {
        EXPECT_TRUE(d->isModal());
        EXPECT_TRUE(d->windowFlags() & Qt::FramelessWindowHint);
        EXPECT_TRUE(d->windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_EQ(d->findChild<QLabel *>("title")->text(), "Exit Service Management");
        EXPECT_EQ(d->findChild<QLabel *>("text")->text(), kShort);
        QPushButton *ok = button(d, "okBtn");
        QPushButton *cancel = button(d, "cancelBtn");
        EXPECT_EQ(ok->text(), "Yes");
        EXPECT_EQ(cancel->text(), "No");
        EXPECT_EQ(ok->size(), QSize(100, 32));
        EXPECT_EQ(cancel->size(), QSize(100, 32));
        // Both buttons sit at the right edge, the refusing one rightmost.
        EXPECT_LT(ok->geometry().right(), cancel->geometry().left());
        EXPECT_EQ(cancel->geometry().right(), d->width() - 1 - 30);
        d->reject();
    });
}

TEST_F(ConfirmDialogTest, ShowsTheWarningOrTheInformationIcon)
{
    // The icon is the only 24x24 label; sample the middle of its left half.
    const auto iconColor = [](QDialog *d) {
        for (QLabel *label : d->findChildren<QLabel *>())
            if (label->size() == QSize(24, 24) && !label->pixmap().isNull())
                return label->pixmap().toImage().pixelColor(6, 14);
        return QColor();
    };
    QColor warn;
    QColor info;
    run(kShort, true, false, [&](QDialog *d) {
        warn = iconColor(d);
        d->reject();
    });
    run(kShort, false, true, [&](QDialog *d) {
        info = iconColor(d);
        d->reject();
    });
    ASSERT_TRUE(warn.isValid() && info.isValid());
    EXPECT_GT(warn.red(), 200); // yellow
    EXPECT_GT(warn.green(), 150);
    EXPECT_LT(warn.blue(), 100);
    EXPECT_GT(info.blue(), 200); // blue
    EXPECT_LT(info.red(), 100);
}

TEST_F(ConfirmDialogTest, AcceptButtonTakesTheSkinsColours)
{
    QColor face;
    const auto sampleOk = [&](QDialog *d) {
        face = faceColor(button(d, "okBtn"));
        d->reject();
    };

    run(kShort, false, true, sampleOk);
    EXPECT_EQ(face.name(), "#e3192b");

    // Without a button colour of its own the accept button follows the skin's red.
    writeSkinConfig({"modifyRedColor=#1E90AA"});
    run(kShort, false, true, sampleOk);
    EXPECT_EQ(face.name(), "#1e90aa");

    writeSkinConfig({"modifyRedColor=#1E90AA", "btnColor=#228B22"});
    run(kShort, false, true, sampleOk);
    EXPECT_EQ(face.name(), "#228b22");

    // Colours are read on every use, so the dialog follows the file without a restart.
    writeSkinConfig({"dlgBackgroundColor=#102030"});
    QColor background;
    run(kShort, false, true, [&](QDialog *d) {
        QCoreApplication::processEvents();
        background = d->grab().toImage().pixelColor(10, d->height() / 2);
        d->reject();
    });
    EXPECT_EQ(background.name(), "#102030");
}

TEST_F(ConfirmDialogTest, LongMessageWrapsInsideTheFixedWidthAndGrowsTheDialog)
{
    if (QGuiApplication::platformName() == QLatin1String("minimal"))
        GTEST_SKIP() << "the minimal platform, used where Qt has no offscreen one (Windows), keeps a shown "
                        "dialog at its first size";
    QSize shortSize;
    run(kShort, false, true, [&](QDialog *d) {
        shortSize = d->size();
        d->reject();
    });
    EXPECT_EQ(shortSize, QSize(440, 230));

    // Long enough to overflow the fixed size in any font (Windows' is smaller than Linux's).
    const QString longText = QStringList(24, kShort).join(' ');
    run(longText, false, true, [&](QDialog *d) {
        EXPECT_EQ(d->width(), 440);
        EXPECT_GT(d->height(), 230);
        auto *text = d->findChild<QLabel *>("text");
        EXPECT_LE(text->geometry().right(), d->width() - 30);
        EXPECT_GT(text->height(), 5 * text->fontMetrics().height());
        // Nothing is pushed out of the window: the buttons stay inside its bottom margin.
        EXPECT_LE(button(d, "okBtn")->geometry().bottom(), d->height() - 30);
        d->reject();
    });
}

TEST_F(ConfirmDialogTest, ButtonTextsAreTranslated)
{
    QTranslator translator;
    ASSERT_TRUE(translator.load(translationFilePath("de_DE")));
    QCoreApplication::installTranslator(&translator);
    run(kShort, false, true, [](QDialog *d) {
        EXPECT_EQ(button(d, "okBtn")->text(), "Ja");
        EXPECT_EQ(button(d, "cancelBtn")->text(), "Nein");
        d->reject();
    });
    run(kShort, true, false, [](QDialog *d) {
        EXPECT_EQ(button(d, "okBtn")->text(), "OK");
        d->reject();
    });
    QCoreApplication::removeTranslator(&translator);
}

TEST_F(ConfirmDialogTest, WorksSilentlyWithoutAnySkin)
{
    const ActiveAppDir bare;
    QStringList messages;
    bool accepted = true;
    {
        const LogCapture log;
        accepted = run(kShort, true, true, [](QDialog *d) {
            // No images: the close button is invisible but still refuses.
            QTest::mouseClick(button(d, "closeBtn"), Qt::LeftButton);
        });
        messages = log.lines();
    }
    EXPECT_FALSE(accepted);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}
