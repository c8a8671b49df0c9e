#include "appdirhook.h"

#include "standinhooks.h"

#include <installation/files.h>

namespace standin {

void followAppDirHook()
{
    const QString dir = hookText("ORLUNE_STANDIN_APPDIR");
    if (!dir.isEmpty())
        installation::overrideApplicationDir(dir);
}

} // namespace standin
