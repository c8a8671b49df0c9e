// The current user's Run value, deleted through the Win32 backend.
#include "platform/autostart.h"

#include "../win32/widestring.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

constexpr const wchar_t *kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

LSTATUS queryRunValue(const std::wstring &name)
{
    return RegGetValueW(HKEY_CURRENT_USER, kRunKey, name.c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr);
}

} // namespace

TEST(Win32Autostart, DeletesTheValueOnceThenReportsItMissing)
{
    // Not ASCII on purpose: the value name must survive the UTF-8 to UTF-16 conversion.
    const std::string name = "Orl\xC3\xBCne test " + testsupport::uniqueName("run");
    const std::wstring wideName = platform::win32::toWide(name);
    const std::wstring unrelated = wideName + L"_other";
    ASSERT_TRUE(testsupport::createAutostartEntry(name));
    ASSERT_TRUE(testsupport::createAutostartEntry(platform::win32::toUtf8(unrelated)));
    ASSERT_EQ(queryRunValue(wideName), ERROR_SUCCESS);

    using Outcome = platform::AutostartRemoval::Outcome;
    EXPECT_EQ(platform::removeAutostartEntry(name).outcome, Outcome::Removed);
    EXPECT_EQ(queryRunValue(wideName), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(queryRunValue(unrelated), ERROR_SUCCESS) << "only the named value goes";

    EXPECT_EQ(platform::removeAutostartEntry(name).outcome, Outcome::Absent);

    EXPECT_EQ(platform::removeAutostartEntry(platform::win32::toUtf8(unrelated)).outcome, Outcome::Removed);
}
