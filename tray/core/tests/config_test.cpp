#include "config.h"

#include <activeappdir.h>
#include <installation/names.h>
#include <logcapture.h>

#include <gtest/gtest.h>

namespace {

// Every test reads its own temporary application directory, laid out like an installation.
class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(app.isValid()); }

    void writeParams(const QByteArray &ini) { app.writeFile(QStringLiteral("params.ini"), ini); }
    void writeSkin(const QByteArray &ini) { app.writeFile(QStringLiteral("Skin/Client/config.ini"), ini); }

    ActiveAppDir app;
};

// The tray's names are the installation's rules applied to what its params.ini says.
TEST_F(ConfigTest, KernelObjectsFollowTheInstanceIdAndTheRestTheProductName)
{
    writeParams("[product]\nappName=Orlune Pro\ninstanceId=  Site7  \n");
    EXPECT_EQ(pipePath(), installation::servicePipePath("Site7"));
    EXPECT_EQ(mutexName(), installation::trayMutexName("Site7"));
    EXPECT_EQ(exitRequestEventName(), installation::exitRequestEventName("Site7"));
    EXPECT_EQ(languageEventName(), installation::languageEventName("Site7"));
    EXPECT_EQ(autostartEntryName(), installation::autostartEntryName("Orlune Pro"));
    EXPECT_EQ(clientProcessName(), installation::clientProcessName("Orlune Pro"));
}

TEST_F(ConfigTest, ThemeColoursDefaultsAndTheSharedKey)
{
    const ThemeColors defaults = readThemeColors();
    EXPECT_EQ(defaults.themeColor, QColor(0x2B, 0x2B, 0x2B));
    EXPECT_EQ(defaults.trayCardColor, QColor(0x27, 0x29, 0x2D));
    EXPECT_EQ(defaults.dlgBorderColor, QColor(0x3A, 0x3D, 0x40));
    EXPECT_EQ(defaults.oneLevelTextColor, QColor(0xE6, 0xE6, 0xE6));
    EXPECT_EQ(defaults.thirdLevelTextColor, QColor(0x55, 0x55, 0x55));
    EXPECT_EQ(defaults.customGreen, QColor(0x00, 0xFF, 0x00));
    EXPECT_EQ(defaults.defaultRedColor, QColor(0xE8, 0x22, 0x02));
    EXPECT_EQ(defaults.restartingColor, QColor(0xF1, 0xC4, 0x0F));
    EXPECT_EQ(defaults.stoppedIconColor, QColor(0x78, 0x78, 0x78));

    writeSkin("[color]\nthirdLevelTextColor=#102030\nthemeColor=red\nrestartingColor=#000001\n");
    const ThemeColors configured = readThemeColors();
    EXPECT_EQ(configured.thirdLevelTextColor, QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(configured.stoppedIconColor, QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(configured.themeColor, QColor(Qt::red));
    EXPECT_EQ(configured.restartingColor, QColor(0xF1, 0xC4, 0x0F));
    EXPECT_EQ(configured.customGreen, defaults.customGreen);
}

TEST_F(ConfigTest, UnparsableColoursAreInvalidAndRenderBlack)
{
    writeSkin("[color]\nthemeColor=#12345\ntrayCardColor=no such colour\ncustomGreen=\n"
              "defaultRedColor=#GGGGGG\n");
    const ThemeColors colors = readThemeColors();
    for (const QColor &c :
         {colors.themeColor, colors.trayCardColor, colors.customGreen, colors.defaultRedColor}) {
        EXPECT_FALSE(c.isValid());
        EXPECT_EQ(c.name(), "#000000");
    }
    EXPECT_TRUE(colors.dlgBorderColor.isValid());
}

TEST_F(ConfigTest, ThemeColoursAreReadOncePerProcess)
{
    const ThemeColors &first = themeColors();
    const QColor before = first.themeColor;
    writeSkin("[color]\nthemeColor=#010203\n");
    const ThemeColors &second = themeColors();
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(second.themeColor, before);
}

// Read at start-up, on each language change and at each exit: a product home that is not there
// is said once, whichever reader finds it missing; an unset one is not a missing one.
TEST_F(ConfigTest, AMissingProductHomeIsReportedOncePerProcess)
{
    const LogCapture log(QStringLiteral("DizovuvOdiv"));
    writeParams("[paths]\norlunehome=\n");
    EXPECT_EQ(currentLanCode(), "en_US");
    writeParams("[paths]\norlunehome=" + app.path().toUtf8() + "/No\\Home\n");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(productHomePlanValue(), 0);
        EXPECT_EQ(currentLanCode(), "en_US");
    }
    ASSERT_EQ(log.lines().size(), 1) << log.dump().toStdString();
    EXPECT_TRUE(log.lines()[0].endsWith("orlunehome= \"" + app.path() + "/No\\\\Home\""))
        << log.dump().toStdString();
}

} // namespace
