// The qinghua executable: the command line picks a headless run or the window.
#include "app/command_line.h"
#include "app/window_main.h"

int main(int argc, char* argv[]) {
  return qh::RunCommandLine(argc, argv, qh::RunWindow);
}
