#pragma once
// The desktop program: the window on the bot of a home, until it closes.

#include <string>

#include "config/home.h"

namespace corvane {

// Runs the window's bot on `paths.home`; the exit status: 0, or 1 when there is no display, the
// home is held by another bot, or the last save failed.
int RunWindow(const THomePaths& paths);

}  // namespace corvane
