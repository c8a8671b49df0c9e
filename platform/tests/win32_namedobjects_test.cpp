// Kernel-object error codes and the language event's security, as the Win32 backend reports them.
#include "platform/namedevent.h"
#include "platform/namedmutex.h"

#include "../win32/eventsecurity.h"
#include "../win32/widestring.h"
#include "testsupport.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

using platform::NamedEvent;
using platform::SingleInstanceMutex;

namespace {

std::string uniqueObjectName(const std::string &label)
{
    return "Local\\" + testsupport::uniqueName("orlune_" + label);
}

// The DACL of a named event as SDDL text, read through a fresh handle.
std::wstring daclOf(const std::string &eventName)
{
    const std::wstring name = platform::win32::toWide(eventName);
    HANDLE handle = OpenEventW(READ_CONTROL, FALSE, name.c_str());
    if (!handle)
        return L"<open failed " + std::to_wstring(GetLastError()) + L">";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD got = GetSecurityInfo(handle, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                      nullptr, nullptr, &descriptor);
    CloseHandle(handle);
    if (got != ERROR_SUCCESS)
        return L"<GetSecurityInfo failed " + std::to_wstring(got) + L">";
    wchar_t *text = nullptr;
    std::wstring result;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                             DACL_SECURITY_INFORMATION, &text, nullptr)) {
        result = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return result;
}

} // namespace

TEST(Win32Mutex, SecondCreateReportsAlreadyExistsAndTheNameFreesOnRelease)
{
    const std::string name = uniqueObjectName("mutex");
    SingleInstanceMutex first = SingleInstanceMutex::create(name);
    ASSERT_EQ(first.state(), SingleInstanceMutex::State::Owned);
    EXPECT_EQ(first.error(), 0u);

    SingleInstanceMutex second = SingleInstanceMutex::create(name);
    EXPECT_EQ(second.state(), SingleInstanceMutex::State::AlreadyExists);
    EXPECT_EQ(second.error(), 183u);

    first.release();
    second.release();
    second.release(); // idempotent
    SingleInstanceMutex third = SingleInstanceMutex::create(name);
    EXPECT_EQ(third.state(), SingleInstanceMutex::State::Owned);
}

TEST(Win32Mutex, NameTakenByAnotherKindOfObjectFailsWithItsError)
{
    const std::string name = uniqueObjectName("clash");
    NamedEvent event = NamedEvent::create(name, NamedEvent::Security::Default);
    ASSERT_TRUE(event.valid());

    SingleInstanceMutex mutex = SingleInstanceMutex::create(name);
    EXPECT_EQ(mutex.state(), SingleInstanceMutex::State::Failed);
    EXPECT_EQ(mutex.error(), static_cast<platform::ErrorCode>(ERROR_INVALID_HANDLE));
}

TEST(Win32Event, OpenErrorsAndRightsOfTheHandle)
{
    const std::string name = uniqueObjectName("event");
    NamedEvent missing = NamedEvent::open(name, NamedEvent::Access::Synchronize);
    EXPECT_FALSE(missing.valid());
    EXPECT_EQ(missing.error(), 2u);

    NamedEvent creator = NamedEvent::create(name, NamedEvent::Security::Default);
    ASSERT_TRUE(creator.valid());
    EXPECT_EQ(creator.error(), 0u);
    EXPECT_EQ(creator.poll(), NamedEvent::WaitResult::NotSignalled);

    NamedEvent watcher = NamedEvent::open(name, NamedEvent::Access::Synchronize);
    ASSERT_TRUE(watcher.valid());
    platform::ErrorCode error = 0;
    EXPECT_FALSE(watcher.set(&error));
    EXPECT_EQ(error, 5u);
    error = 0;
    EXPECT_FALSE(watcher.reset(&error));
    EXPECT_EQ(error, 5u);

    NamedEvent setter = NamedEvent::open(name, NamedEvent::Access::Modify);
    ASSERT_TRUE(setter.valid());
    EXPECT_TRUE(setter.set());
    EXPECT_EQ(watcher.poll(), NamedEvent::WaitResult::Signalled);
    EXPECT_EQ(watcher.poll(), NamedEvent::WaitResult::Signalled) << "manual reset: polling does not consume";
    EXPECT_TRUE(setter.reset());
    EXPECT_EQ(creator.poll(), NamedEvent::WaitResult::NotSignalled);

    // A second create opens the existing event and keeps its state.
    EXPECT_TRUE(setter.set());
    NamedEvent again = NamedEvent::create(name, NamedEvent::Security::Default);
    ASSERT_TRUE(again.valid());
    EXPECT_EQ(again.error(), 0u);
    EXPECT_EQ(again.poll(), NamedEvent::WaitResult::Signalled);
}

TEST(Win32Event, ClosedOrMovedFromHandleFails)
{
    NamedEvent event = NamedEvent::create(uniqueObjectName("moved"), NamedEvent::Security::Default);
    NamedEvent owner = std::move(event);
    EXPECT_TRUE(owner.valid());
    EXPECT_FALSE(event.valid()); // NOLINT(bugprone-use-after-move): the moved-from state is the point
    platform::ErrorCode error = 0;
    EXPECT_FALSE(event.set(&error));
    EXPECT_EQ(error, static_cast<platform::ErrorCode>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(event.poll(), NamedEvent::WaitResult::Failed);
    owner.close();
    EXPECT_EQ(owner.poll(), NamedEvent::WaitResult::Failed);
}

TEST(Win32Event, NameTakenByAMutexFailsToCreate)
{
    const std::string name = uniqueObjectName("eventclash");
    SingleInstanceMutex mutex = SingleInstanceMutex::create(name);
    ASSERT_EQ(mutex.state(), SingleInstanceMutex::State::Owned);
    NamedEvent event = NamedEvent::create(name, NamedEvent::Security::AnyLocalUserMaySet);
    EXPECT_FALSE(event.valid());
    EXPECT_EQ(event.error(), static_cast<platform::ErrorCode>(ERROR_INVALID_HANDLE));
}

TEST(Win32EventSecurity, LanguageEventCarriesTheUsersDacl)
{
    const std::string shared = uniqueObjectName("language");
    NamedEvent event = NamedEvent::create(shared, NamedEvent::Security::AnyLocalUserMaySet);
    ASSERT_TRUE(event.valid());
    EXPECT_EQ(daclOf(shared), L"D:(A;;0x100003;;;BU)");

    const std::string plain = uniqueObjectName("exit");
    NamedEvent exitEvent = NamedEvent::create(plain, NamedEvent::Security::Default);
    ASSERT_TRUE(exitEvent.valid());
    EXPECT_EQ(daclOf(plain).find(L"BU)"), std::wstring::npos) << "default security grants Users nothing";
}

TEST(Win32EventSecurity, AttributesFromValidTextAndNoneFromInvalidText)
{
    platform::win32::EventSecurity valid(platform::win32::kAnyLocalUserMaySetSddl);
    ASSERT_NE(valid.attributes(), nullptr);
    EXPECT_EQ(valid.attributes()->nLength, 24u);
    EXPECT_EQ(valid.attributes()->bInheritHandle, FALSE);
    EXPECT_NE(valid.attributes()->lpSecurityDescriptor, nullptr);

    // A failed conversion leaves the caller on default security.
    platform::win32::EventSecurity invalid(L"D:(this is not SDDL");
    EXPECT_EQ(invalid.attributes(), nullptr);
}
