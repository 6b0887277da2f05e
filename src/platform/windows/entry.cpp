// Entry point of tessiva.exe: a GUI-subsystem program without a window of its own.

#include "main/program.h"
#include "platform/process.h"
#include "platform/windows/windows.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything loads a library: libraries loaded later, and the ones they load in
  // turn, come from the system folder only, never from the program's own folder (often
  // Downloads, for the installer) or the current one.
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  tessiva::platform::exit_process(tessiva::app::run_program());
}
