#include "skip.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace testsupport {

bool runningUnderWine()
{
#ifdef _WIN32
    // Wine's ntdll exports its version; Windows' does not.
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
    return false;
#endif
}

} // namespace testsupport
