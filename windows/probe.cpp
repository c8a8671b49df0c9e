// A GUI-subsystem program that only carries a program's resources for inspection.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return 0;
}
