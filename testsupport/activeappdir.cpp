#include "activeappdir.h"

#include <installation/files.h>

ActiveAppDir::ActiveAppDir()
{
    installation::overrideApplicationDir(path());
}

ActiveAppDir::~ActiveAppDir()
{
    installation::overrideApplicationDir(QString());
}
