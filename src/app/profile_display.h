#pragma once
// The chat-pane lines that show a user or clan profile when its answer arrives.

#include <string>
#include <utility>
#include <vector>

#include "config/colors.h"

namespace corvane {

struct TBNETUserProfStats;
struct TBNETClanProfStats;

using TColoredLines = std::vector<std::pair<std::string, TColor>>;

TColoredLines UserProfileLines(const TBNETUserProfStats& p);
TColoredLines ClanProfileLines(const TBNETClanProfStats& p);

}  // namespace corvane
