#include <cstdio>

#include "cli/cli.h"
#include "platform/os.h"

int main(int argc, char** argv) {
  pz::IgnoreFileSizeSignal();
  return pz::RunCli(argc, argv, stdin, stdout, stderr);
}
