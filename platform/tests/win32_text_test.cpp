// Text conversion for the wide calls, and the service commands of the Windows system.
#include "platform/logfile.h"
#include "platform/servicecommands.h"
#include "platform/termination.h"

#include "../win32/widestring.h"

#include <gtest/gtest.h>

#include <windows.h>

using platform::win32::toUtf8;
using platform::win32::toWide;

TEST(Win32WideString, RoundTripsEveryPlane)
{
    const std::string text =
        "Local\\Orl\xC3\xBCne_\xE6\x97\xA5\xE6\x9C\xAC_\xF0\x9F\x94\x92"; // ü, two CJK, U+1F512
    const std::wstring wide = toWide(text);
    EXPECT_EQ(wide, L"Local\\Orl\u00FCne_\u65E5\u672C_\U0001F512");
    EXPECT_EQ(wide.size(), 18u) << "the lock symbol takes a surrogate pair";
    EXPECT_EQ(toUtf8(wide), text);
    EXPECT_EQ(toUtf8(wide.c_str()), text);
}

TEST(Win32WideString, EmptyNullAndInvalidInput)
{
    EXPECT_EQ(toWide(""), L"");
    EXPECT_EQ(toUtf8(std::wstring()), "");
    EXPECT_EQ(toUtf8(static_cast<const wchar_t *>(nullptr)), "");
    EXPECT_EQ(toWide("a\xFF"
                     "b"),
              L"a\uFFFDb")
        << "a stray byte is replaced, not dropped with the rest";
    EXPECT_EQ(toWide(std::string("a\0b", 3)).size(), 3u) << "length is taken from the string, not a NUL";
}

TEST(Win32WideString, LocalPathIsReadInTheAnsiCodePage)
{
    const std::wstring name = L"C:\\Program Files\\Orlune Pr\u00FCfung\\log";
    char ansi[64] = {};
    BOOL lossy = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, ansi, sizeof ansi, nullptr, &lossy);
    if (length <= 0 || lossy)
        GTEST_SKIP() << "the ANSI code page " << GetACP() << " has no \u00FC";
    EXPECT_EQ(platform::localPathToUtf8(ansi), "C:\\Program Files\\Orlune Pr\xC3\xBC"
                                               "fung\\log");
    EXPECT_EQ(platform::localPathToUtf8(""), "");
}

TEST(Win32ServiceCommands, AskWithScAndStartWithNet)
{
    const platform::Command query = platform::serviceQueryCommand("Orlune_Server");
    EXPECT_EQ(query.program, "sc");
    EXPECT_EQ(query.arguments, (std::vector<std::string>{"query", "Orlune_Server"}));
    const platform::Command start = platform::serviceStartCommand("Orlune_Server");
    EXPECT_EQ(start.program, "net");
    EXPECT_EQ(start.arguments, (std::vector<std::string>{"start", "Orlune_Server"}));
}

TEST(Win32ServiceCommands, RunningOnlyWhenNameAndStateAppearCaseSensitively)
{
    const std::string running =
        "\r\nSERVICE_NAME: Orlune_Server \r\n        TYPE               : 10  WIN32_OWN_PROCESS  \r\n"
        "        STATE              : 4  RUNNING \r\n";
    const std::string stopped =
        "\r\nSERVICE_NAME: Orlune_Server \r\n        STATE              : 1  STOPPED \r\n";
    const std::string missing = "[SC] EnumQueryServicesStatus:OpenService FAILED 1060:\r\n\r\n"
                                "The specified service does not exist as an installed service.\r\n";
    EXPECT_TRUE(platform::serviceQueryOutputMeansRunning(running, "Orlune_Server"));
    EXPECT_FALSE(platform::serviceQueryOutputMeansRunning(stopped, "Orlune_Server"));
    EXPECT_FALSE(platform::serviceQueryOutputMeansRunning(missing, "Orlune_Server"));
    EXPECT_FALSE(platform::serviceQueryOutputMeansRunning(running, "orlune_server")) << "name case differs";
    EXPECT_FALSE(platform::serviceQueryOutputMeansRunning("SERVICE_NAME: Orlune_Server STATE: 4 running",
                                                          "Orlune_Server"));
    EXPECT_FALSE(platform::serviceQueryOutputMeansRunning("", "Orlune_Server"));
}

TEST(Win32Termination, NoTerminationDescriptorOnWindows)
{
    EXPECT_EQ(platform::terminationRequestFd(), -1);
}

TEST(Win32Termination, CloseRequestsAreWmCloseToTheThreadOrTheWatchedWindowOnly)
{
    const HWND watched = reinterpret_cast<HWND>(std::uintptr_t{0x1234});
    const auto watchedId = reinterpret_cast<std::uintptr_t>(watched);
    MSG message{};
    message.message = WM_CLOSE;
    EXPECT_TRUE(platform::isCloseRequest(&message, watchedId)) << "posted to the thread";
    message.hwnd = watched;
    EXPECT_TRUE(platform::isCloseRequest(&message, watchedId));
    message.hwnd = reinterpret_cast<HWND>(std::uintptr_t{0x5678});
    EXPECT_FALSE(platform::isCloseRequest(&message, watchedId)) << "a dialog's own close";
    message.hwnd = nullptr;
    message.message = WM_QUIT;
    EXPECT_FALSE(platform::isCloseRequest(&message, watchedId));
    EXPECT_FALSE(platform::isCloseRequest(nullptr, watchedId));
}
