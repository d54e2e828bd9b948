#include "app/profile_display.h"

#include <algorithm>

#include "bnet/bnet.h"

namespace corvane {
namespace {

template <typename Ladder>
void AddLadder(TColoredLines& out, const char* label, const Ladder& l) {
  if (l.Present == 0) return;
  out.push_back({label + std::to_string(l.Level) + ",  Wins: " + std::to_string(l.Wins) +
                     ",  Loses: " + std::to_string(l.Losses) +
                     ",  Exp: " + std::to_string(l.Experience) + ".",
                 kLime});
}

// Races are shown as human, orc, night elf, undead, random, tournament; the records keep
// them as human, orc, undead, night elf, random, tournament.
struct TRaceLine {
  const char* label;
  std::size_t slot;
};
constexpr TRaceLine kRaces[] = {{"  <Human> Wins: ", 0},     {"  <Orc> Wins: ", 1},
                                {"  <Night elf> Wins: ", 3}, {"  <Undead> Wins: ", 2},
                                {"  <Random> Wins: ", 4},    {"  <Tournament> Wins: ", 5}};

template <typename Races>
void AddRaces(TColoredLines& out, const Races& races, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const auto& r = races[kRaces[i].slot];
    out.push_back(
        {kRaces[i].label + std::to_string(r.Wins) + ",  Loses: " + std::to_string(r.Losses),
         kLime});
  }
}

}  // namespace

TColoredLines UserProfileLines(const TBNETUserProfStats& p) {
  TColoredLines out;
  out.push_back({"User profile (" + p.UserName + "):", kYellow});
  AddLadder(out, "  [Solo] Level: ", p.Solo);
  AddLadder(out, "  [Team] Level: ", p.Team);
  AddLadder(out, "  [FFA] Level: ", p.Ffa);
  AddLadder(out, "  [Season IV] Level: ", p.Season);
  AddRaces(out, p.Races, 6);
  const std::size_t teams = std::min<std::size_t>(p.TeamCount, p.Teams.size());
  for (std::size_t i = 0; i < teams; ++i) {
    const TBNETProfTeamRecord& t = p.Teams[i];
    out.push_back({"AT (Team " + std::to_string(i + 1) + "):", kYellow});
    out.push_back({"  >>  " + t.Partner1 + "  " + t.Partner2 + "   " + t.Partner3, kLime});
    out.push_back({"  Level: " + std::to_string(t.Level) + ",  Wins: " + std::to_string(t.Wins) +
                       ",  Loses: " + std::to_string(t.Losses),
                   kLime});
  }
  return out;
}

TColoredLines ClanProfileLines(const TBNETClanProfStats& p) {
  TColoredLines out;
  out.push_back({"Clan profile (" + p.ClanTag + "):", kYellow});
  AddLadder(out, "  [Solo] Level: ", p.Solo);
  AddLadder(out, "  [2x2] Level: ", p.Team2);
  AddLadder(out, "  [3x3] Level: ", p.Team3);
  AddLadder(out, "  [4x4] Level: ", p.Team4);
  AddRaces(out, p.Races, 5);
  return out;
}

}  // namespace corvane
