// The program's entry: one update run on the process's only thread; its RunState is the exit
// code. The C run time hands WinMain the command line without the program's own name.
#include <windows.h>

#include "driver/platform_win32.h"
#include "driver/update_run.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  Win32Platform platform;
  UpdateRun run(platform, instance);
  return static_cast<int>(run.run(commandLine));
}
