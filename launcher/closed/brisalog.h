#pragma once

#include "iloghandler.h"
#include "tqexport.h"

// A rotating file log. The object lives until the process ends; it is never released.
class IBrisaLog : public ILogHandler {
public:
    enum Mode : int {
        FileOnly = 0,
        FileAndConsole = 1,
    };
    enum OpenFlags : int {
        AppendToCurrentFile = 0,
        RotateOnOpen = 1,
    };

    virtual void setMode(int mode) = 0;
    // `path` in the local 8-bit encoding. A file that reached maxFileSize is kept under its
    // name with a generation number; at most maxFiles such generations are kept.
    virtual bool open(const char *path, unsigned long maxFileSize, int maxFiles, int flags) = 0;
};

TQLOG_API IBrisaLog *CreateBrisaLog();
