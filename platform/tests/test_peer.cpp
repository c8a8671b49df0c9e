// The second process of the OS layer's tests.
//
//   platform_test_peer sleep MS    sleeps, then exits with 0
//   platform_test_peer exit CODE   exits with CODE at once
//   platform_test_peer serve DIR   runs the commands DIR/cmd-1, DIR/cmd-2, ... in order and
//                                  writes each one's result line to DIR/res-N
//
// Commands (one line each; NAME is the rest of the line):
//   mutex-create NAME              -> "owned" | "exists ERR" | "failed ERR"
//   mutex-release                  -> "ok"
//   event-create default|anyuser NAME, event-open sync|modify NAME -> "ok" | "failed ERR"
//   event-set, event-reset         -> "ok" | "failed ERR"
//   event-poll                     -> "signalled" | "not-signalled" | "failed"
//   event-close                    -> "ok"
//   pid                            -> the process id
//   exit CODE                      -> "ok", then the process ends with CODE
// A peer that gets no command for a minute ends by itself, so none outlives a crashed test.

#include "platform/ids.h"
#include "platform/namedevent.h"
#include "platform/namedmutex.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

using platform::NamedEvent;
using platform::SingleInstanceMutex;

constexpr int kIdleLimitMs = 60000;

struct State {
    std::optional<SingleInstanceMutex> mutex;
    NamedEvent event;
    int exitCode = -1; // >= 0 once asked to exit
};

std::string failed(platform::ErrorCode error)
{
    return "failed " + std::to_string(error);
}

std::string execute(const std::string &line, State &state)
{
    const std::size_t blank = line.find(' ');
    const std::string verb = line.substr(0, blank);
    const std::string rest = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    const std::size_t second = rest.find(' ');
    const std::string option = rest.substr(0, second);
    const std::string optionName = second == std::string::npos ? std::string() : rest.substr(second + 1);

    if (verb == "mutex-create") {
        state.mutex.emplace(SingleInstanceMutex::create(rest));
        switch (state.mutex->state()) {
        case SingleInstanceMutex::State::Owned:
            return "owned";
        case SingleInstanceMutex::State::AlreadyExists:
            return "exists " + std::to_string(state.mutex->error());
        case SingleInstanceMutex::State::Failed:
            break;
        }
        return failed(state.mutex->error());
    }
    if (verb == "mutex-release") {
        if (state.mutex)
            state.mutex->release();
        return "ok";
    }
    if (verb == "event-create" || verb == "event-open") {
        if (verb == "event-create")
            state.event =
                NamedEvent::create(optionName, option == "anyuser" ? NamedEvent::Security::AnyLocalUserMaySet
                                                                   : NamedEvent::Security::Default);
        else
            state.event = NamedEvent::open(optionName, option == "modify" ? NamedEvent::Access::Modify
                                                                          : NamedEvent::Access::Synchronize);
        return state.event.valid() ? "ok" : failed(state.event.error());
    }
    if (verb == "event-set" || verb == "event-reset") {
        platform::ErrorCode error = 0;
        const bool done = verb == "event-set" ? state.event.set(&error) : state.event.reset(&error);
        return done ? "ok" : failed(error);
    }
    if (verb == "event-poll") {
        switch (state.event.poll()) {
        case NamedEvent::WaitResult::Signalled:
            return "signalled";
        case NamedEvent::WaitResult::NotSignalled:
            return "not-signalled";
        case NamedEvent::WaitResult::Failed:
            break;
        }
        return "failed";
    }
    if (verb == "event-close") {
        state.event.close();
        return "ok";
    }
    if (verb == "pid")
        return std::to_string(platform::currentProcessId());
    if (verb == "exit") {
        state.exitCode = std::atoi(rest.c_str());
        return "ok";
    }
    return "unknown command";
}

int serve(const fs::path &directory)
{
    State state;
    for (int number = 1;; ++number) {
        const fs::path command = directory / ("cmd-" + std::to_string(number));
        const auto idleSince = std::chrono::steady_clock::now();
        while (!fs::exists(command)) {
            if (std::chrono::steady_clock::now() - idleSince > std::chrono::milliseconds(kIdleLimitMs))
                return 3;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        // A file renamed into place a moment ago may still refuse to open on Windows; commands
        // are never empty, so an empty read is tried again.
        std::string line;
        for (int tries = 0; line.empty() && tries < 500; ++tries) {
            if (tries > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            std::ifstream in(command, std::ios::binary);
            std::getline(in, line);
        }
        const std::string result = execute(line, state);
        const fs::path answer = directory / ("res-" + std::to_string(number));
        {
            std::ofstream out(answer.string() + ".tmp", std::ios::binary | std::ios::trunc);
            out << result << '\n';
        }
        fs::rename(answer.string() + ".tmp", answer);
        if (state.exitCode >= 0)
            return state.exitCode;
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::string(argv[1]) == "sleep") {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
        return 0;
    }
    if (argc == 3 && std::string(argv[1]) == "exit")
        return std::atoi(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "serve")
        return serve(argv[2]);
    return 2;
}
