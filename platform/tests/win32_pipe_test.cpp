// The pipe client against a pipe server in this process, with the error codes the tray logs.
#include "platform/pipe.h"

#include "testsupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

using platform::PipeConnection;
using testsupport::TestPipeServer;

namespace {

std::string uniquePipePath(const std::string &label)
{
    return "\\\\.\\pipe\\" + testsupport::uniqueName("orlune_" + label);
}

bool send(PipeConnection &connection, const std::string &text)
{
    platform::ErrorCode error = 0;
    return connection.write(text.data(), text.size(), error);
}

} // namespace

TEST(Win32Pipe, AbsentPipeFailsWithFileNotFound)
{
    const std::string path = uniquePipePath("absent");
    platform::ErrorCode error = 0;
    EXPECT_FALSE(platform::waitForPipe(path, 5000, error));
    EXPECT_EQ(error, 2u);

    PipeConnection connection = PipeConnection::open(path);
    EXPECT_FALSE(connection.valid());
    EXPECT_EQ(connection.error(), 2u);
}

TEST(Win32Pipe, BusyPipeTimesOutWaitingAndRefusesToOpen)
{
    const std::string path = uniquePipePath("busy");
    TestPipeServer server(path, TestPipeServer::Mode::Busy);
    ASSERT_TRUE(server.listening());

    platform::ErrorCode error = 0;
    EXPECT_FALSE(platform::waitForPipe(path, 200, error));
    EXPECT_EQ(error, 121u);

    PipeConnection connection = PipeConnection::open(path);
    EXPECT_FALSE(connection.valid());
    EXPECT_EQ(connection.error(), 231u);
}

TEST(Win32Pipe, ExchangeDeliversRequestAndAnswerByteForByte)
{
    const std::string path = uniquePipePath("answer");
    const std::string answer = R"({"ret":0,"uptime":12})";
    TestPipeServer server(path, TestPipeServer::Mode::Answer, answer);
    ASSERT_TRUE(server.listening());

    platform::ErrorCode error = 99;
    ASSERT_TRUE(platform::waitForPipe(path, 1000, error));
    EXPECT_EQ(error, 0u);

    for (int round = 0; round < 2; ++round) { // one connection per request, again and again
        PipeConnection connection = PipeConnection::open(path);
        ASSERT_TRUE(connection.valid()) << connection.error();
        ASSERT_TRUE(send(connection, "{\"cmd\":\"GET_STATUS\"}\n"));
        char buffer[4096] = {};
        const PipeConnection::ReadResult read = connection.read(buffer, 4095, 3000);
        ASSERT_TRUE(read.ok) << read.error;
        EXPECT_FALSE(read.timedOut);
        EXPECT_EQ(std::string(buffer, read.bytes), answer);
    }
    EXPECT_EQ(server.lastRequest(), "{\"cmd\":\"GET_STATUS\"}\n");
}

TEST(Win32Pipe, OneReadTakesAtMostTheRequestedBytes)
{
    const std::string path = uniquePipePath("long");
    const std::string answer(5000, 'x');
    TestPipeServer server(path, TestPipeServer::Mode::Answer, answer);
    ASSERT_TRUE(server.listening());

    PipeConnection connection = PipeConnection::open(path);
    ASSERT_TRUE(connection.valid()) << connection.error();
    ASSERT_TRUE(send(connection, "GET\n"));
    std::string buffer(8192, '\0');
    const PipeConnection::ReadResult read = connection.read(buffer.data(), 4095, 3000);
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.bytes, 4095u);
    EXPECT_EQ(buffer[4095], '\0') << "nothing written beyond the limit";

    // The rest is waiting in the pipe already, so this read completes at once.
    const PipeConnection::ReadResult rest = connection.read(buffer.data(), 4095, 3000);
    ASSERT_TRUE(rest.ok) << rest.error;
    EXPECT_EQ(rest.bytes, answer.size() - 4095);
}

TEST(Win32Pipe, ServerClosingWithoutAnswerGivesBrokenPipe)
{
    const std::string path = uniquePipePath("close");
    TestPipeServer server(path, TestPipeServer::Mode::CloseWithoutWriting);
    ASSERT_TRUE(server.listening());

    PipeConnection connection = PipeConnection::open(path);
    ASSERT_TRUE(connection.valid()) << connection.error();
    ASSERT_TRUE(send(connection, "GET\n"));
    char buffer[4096];
    const PipeConnection::ReadResult read = connection.read(buffer, 4095, 3000);
    EXPECT_FALSE(read.ok);
    EXPECT_FALSE(read.timedOut);
    EXPECT_EQ(read.bytes, 0u);
    EXPECT_EQ(read.error, 109u);

    platform::ErrorCode error = 0;
    EXPECT_FALSE(connection.write("GET\n", 4, error)) << "the other end is gone";
    EXPECT_EQ(error, 232u);
}

TEST(Win32Pipe, SilentServerCostsOneBoundedReadThenTheNextExchangeWorks)
{
    const std::string path = uniquePipePath("silent");
    TestPipeServer server(path, TestPipeServer::Mode::NeverAnswer);
    ASSERT_TRUE(server.listening());

    PipeConnection connection = PipeConnection::open(path);
    ASSERT_TRUE(connection.valid()) << connection.error();
    ASSERT_TRUE(send(connection, "GET\n"));
    char buffer[4096];
    const PipeConnection::ReadResult read = connection.read(buffer, 4095, 300);
    EXPECT_FALSE(read.ok);
    EXPECT_TRUE(read.timedOut);
    EXPECT_EQ(read.bytes, 0u);
    EXPECT_EQ(read.error, 995u);
    connection.close();

    // The server is still there: a new connection is accepted and times out again.
    PipeConnection next = PipeConnection::open(path);
    ASSERT_TRUE(next.valid()) << next.error();
    ASSERT_TRUE(send(next, "GET\n"));
    EXPECT_TRUE(next.read(buffer, 4095, 100).timedOut);
}

TEST(Win32Pipe, ClosedConnectionRefusesIo)
{
    const std::string path = uniquePipePath("closed");
    TestPipeServer server(path, TestPipeServer::Mode::Answer, "{}");
    ASSERT_TRUE(server.listening());
    PipeConnection connection = PipeConnection::open(path);
    ASSERT_TRUE(connection.valid());
    PipeConnection moved = std::move(connection);
    EXPECT_TRUE(moved.valid());
    moved.close();
    EXPECT_FALSE(moved.valid());

    platform::ErrorCode error = 0;
    EXPECT_FALSE(moved.write("x", 1, error));
    EXPECT_EQ(error, static_cast<platform::ErrorCode>(ERROR_INVALID_HANDLE));
    char buffer[8];
    const PipeConnection::ReadResult read = moved.read(buffer, sizeof(buffer), 100);
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(read.error, static_cast<platform::ErrorCode>(ERROR_INVALID_HANDLE));
}

TEST(Win32Pipe, LocalServerNameIsThePipePathItself)
{
    EXPECT_EQ(platform::localServerNameForPipe("\\\\.\\pipe\\Orlune_Service"), "\\\\.\\pipe\\Orlune_Service");
}

namespace {

// One pipe instance that only this thread serves, with buffers of `bufferSize` bytes (none:
// a write waits until the server reads).
struct RawPipeInstance {
    RawPipeInstance(const std::string &path, DWORD bufferSize)
        : handle(CreateNamedPipeW(std::wstring(path.begin(), path.end()).c_str(), PIPE_ACCESS_DUPLEX,
                                  PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, bufferSize, bufferSize,
                                  0, nullptr))
    {
    }
    ~RawPipeInstance()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    HANDLE handle;
};

} // namespace

TEST(Win32Pipe, AServiceThatNeverReadsCostsOneBoundedWrite)
{
    const std::string path = uniquePipePath("noread");
    RawPipeInstance server(path, 0);
    ASSERT_NE(server.handle, INVALID_HANDLE_VALUE) << GetLastError();
    PipeConnection connection = PipeConnection::open(path);
    ASSERT_TRUE(connection.valid()) << connection.error();

    // Far more than any pipe buffer holds.
    const std::string request(4 << 20, 'x');
    const DWORD started = GetTickCount();
    platform::ErrorCode error = 0;
    EXPECT_FALSE(connection.write(request.data(), request.size(), error));
    EXPECT_EQ(error, static_cast<platform::ErrorCode>(ERROR_TIMEOUT));
    EXPECT_LT(GetTickCount() - started, 20000u) << "the write was not given up";
}

TEST(Win32Pipe, TheServerMayIdentifyTheClientButNotImpersonateIt)
{
    const std::string path = uniquePipePath("sqos");
    RawPipeInstance server(path, 4096);
    ASSERT_NE(server.handle, INVALID_HANDLE_VALUE) << GetLastError();
    PipeConnection connection = PipeConnection::open(path);
    ASSERT_TRUE(connection.valid()) << connection.error();
    ASSERT_TRUE(send(connection, "x"));
    char request = 0;
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(server.handle, &request, 1, &got, nullptr)) << GetLastError();

    ASSERT_TRUE(ImpersonateNamedPipeClient(server.handle)) << GetLastError();
    HANDLE token = nullptr;
    const BOOL opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token);
    SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;
    DWORD size = 0;
    const BOOL queried =
        opened && GetTokenInformation(token, TokenImpersonationLevel, &level, sizeof level, &size);
    if (token)
        CloseHandle(token);
    RevertToSelf();
    ASSERT_TRUE(queried) << GetLastError();
    // Wine's pipe server impersonates at full level whatever the client asked for.
    const auto ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll && GetProcAddress(ntdll, "wine_get_version") && level == SecurityImpersonation)
        GTEST_SKIP() << "Wine does not apply the client's impersonation level";
    EXPECT_EQ(level, SecurityIdentification);
}
