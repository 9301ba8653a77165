#include <csignal>
#include <cstdio>

#include "cli/cli.h"

int main(int argc, char** argv) {
  // A file-size limit must show as a full volume, not end the program.
  std::signal(SIGXFSZ, SIG_IGN);
  return pz::RunCli(argc, argv, stdin, stdout, stderr);
}
