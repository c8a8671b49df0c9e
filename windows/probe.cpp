// A GUI-subsystem program that only carries a program's resources for inspection. The entry
// point is declared by hand so no Windows header is needed outside the OS layer.
extern "C" int __stdcall WinMain(void *, void *, char *, int)
{
    return 0;
}
