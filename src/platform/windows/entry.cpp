// Entry point of tessiva.exe: a GUI-subsystem program without a window of its own.

#include "main/program.h"
#include "platform/process.h"
#include "platform/windows/windows.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { tessiva::platform::exit_process(tessiva::app::run_program()); }
