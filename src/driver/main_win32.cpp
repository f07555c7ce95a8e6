// The program's entry: one update run on the process's only thread; its RunState is the exit
// code. The arguments are taken from the process's own command line rather than from WinMain's:
// the C run time compares the bytes of the program's name as signed characters, so an unquoted
// path with a byte of 0x80 or above (C:\Stažené\wqdupdate.exe) would leave the rest of the path
// in front of the arguments.
#include <windows.h>

#include "driver/command_line.h"
#include "driver/platform_win32.h"
#include "driver/update_run.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  Win32Platform platform;
  UpdateRun run(platform, instance);
  return static_cast<int>(run.run(argumentsAfterProgramName(GetCommandLineA())));
}
