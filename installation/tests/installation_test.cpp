#include <installation/files.h>
#include <installation/names.h>

#include <activeappdir.h>
#include <core/skip.h>

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

using namespace installation;

namespace {

#ifdef Q_OS_WIN
const QString exe = QStringLiteral(".exe");
#else
const QString exe;
#endif

// ---- names ----

TEST(InstallationNames, EachNameIsItsLiteralText)
{
    EXPECT_EQ(servicePipePath("Site7"), QStringLiteral("\\\\.\\pipe\\Site7_Service"));
    EXPECT_EQ(serviceControlPipePath("Site7"), QStringLiteral("\\\\.\\pipe\\Site7_Service.control"));
    EXPECT_EQ(trayMutexName("Site7"), QStringLiteral("Local\\Site7_DizovuvOdiv"));
    EXPECT_EQ(exitRequestEventName("Site7"), QStringLiteral("Local\\Site7_TrayExitRequest"));
    EXPECT_EQ(languageEventName("Site7"), QStringLiteral("Local\\Site7_LanguageChanged"));
    EXPECT_EQ(clientInstanceClaimName("Site7"), QStringLiteral("Local\\Site7_ClientInstance"));
    EXPECT_EQ(clientLocalServerName("Site7"), QStringLiteral("Local\\Site7"));
    EXPECT_EQ(autostartEntryName("My  Orlune Pro"), "My  Orlune Pro_DizovuvOdiv");
    // Only the client's executable name drops the inner blanks, and it is lower case.
    EXPECT_EQ(clientProcessName("My  Orlune Pro"), "myorlunepro" + exe);
    EXPECT_EQ(trayLogFileName(), "DizovuvOdiv.log");
    EXPECT_EQ(clientLogFileName(), "VadorivOruziz.log");
}

TEST(InstallationNames, NamesAreComposedWithoutEscaping)
{
    const QString id = QStringLiteral("../a/b\\c:%1 \u00e4");
    EXPECT_EQ(trayMutexName(id), "Local\\" + id + "_DizovuvOdiv");
    EXPECT_EQ(servicePipePath(id), "\\\\.\\pipe\\" + id + "_Service");
    EXPECT_EQ(trayMutexName(QString()), QStringLiteral("Local\\_DizovuvOdiv"));
    EXPECT_EQ(servicePipePath(QString()), QStringLiteral("\\\\.\\pipe\\_Service"));
    EXPECT_EQ(clientProcessName(QStringLiteral("\u00d6RL\u00dcNE  X")),
              QStringLiteral("\u00f6rl\u00fcnex") + exe);
    EXPECT_EQ(clientProcessName(QString()), exe);
}

// ---- files ----

// Every test reads its own temporary application directory, laid out like an installation.
class InstallationFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(app.isValid()); }

    void writeParams(const QByteArray &ini) { app.writeFile(QStringLiteral("params.ini"), ini); }
    void writeSkin(const QByteArray &ini) { app.writeFile(QStringLiteral("Skin/Client/config.ini"), ini); }
    QString appPath(const QString &relative) const { return app.path() + QLatin1Char('/') + relative; }

    ActiveAppDir app;
};

TEST_F(InstallationFiles, WithoutFilesEveryReaderTakesItsDefault)
{
    EXPECT_EQ(applicationDir(), app.path());
    EXPECT_EQ(appName(), "Orlune");
    EXPECT_EQ(instanceId(), "Orlune");
    EXPECT_EQ(serviceName(), "Orlune_Server");
    EXPECT_EQ(currentLanCode(), "en_US");
    EXPECT_EQ(productHomePlanValue(), 0);
    EXPECT_EQ(skinName(), "default");
    EXPECT_EQ(paramValue("product/nothing", "  fallback "), "fallback");
    EXPECT_EQ(skinValue("color/nothing", "#123456"), "#123456");
}

TEST_F(InstallationFiles, TheSampleParameterFileDescribesTheDefaultInstallation)
{
    overrideApplicationDir(AppDir::buildAppDir());
    ASSERT_TRUE(QFileInfo::exists(AppDir::buildAppDir() + "/params.ini"));
    EXPECT_EQ(appName(), "Orlune");
    EXPECT_EQ(instanceId(), "Orlune");
    EXPECT_EQ(serviceName(), "Orlune_Server");
    EXPECT_EQ(currentLanCode(), "en_US");
    EXPECT_EQ(productHomePlanValue(), 0);
}

TEST_F(InstallationFiles, BlanksAroundTheProductNameAreTrimmedAndInnerOnesKept)
{
    // Quoted, so that the blanks reach the reader rather than being dropped by the INI parser.
    writeParams("[product]\nappName=\"  My  Orlune Pro\t \"\n");
    EXPECT_EQ(appName(), "My  Orlune Pro");
    EXPECT_EQ(instanceId(), "My  Orlune Pro");
    EXPECT_EQ(serviceName(), "My  Orlune Pro_Server");
}

TEST_F(InstallationFiles, IdentifierAndServiceNameAreReadOrFallBackToTheProductName)
{
    writeParams("[product]\nappName=Orlune Pro\ninstanceId=  Site7  \n");
    EXPECT_EQ(instanceId(), "Site7");
    EXPECT_EQ(serviceName(), "Orlune Pro_Server");

    writeParams("[product]\nappName=Orlune Pro\ninstanceId=Site7\nserviceName= Svc X \n");
    EXPECT_EQ(serviceName(), "Svc X");
}

TEST_F(InstallationFiles, PresentButEmptyValuesAreUsedAsEmpty)
{
    writeParams("[product]\nappName=\n[language]\ncurrentLanCode=\n");
    EXPECT_EQ(appName(), "");
    EXPECT_EQ(instanceId(), "");
    EXPECT_EQ(serviceName(), "_Server");
    EXPECT_EQ(currentLanCode(), "");
}

TEST_F(InstallationFiles, ValuesAreTakenAsTheIniFormatReadsThem)
{
    // The file holds a\\b, which the INI format reads as one backslash.
    writeParams("[product]\ninstanceId=\"../a/b\\\\c:%1 \xc3\xa4\"\nappName=Orlune, Ltd\n");
    EXPECT_EQ(instanceId(), QStringLiteral("../a/b\\c:%1 \u00e4"));
    EXPECT_EQ(appName(), "Orlune, Ltd");

    // Unquoted commas are kept as written, so every reader derives the same names.
    writeParams("[product]\nappName=A ,B,, C ; note\ninstanceId=Id1,Id2\n");
    EXPECT_EQ(appName(), "A ,B,, C");
    EXPECT_EQ(instanceId(), "Id1,Id2");
}

TEST_F(InstallationFiles, ProductHomeLanguageWinsAndFallsThrough)
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

TEST_F(InstallationFiles, ProductHomeWrittenAsAWindowsPathIsReadAsWritten)
{
    // A backslash belongs to a file name here: this folder stands in for "C:\ProgramData\...".
    const QString home = appPath("Orlune\\Home");
    app.writeFile("Orlune\\Home/params.ini",
                  "[language]\ncurrentLanCode=de_DE\n[recordPlan]\nhasLocalPlan=1\n");
    // Single backslashes, which the INI format takes for escapes; as an editor on Windows saves
    // the file (byte order mark, CRLF), and quoted, as a path is copied there.
    for (const QByteArray &text : {home.toUtf8(), "\"" + home.toUtf8() + "\" ; copied"}) {
        writeParams("\xef\xbb\xbf[paths]\r\norlunehome=" + text +
                    "\r\n[language]\r\ncurrentLanCode=fr_FR\r\n");
        EXPECT_EQ(productHome().dir, home) << text.constData();
        EXPECT_EQ(currentLanCode(), "de_DE");
        EXPECT_EQ(productHomePlanValue(), 1);
    }

    // Doubled backslashes read as before, even where the text as written names a folder too.
    QDir(app.path()).mkpath("Orlune\\\\Home");
    writeParams("[paths]\norlunehome=" + appPath("Orlune\\\\Home").toUtf8() + "\n");
    EXPECT_EQ(productHome().dir, home);

    // A folder neither way: no product home, reported as written.
    writeParams("[paths]\norlunehome=" + appPath("No\\Home").toUtf8() + "\n");
    EXPECT_EQ(productHome().dir, "");
    EXPECT_EQ(productHome().notFound, appPath("No\\Home"));
}

TEST_F(InstallationFiles, LocalPlanFlagComesFromTheProductHome)
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

TEST_F(InstallationFiles, PathsFollowTheSkinNameAbsentEmptyAndSet)
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
    EXPECT_EQ(logDirectory(), app.path() + "/log");
}

TEST_F(InstallationFiles, EditsAreSeenByTheNextCall)
{
    writeParams("[product]\ninstanceId=Alpha\n");
    EXPECT_EQ(instanceId(), "Alpha");
    writeParams("[product]\ninstanceId=Bravo2\n");
    EXPECT_EQ(instanceId(), "Bravo2");

    // An edit that keeps the size is recognised by its modification time.
    writeParams("[product]\ninstanceId=Charl3\n");
    QFile file(appPath("params.ini"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
    file.close();
    EXPECT_EQ(instanceId(), "Charl3");

    // A same-size edit with its time put back goes unseen by QSettings' own copy of the file;
    // once the time moves on, it is seen.
    const QDateTime charlieTime = QFileInfo(file).lastModified();
    writeParams("[product]\ninstanceId=Delta4\n");
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.setFileTime(charlieTime, QFileDevice::FileModificationTime);
    static_cast<void>(instanceId());
    file.setFileTime(charlieTime.addSecs(5), QFileDevice::FileModificationTime);
    file.close();
    EXPECT_EQ(instanceId(), "Delta4");

    writeSkin("[normal]\nskin=one\n");
    EXPECT_EQ(skinName(), "one");
    writeSkin("[normal]\nskin=second\n");
    EXPECT_EQ(skinName(), "second");

    QFile::remove(appPath("params.ini"));
    EXPECT_EQ(instanceId(), "Orlune");
}

TEST_F(InstallationFiles, GarbageFilesNeverCrashAndAreNeverWritten)
{
    static const char bytes[] = "\x01\xff\xfe[[[\n=\n;;\n[product\nappName=@Variant(\\0\\0\\0\\x7f)\n"
                                "[color]\nthemeColor=@Rect(1 2 3 4)\n\0\0\xc3(garbage";
    const QByteArray garbage(bytes, sizeof bytes - 1);
    writeParams(garbage);
    writeSkin(garbage);
    // A value that is not text reads as empty; keys the garbage lacks take their defaults.
    EXPECT_TRUE(instanceId().isEmpty());
    EXPECT_EQ(currentLanCode(), "en_US");
    EXPECT_EQ(skinName(), "default");

    QFile params(appPath("params.ini"));
    ASSERT_TRUE(params.open(QIODevice::ReadOnly));
    EXPECT_EQ(params.readAll(), garbage);
    QFile skin(appPath("Skin/Client/config.ini"));
    ASSERT_TRUE(skin.open(QIODevice::ReadOnly));
    EXPECT_EQ(skin.readAll(), garbage);
}

TEST_F(InstallationFiles, UnreadableFilesGiveTheDefaults)
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

TEST_F(InstallationFiles, NonRegularFilesAreTreatedAsMissing)
{
    SKIP_ON_WINDOWS("plants FIFOs, which the Windows file system does not have");
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

TEST_F(InstallationFiles, ReadersAgreeAcrossThreads)
{
    writeParams("[product]\nappName=Orlune Pro\ninstanceId=Site9\n");
    std::vector<std::thread> threads;
    std::vector<int> mismatches(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &mismatches] {
            for (int i = 0; i < 100; ++i) {
                if (instanceId() != QStringLiteral("Site9") || appName() != QStringLiteral("Orlune Pro"))
                    ++mismatches[t];
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

} // namespace
