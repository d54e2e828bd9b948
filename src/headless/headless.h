#pragma once
// The console front end: the application core without a window. Pane lines go to stdout,
// lines read from stdin are typed into the input line, SIGINT and SIGTERM close the bot
// as the window's close does, SIGHUP restarts the plug-in system.

#include <string>

namespace corvane {

// Runs the bot in `home` until it is closed; returns the process's exit code.
int RunHeadless(const std::string& home);

}  // namespace corvane
