// Sets a named event from a Windows process of its own, as the program that switches the
// product's language does, and prints when: "set <milliseconds since the epoch>", so a test can
// tell how soon the tray reacted.
// Usage: wine_event_setter NAME   (exit 0 when set, 1 when the event cannot be opened or set)

#include "platform/namedevent.h"

#include <chrono>
#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fputs("usage: wine_event_setter NAME\n", stderr);
        return 2;
    }
    platform::NamedEvent event = platform::NamedEvent::open(argv[1], platform::NamedEvent::Access::Modify);
    platform::ErrorCode error = event.error();
    if (!event.valid() || !event.set(&error)) {
        std::fprintf(stderr, "cannot set %s: error %lu\n", argv[1], error);
        return 1;
    }
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    std::printf("set %lld\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()));
    return 0;
}
