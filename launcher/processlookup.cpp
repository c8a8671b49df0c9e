#include "processlookup.h"

#include "platform/processes.h"

#include <QString>

#include <vector>

bool findProcessByName(const char *exeName, unsigned long &processId)
{
    std::vector<platform::ProcessEntry> processes;
    platform::ErrorCode error = 0;
    if (!platform::snapshotProcesses(processes, error))
        return false;
    const QString wanted = QString::fromUtf8(exeName);
    for (const platform::ProcessEntry &process : processes) {
        if (QString::fromStdString(process.exeName).compare(wanted, Qt::CaseInsensitive) == 0) {
            processId = process.pid;
            return true;
        }
    }
    return false;
}

bool terminateProcessById(unsigned long processId)
{
    platform::ProcessHandle process =
        platform::ProcessHandle::open(processId, platform::ProcessHandle::Access::Terminate);
    return process.valid() && process.terminate(0);
}
