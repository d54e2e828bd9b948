#pragma once
// The console front end: the application core without a window. Pane lines go to stdout,
// lines read from stdin are typed into the input line, SIGINT and SIGTERM close the bot
// as the window's close does, SIGHUP restarts the plug-in system.

#include <string>

#include "config/home.h"

namespace corvane {

// Runs the bot in `paths.home` until it is closed; returns the process's exit code. The home
// is the bot's alone while it runs (THomeLock) and the process's current folder; the start
// is refused with kExitFailed while another bot runs there.
int RunHeadless(const THomePaths& paths);

}  // namespace corvane
