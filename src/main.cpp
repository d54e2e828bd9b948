// Command-line entry of the bot: the window, the headless front end, the bridge to a
// running bot's control socket and the command-line operations.

#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/bot_channel.h"
#include "config/home.h"
#include "headless/cli.h"
#include "headless/control_stdio.h"
#include "headless/headless.h"
#ifdef CORVANE_HAS_WINDOW
#include "ui/run_window.h"
#endif
#include "version.h"

namespace {

constexpr char kUsage[] =
    "Usage: corvane [--home DIR]            (the window, in a build that has one)\n"
    "       corvane [--home DIR] --headless\n"
    "       corvane [--home DIR] profile list\n"
    "       corvane [--home DIR] profile create NAME [--from PARENT]\n"
    "       corvane [--home DIR] profile use NAME\n"
    "       corvane [--home DIR] profile delete NAME\n"
    "       corvane [--home DIR] profile rename OLD NEW\n"
    "       corvane [--home DIR] profile set NAME Section.Key=value...\n"
    "       corvane [--home DIR] users add NAME ACCESS [FLAGS]\n"
    "       corvane [--home DIR] users list\n"
    "       corvane [--home DIR] say TEXT...\n"
    "       corvane [--home DIR] status\n"
    "       corvane [--home DIR] --control-stdio\n"
    "       corvane --attach [[USER@]HOST:]HOME\n"
    "       corvane --help | --version\n"
    "\n"
    "A chat bot for Battle.net-protocol chat servers.\n"
    "  --headless   run without a window: chat to stdout, stdin is the input line\n"
    "  --home DIR   the folder holding profiles.ini, profiles/, lang/ and plugins/\n"
    "               (default: $CORVANE_HOME, else for an installed program\n"
    "               $XDG_DATA_HOME/corvane or ~/.local/share/corvane, else the\n"
    "               program's own folder)\n"
    "  --control-stdio\n"
    "               join stdin and stdout to the control socket of the bot running\n"
    "               on the home (for a window on another machine, through ssh)\n"
    "  --attach [[USER@]HOST:]HOME\n"
    "               the window on the bot running on HOME, on this machine or on\n"
    "               HOST through ssh (ssh HOST corvane --home HOME --control-stdio;\n"
    "               HOST: alone is the host's default home; $CORVANE_SSH names\n"
    "               another ssh); closing it leaves the bot running\n"
    "The profile and users commands act as the settings dialog would: on a bot\n"
    "running on the home, which makes the change at once, else on the current\n"
    "profile's files. say and status need a running bot; status prints\n"
    "'running: no' and exits with 3 when none runs.\n";

// The sub-commands; the words after the command's name are its arguments.
struct TCommand {
  const char* name;
  int (*run)(const corvane::THomePaths& paths, const std::vector<std::string>& args,
             std::ostream& out, std::ostream& err);
};
constexpr TCommand kCommands[] = {
    {"profile", corvane::RunProfileCommand},
    {"users", corvane::RunUsersCommand},
    {"say", corvane::RunSayCommand},
    {"status", corvane::RunStatusCommand},
};

// The modes that run instead of the window, one at a time.
struct TMode {
  const char* name;
  int (*run)(const corvane::THomePaths& paths);
};
constexpr TMode kModes[] = {
    {"--headless", [](const corvane::THomePaths& paths) { return corvane::RunHeadless(paths); }},
    {"--control-stdio",
     [](const corvane::THomePaths& paths) { return corvane::RunControlStdio(paths.home); }},
};

template <class T, std::size_t N>
const T* Named(const T (&table)[N], const std::string& word) {
  for (const T& entry : table) {
    if (word == entry.name) return &entry;
  }
  return nullptr;
}

// The program's own folder: its home when it runs from its build or a portable folder.
std::string ProgramFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path().string();
  return exe.parent_path().string();
}

int UsageError(const std::string& what) {
  std::cerr << "corvane: " << what << " (try --help)\n";
  return corvane::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  std::string home;
  const TMode* mode = nullptr;
  const TCommand* command = nullptr;
  std::vector<std::string> args;  // the command's
  std::optional<std::string> attach;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (command != nullptr) {
      args.push_back(arg);
    } else if (arg == "--version") {
      std::printf("corvane %s\n", corvane::kVersion);
      return 0;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--home") {
      if (i + 1 >= argc) return UsageError("--home needs a folder");
      home = argv[++i];
    } else if (arg.rfind("--home=", 0) == 0) {
      home = arg.substr(7);
    } else if (arg == "--attach" || arg.rfind("--attach=", 0) == 0) {
      if (arg == "--attach" && i + 1 >= argc) return UsageError("--attach needs a bot's home");
      attach = arg == "--attach" ? argv[++i] : arg.substr(9);
    } else if (const TMode* m = Named(kModes, arg)) {
      if (mode != nullptr && mode != m) {
        return UsageError(std::string(mode->name) + " does not go with " + m->name);
      }
      mode = m;
    } else if (const TCommand* c = Named(kCommands, arg)) {
      command = c;
    } else {
      return UsageError("unknown option '" + arg + "'");
    }
  }
  if (attach) {
    if (mode != nullptr || command != nullptr || !home.empty()) {
      return UsageError("--attach goes alone: the home is the running bot's");
    }
    std::string error;
    const std::optional<corvane::TAttachTarget> target = corvane::ParseAttachTarget(*attach, error);
    if (!target) return UsageError(error);
#ifdef CORVANE_HAS_WINDOW
    return corvane::RunAttachedWindow(*target, corvane::ResolveHome("", ProgramFolder()).shared);
#else
    return UsageError("this build has no window to attach");
#endif
  }
  const corvane::THomePaths paths = corvane::ResolveHome(home, ProgramFolder());
  std::string error;
  if (paths.per_user && !corvane::EnsureHome(paths.home, error)) {
    std::cerr << "corvane: " << error << '\n';
    return corvane::kExitFailed;
  }
  if (command != nullptr) {
    if (mode != nullptr) {
      return UsageError(std::string(mode->name) + " does not go with '" + command->name + "'");
    }
    return command->run(paths, args, std::cout, std::cerr);
  }
  if (mode != nullptr) return mode->run(paths);
#ifdef CORVANE_HAS_WINDOW
  return corvane::RunWindow(paths);
#else
  return UsageError("this build has no window; run with --headless");
#endif
}
