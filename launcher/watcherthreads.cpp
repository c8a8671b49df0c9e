#include "watcherthreads.h"

#include "processlookup.h"

#include <chrono>
#include <thread>

namespace {

#ifdef _WIN32
constexpr const char *kTypeperfExe = "typeperf.exe";
#else
constexpr const char *kTypeperfExe = "typeperf";
#endif

} // namespace

void killTypeperfProcess()
{
    unsigned long processId = 0;
    if (!findProcessByName(kTypeperfExe, processId))
        return;
    terminateProcessById(processId);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
}

void idleWorkerLoop(const std::atomic<bool> &stop)
{
    while (!stop)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}
