// The peer of the updater in bench/e2e/run_time.py: a GUI-subsystem program built like
// wqdupdate.exe (static run time, stripped) that only returns, so that the ratio shows what the
// updater's own work adds to starting a Windows program under Wine.
//
// It imports the same system DLLs as the updater (kernel32, user32, advapi32, msvcrt) without
// calling into user32 or advapi32: loading and initialising those libraries is part of starting
// any GUI program, not work of the updater's.
#include <windows.h>

// Taking the addresses is enough for the linker to import the functions.
extern "C" {
void* volatile trivialGuiImports[] = {reinterpret_cast<void*>(&MessageBoxA),
                                      reinterpret_cast<void*>(&RegCloseKey)};
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
