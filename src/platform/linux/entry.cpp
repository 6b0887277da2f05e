// Entry point of the native build.

#include "main/program.h"
#include "platform/linux/posix_process.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  tessiva::platform::set_process_arguments(argc, argv);
  tessiva::platform::exit_process(tessiva::app::run_program());
}
