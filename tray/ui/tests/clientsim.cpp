// A stand-in for the client program in the tray's tests, copied under the client's executable
// name. "obey NAME" leaves as soon as the exit-request event NAME is set, "ignore" runs until it
// is killed, "set NAME" sets the named event once and ends (another process's handle).

#include <platform/namedevent.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

using namespace std::chrono_literals;

void announceReady()
{
    std::puts("ready");
    std::fflush(stdout);
}

int obey(const char *eventName)
{
    // The tray may create its event a moment after this process starts.
    platform::NamedEvent event;
    for (int attempt = 0; attempt < 500 && !event.valid(); ++attempt) {
        event = platform::NamedEvent::open(eventName, platform::NamedEvent::Access::Synchronize);
        if (!event.valid())
            std::this_thread::sleep_for(20ms);
    }
    if (!event.valid()) {
        std::fprintf(stderr, "clientsim: cannot open %s\n", eventName);
        return 2;
    }
    announceReady();
    while (event.poll() != platform::NamedEvent::WaitResult::Signalled)
        std::this_thread::sleep_for(20ms);
    std::puts("exit requested");
    return 0;
}

int ignore()
{
    announceReady();
    for (;;)
        std::this_thread::sleep_for(1s);
}

int setEvent(const char *eventName)
{
    platform::NamedEvent event = platform::NamedEvent::open(eventName, platform::NamedEvent::Access::Modify);
    platform::ErrorCode error = 0;
    if (!event.valid() || !event.set(&error)) {
        std::fprintf(stderr, "clientsim: cannot set %s (error %lu %lu)\n", eventName, event.error(), error);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "obey") == 0)
        return obey(argv[2]);
    if (argc == 2 && std::strcmp(argv[1], "ignore") == 0)
        return ignore();
    if (argc == 3 && std::strcmp(argv[1], "set") == 0)
        return setEvent(argv[2]);
    std::fprintf(stderr, "usage: clientsim obey EVENT | ignore | set EVENT\n");
    return 2;
}
