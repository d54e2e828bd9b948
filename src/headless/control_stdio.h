#pragma once
// `corvane --control-stdio`: a window on another machine reaches a bot there through
// `ssh host corvane --home HOME --control-stdio`, which joins the ssh channel to the bot's
// control socket.

#include <string>

namespace corvane {

// Copies bytes both ways between stdin/stdout and the control socket of the bot running on
// `home`, without reading them, until the bot closes the connection or stdout is gone; at
// the end of stdin the bot is told that no more comes and its output is still copied. 0 at
// the end, 1 (the reason on stderr) when no bot runs there or a copy failed.
int RunControlStdio(const std::string& home);

}  // namespace corvane
