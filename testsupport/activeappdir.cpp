#include "activeappdir.h"

#include "config.h"

ActiveAppDir::ActiveAppDir()
{
    overrideApplicationDir(path());
}

ActiveAppDir::~ActiveAppDir()
{
    overrideApplicationDir(QString());
}
