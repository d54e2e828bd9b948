#pragma once
// The desktop program: the window on the bot of a home, until it closes.

#include <string>

#include "app/bot_channel.h"
#include "config/home.h"

namespace corvane {

// Runs the window's bot on `paths.home`, with the control socket open for the owner's other
// clients; the exit status: 0, or 1 when there is no display, the home is held by another
// bot, or the last save failed.
int RunWindow(const THomePaths& paths);

// The window attached to the bot that runs on `target` (here or through ssh), until it is
// closed; the bot runs on unless the person stops it. `shared`: this program's language
// files and icons. 1 when there is no display or no bot to attach to.
int RunAttachedWindow(const TAttachTarget& target, const std::string& shared);

}  // namespace corvane
