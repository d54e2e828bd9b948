// Command-line entry of the bot.

#include <cstdio>
#include <cstring>

#include "version.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("corvane %s\n", corvane::kVersion);
      return 0;
    }
    if (std::strcmp(argv[i], "--help") == 0) {
      std::printf(
          "Usage: corvane [--help] [--version]\n"
          "A chat bot for Battle.net-protocol chat servers.\n");
      return 0;
    }
    std::fprintf(stderr, "corvane: unknown option '%s' (try --help)\n", argv[i]);
    return 2;
  }
  std::printf("corvane %s: no front end is built into this version yet; try --help\n",
              corvane::kVersion);
  return 0;
}
