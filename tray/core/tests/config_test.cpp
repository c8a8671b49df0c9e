#include "config.h"

#include <activeappdir.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <thread>
#include <vector>

namespace {

// Every test reads its own temporary application directory, laid out like an installation.
class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(app.isValid()); }

    void writeParams(const QByteArray &ini) { app.writeFile(QStringLiteral("params.ini"), ini); }
    void writeSkin(const QByteArray &ini) { app.writeFile(QStringLiteral("Skin/Client/config.ini"), ini); }
    QString appPath(const QString &relative) const { return app.path() + QLatin1Char('/') + relative; }

    ActiveAppDir app;
};

#ifdef Q_OS_WIN
const QString exe = QStringLiteral(".exe");
#else
const QString exe;
#endif

TEST_F(ConfigTest, WithoutFilesEveryAccessorTakesItsDefault)
{
    EXPECT_EQ(applicationDir(), app.path());
    EXPECT_EQ(appName(), "Orlune");
    EXPECT_EQ(instanceId(), "Orlune");
    EXPECT_EQ(serviceName(), "Orlune_Server");
    EXPECT_EQ(pipePath(), QStringLiteral("\\\\.\\pipe\\Orlune_Service"));
    EXPECT_EQ(mutexName(), QStringLiteral("Local\\Orlune_DizovuvOdiv"));
    EXPECT_EQ(exitRequestEventName(), QStringLiteral("Local\\Orlune_TrayExitRequest"));
    EXPECT_EQ(languageEventName(), QStringLiteral("Local\\Orlune_LanguageChanged"));
    EXPECT_EQ(clientProcessName(), "orlune" + exe);
    EXPECT_EQ(autostartEntryName(), "Orlune_DizovuvOdiv");
    EXPECT_EQ(currentLanCode(), "en_US");
    EXPECT_EQ(productHomePlanValue(), 0);
    EXPECT_EQ(skinName(), "default");
    EXPECT_EQ(paramValue("product/nothing", "  fallback "), "fallback");
    EXPECT_EQ(skinValue("color/nothing", "#123456"), "#123456");
    // The literal prefixes are exactly six and nine characters.
    EXPECT_EQ(mutexName().indexOf("Orlune"), 6);
    EXPECT_EQ(pipePath().indexOf("Orlune"), 9);
}

TEST_F(ConfigTest, TheSampleParameterFileDescribesTheDefaultInstallation)
{
    overrideApplicationDir(AppDir::buildAppDir());
    ASSERT_TRUE(QFileInfo::exists(AppDir::buildAppDir() + "/params.ini"));
    EXPECT_EQ(appName(), "Orlune");
    EXPECT_EQ(instanceId(), "Orlune");
    EXPECT_EQ(serviceName(), "Orlune_Server");
    EXPECT_EQ(currentLanCode(), "en_US");
    EXPECT_EQ(productHomePlanValue(), 0);
}

TEST_F(ConfigTest, BlanksAroundTheProductNameAreTrimmedAndInnerOnesKept)
{
    // Quoted, so that the blanks reach the accessor rather than being dropped by the INI parser.
    writeParams("[product]\nappName=\"  My  Orlune Pro\t \"\n");
    EXPECT_EQ(appName(), "My  Orlune Pro");
    EXPECT_EQ(instanceId(), "My  Orlune Pro");
    EXPECT_EQ(serviceName(), "My  Orlune Pro_Server");
    EXPECT_EQ(mutexName(), QStringLiteral("Local\\My  Orlune Pro_DizovuvOdiv"));
    EXPECT_EQ(exitRequestEventName(), QStringLiteral("Local\\My  Orlune Pro_TrayExitRequest"));
    EXPECT_EQ(languageEventName(), QStringLiteral("Local\\My  Orlune Pro_LanguageChanged"));
    EXPECT_EQ(pipePath(), QStringLiteral("\\\\.\\pipe\\My  Orlune Pro_Service"));
    EXPECT_EQ(autostartEntryName(), "My  Orlune Pro_DizovuvOdiv");
    // Only the client's executable name drops the inner blanks, and it is lower case.
    EXPECT_EQ(clientProcessName(), "myorlunepro" + exe);
}

TEST_F(ConfigTest, KernelObjectsFollowTheInstanceIdAndTheRestTheProductName)
{
    writeParams("[product]\nappName=Orlune Pro\ninstanceId=  Site7  \n");
    EXPECT_EQ(instanceId(), "Site7");
    EXPECT_EQ(mutexName(), QStringLiteral("Local\\Site7_DizovuvOdiv"));
    EXPECT_EQ(exitRequestEventName(), QStringLiteral("Local\\Site7_TrayExitRequest"));
    EXPECT_EQ(languageEventName(), QStringLiteral("Local\\Site7_LanguageChanged"));
    EXPECT_EQ(pipePath(), QStringLiteral("\\\\.\\pipe\\Site7_Service"));
    EXPECT_EQ(autostartEntryName(), "Orlune Pro_DizovuvOdiv");
    EXPECT_EQ(clientProcessName(), "orlunepro" + exe);
    EXPECT_EQ(serviceName(), "Orlune Pro_Server");

    writeParams("[product]\nappName=Orlune Pro\ninstanceId=Site7\nserviceName= Svc X \n");
    EXPECT_EQ(serviceName(), "Svc X");
}

TEST_F(ConfigTest, PresentButEmptyValuesAreUsedAsEmpty)
{
    writeParams("[product]\nappName=\n[language]\ncurrentLanCode=\n");
    EXPECT_EQ(appName(), "");
    EXPECT_EQ(instanceId(), "");
    EXPECT_EQ(serviceName(), "_Server");
    EXPECT_EQ(mutexName(), QStringLiteral("Local\\_DizovuvOdiv"));
    EXPECT_EQ(pipePath(), QStringLiteral("\\\\.\\pipe\\_Service"));
    EXPECT_EQ(clientProcessName(), exe);
    EXPECT_EQ(currentLanCode(), "");
}

TEST_F(ConfigTest, NamesAreComposedWithoutEscaping)
{
    // The file holds a\\b, which the INI format reads as one backslash.
    writeParams("[product]\ninstanceId=\"../a/b\\\\c:%1 \xc3\xa4\"\nappName=\xc3\x96RL\xc3\x9cNE  X\n");
    const QString id = QStringLiteral("../a/b\\c:%1 \u00e4");
    EXPECT_EQ(instanceId(), id);
    EXPECT_EQ(mutexName(), "Local\\" + id + "_DizovuvOdiv");
    EXPECT_EQ(pipePath(), "\\\\.\\pipe\\" + id + "_Service");
    EXPECT_EQ(clientProcessName(), QStringLiteral("\u00f6rl\u00fcnex") + exe);
}

TEST_F(ConfigTest, ACommaDoesNotEmptyAName)
{
    writeParams("[product]\nappName=Orlune, Ltd\ninstanceId=\"Site, 7\"\n");
    EXPECT_EQ(appName(), "Orlune, Ltd");
    EXPECT_EQ(instanceId(), "Site, 7");
    EXPECT_EQ(serviceName(), "Orlune, Ltd_Server");
    EXPECT_EQ(clientProcessName(), "orlune,ltd" + exe);

    // Unquoted commas are kept as written, so every reader derives the same names.
    writeParams("[product]\nappName=A ,B,, C ; note\ninstanceId=Id1,Id2\n");
    EXPECT_EQ(appName(), "A ,B,, C");
    EXPECT_EQ(pipePath(), QStringLiteral("\\\\.\\pipe\\Id1,Id2_Service"));
    EXPECT_EQ(mutexName(), QStringLiteral("Local\\Id1,Id2_DizovuvOdiv"));
}

TEST_F(ConfigTest, ProductHomeLanguageWinsAndFallsThrough)
{
    QDir(app.path()).mkpath("home");
    const QString home = appPath("home");

    writeParams("[paths]\norlunehome=" + home.toUtf8() + "/ \n[language]\ncurrentLanCode=fr_FR\n");
    app.writeFile("home/params.ini", "[language]\ncurrentLanCode= de_DE \n");
    EXPECT_EQ(currentLanCode(), "de_DE");

    app.writeFile("home/params.ini", "[language]\ncurrentLanCode=\n");
    EXPECT_EQ(currentLanCode(), "fr_FR");

    QFile::remove(appPath("home/params.ini"));
    EXPECT_EQ(currentLanCode(), "fr_FR");

    writeParams("[paths]\norlunehome=\n[language]\ncurrentLanCode=fr_FR\n");
    app.writeFile("home/params.ini", "[language]\ncurrentLanCode=de_DE\n");
    EXPECT_EQ(currentLanCode(), "fr_FR");

    writeParams("[language]\ncurrentLanCode=fr_FR\n");
    EXPECT_EQ(currentLanCode(), "fr_FR");

    writeParams("[paths]\norlunehome=" + home.toUtf8() + "\n");
    app.writeFile("home/params.ini", "[other]\nx=1\n");
    EXPECT_EQ(currentLanCode(), "en_US");
}

TEST_F(ConfigTest, LocalPlanFlagComesFromTheProductHome)
{
    QDir(app.path()).mkpath("home");
    writeParams("[paths]\norlunehome=" + appPath("home").toUtf8() + "\n[recordPlan]\nhasLocalPlan=1\n");
    EXPECT_EQ(productHomePlanValue(), 0);

    app.writeFile("home/params.ini", "[recordPlan]\nhasLocalPlan=3\n");
    EXPECT_EQ(productHomePlanValue(), 3);
    app.writeFile("home/params.ini", "[recordPlan]\nhasLocalPlan=yes\n");
    EXPECT_EQ(productHomePlanValue(), 0);

    writeParams("[recordPlan]\nhasLocalPlan=1\n");
    EXPECT_EQ(productHomePlanValue(), 0);
}

TEST_F(ConfigTest, SkinNameAbsentEmptyAndSet)
{
    const QString base = app.path() + "/Skin/Client/";
    EXPECT_EQ(skinFilePath("Logic/system_icon.png"), base + "default/Logic/system_icon.png");

    writeSkin("[normal]\nskin=\n");
    EXPECT_EQ(skinName(), "");
    EXPECT_EQ(skinFilePath("Logic/system_icon.png"), base + "Logic/system_icon.png");

    writeSkin("[normal]\nskin= dark \n");
    EXPECT_EQ(skinFilePath("MainFrameUI/close.png"), base + "dark/MainFrameUI/close.png");
    EXPECT_EQ(clientAssetPath("custom/tray_logo_28.png"), base + "custom/tray_logo_28.png");
    EXPECT_EQ(translationFilePath("de_DE"), app.path() + "/translation/Client/de_DE.qm");
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

TEST_F(ConfigTest, EditsAreSeenByTheNextCall)
{
    writeParams("[product]\ninstanceId=Alpha\n");
    EXPECT_EQ(mutexName(), QStringLiteral("Local\\Alpha_DizovuvOdiv"));
    writeParams("[product]\ninstanceId=Bravo2\n");
    EXPECT_EQ(mutexName(), QStringLiteral("Local\\Bravo2_DizovuvOdiv"));

    // An edit that keeps the size is recognised by its modification time.
    writeParams("[product]\ninstanceId=Charl3\n");
    QFile file(appPath("params.ini"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
    file.close();
    EXPECT_EQ(instanceId(), "Charl3");

    writeSkin("[normal]\nskin=one\n");
    EXPECT_EQ(skinName(), "one");
    writeSkin("[normal]\nskin=second\n");
    EXPECT_EQ(skinName(), "second");

    QFile::remove(appPath("params.ini"));
    EXPECT_EQ(instanceId(), "Orlune");
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

TEST_F(ConfigTest, GarbageFilesNeverCrashAndAreNeverWritten)
{
    static const char bytes[] = "\x01\xff\xfe[[[\n=\n;;\n[product\nappName=@Variant(\\0\\0\\0\\x7f)\n"
                                "[color]\nthemeColor=@Rect(1 2 3 4)\n\0\0\xc3(garbage";
    const QByteArray garbage(bytes, sizeof bytes - 1);
    writeParams(garbage);
    writeSkin(garbage);
    EXPECT_FALSE(mutexName().isNull());
    EXPECT_FALSE(pipePath().isNull());
    EXPECT_FALSE(currentLanCode().isNull());
    EXPECT_FALSE(skinFilePath("x.png").isEmpty());
    EXPECT_FALSE(readThemeColors().themeColor.isValid());

    QFile params(appPath("params.ini"));
    ASSERT_TRUE(params.open(QIODevice::ReadOnly));
    EXPECT_EQ(params.readAll(), garbage);
    QFile skin(appPath("Skin/Client/config.ini"));
    ASSERT_TRUE(skin.open(QIODevice::ReadOnly));
    EXPECT_EQ(skin.readAll(), garbage);
}

TEST_F(ConfigTest, UnreadableFilesGiveTheDefaults)
{
    // A directory where the files should be cannot be read as INI.
    QDir(app.path()).mkpath("params.ini");
    QDir(app.path()).mkpath("Skin/Client/config.ini");
    EXPECT_EQ(instanceId(), "Orlune");
    EXPECT_EQ(currentLanCode(), "en_US");
    EXPECT_EQ(skinName(), "default");
    EXPECT_TRUE(QFileInfo(appPath("params.ini")).isDir());
}

// Runs `read` and gives up after a while, releasing any reader still blocked on a FIFO in
// `dir` so the test can end. Empty when it did not finish in time.
QStringList readWithoutBlocking(const QString &dir, const std::function<QStringList()> &read)
{
    auto result = std::async(std::launch::async, read);
    if (result.wait_for(std::chrono::seconds(10)) == std::future_status::ready)
        return result.get();
    const QString release =
        QStringLiteral("find '%1' -type p | while read f; do exec 3<>\"$f\"; exec 3>&-; done");
    while (result.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready)
        QProcess::execute("sh", {"-c", release.arg(dir)});
    return {};
}

TEST_F(ConfigTest, NonRegularFilesAreTreatedAsMissing)
{
    // A FIFO blocks whoever opens it for reading until a writer comes.
    QDir(app.path()).mkpath("home");
    QDir(app.path()).mkpath("Skin/Client");
    writeParams("[paths]\norlunehome=" + appPath("home").toUtf8() + "\n[language]\ncurrentLanCode=fr_FR\n");
    for (const char *fifo : {"home/params.ini", "Skin/Client/config.ini"})
        ASSERT_EQ(QProcess::execute("mkfifo", {appPath(fifo)}), 0) << fifo;
    EXPECT_EQ(
        readWithoutBlocking(
            app.path(),
            [] {
                return QStringList{currentLanCode(), skinName(), QString::number(productHomePlanValue())};
            }),
        QStringList({"fr_FR", "default", "0"}));

    ASSERT_TRUE(QFile::remove(appPath("params.ini")));
    ASSERT_EQ(QProcess::execute("mkfifo", {appPath("params.ini")}), 0);
    EXPECT_EQ(readWithoutBlocking(app.path(), [] { return QStringList{instanceId()}; }),
              QStringList({"Orlune"}));
}

TEST_F(ConfigTest, AccessorsAgreeAcrossThreads)
{
    writeParams("[product]\nappName=Orlune Pro\ninstanceId=Site9\n");
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &mismatches] {
            for (int i = 0; i < 100; ++i) {
                if (pipePath() != QStringLiteral("\\\\.\\pipe\\Site9_Service") ||
                    clientProcessName() != "orlunepro" + exe)
                    ++mismatches[t];
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

} // namespace
