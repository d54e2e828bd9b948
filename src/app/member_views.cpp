#include "app/member_views.h"

#include <utility>

#include "bnet/bnet.h"
#include "bnet/statstring.h"

namespace corvane {
namespace {

constexpr std::uint8_t kOperatorFlags = 2;
constexpr std::uint8_t kSquelchedFlags = 0x20;
constexpr int kOperatorIcon = 66;
constexpr int kSquelchIcon = 65;
constexpr int kOnlineIcon = 58;
constexpr int kOfflineIcon = 59;
constexpr int kChatroomIcon = 62;
constexpr int kPrivateGameIcon = 63;
constexpr int kPublicGameIcon = 64;
constexpr int kClanRankIcon = 53;  // ranks 0 to 4 follow
constexpr int kTopClanRank = 4;

}  // namespace

TViewRow TMemberViews::ChannelRow(const TUser& member) {
  TViewRow row;
  row.icon = member.Flags == kOperatorFlags    ? kOperatorIcon
             : member.Flags == kSquelchedFlags ? kSquelchIcon
                                               : IconImage(member.Parsed.Icon);
  if (member.Parsed.Level >= 1) row.first = std::to_string(member.Parsed.Level);
  row.name = member.Name;
  row.third = member.Clan;
  return row;
}

TViewRow TMemberViews::FriendRow(const TUser& user) {
  TViewRow row;
  switch (user.LocationType) {
    case 0:
      row.icon = kOfflineIcon;
      break;
    case 1:
      row.icon = kOnlineIcon;
      break;
    case 2:
      row.icon = kChatroomIcon;
      break;
    case 3:
      row.icon = kPublicGameIcon;
      break;
    case 4:
    case 5:
      row.icon = kPrivateGameIcon;
      break;
    default:
      break;  // no icon
  }
  row.name = user.Name;
  row.third = user.Product;
  return row;
}

TViewRow TMemberViews::ClanRow(const TUser& member) {
  TViewRow row;
  // Ranks come from the server: one outside the table gets no icon rather than a wrong one.
  if (member.Rank >= 0 && member.Rank <= kTopClanRank) row.icon = kClanRankIcon + member.Rank;
  row.cell_icon = member.Status != 0 ? kOnlineIcon : kOfflineIcon;
  row.name = member.Name;
  return row;
}

std::string TMemberViews::ChannelCaption(const TViewSource& source) {
  if (source.session == nullptr || !source.session->Active()) return "Not connected";
  return source.current_channel + "(" + std::to_string(source.roster.size()) + ")";
}

int TMemberViews::AddChannelRow(const TUser& member) {
  // Operators are listed first, above everybody already there.
  if (member.Flags == kOperatorFlags) {
    rows_.insert(rows_.begin(), ChannelRow(member));
    return 0;
  }
  rows_.push_back(ChannelRow(member));
  return static_cast<int>(rows_.size()) - 1;
}

TViewChange TMemberViews::Refresh(int kind, const TUser* entry, const TViewSource& source) {
  TViewChange change = TViewChange::Caption();
  switch (mode_) {
    case TViewMode::Channel:
      if (kind == kRefreshChannel) {
        rows_.clear();
        for (const TUser& member : source.roster) AddChannelRow(member);
        change = TViewChange::Reset();
      } else if (kind == kRemoveMember && entry != nullptr) {
        for (auto it = rows_.begin(); it != rows_.end(); ++it) {
          if (it->name == entry->Name) {
            change = TViewChange::Removed(static_cast<int>(it - rows_.begin()));
            rows_.erase(it);
            break;
          }
        }
      } else if (kind == kAddMember && entry != nullptr) {
        change = TViewChange::Inserted(AddChannelRow(*entry));
      }
      caption_ = ChannelCaption(source);
      return change;
    case TViewMode::Friends: {
      if (kind < 10) return change;
      rows_.clear();
      if (source.session == nullptr) return TViewChange::Reset();
      int online = 0;
      for (const TUser& f : source.session->Friends()) {
        rows_.push_back(FriendRow(f));
        if (f.Status != 0) ++online;
      }
      caption_ = std::to_string(online) + " friends online";
      break;
    }
    case TViewMode::Clan: {
      if (kind < kRefreshClan) return change;
      rows_.clear();
      if (source.session == nullptr) return TViewChange::Reset();
      const TBNETClanInfo& clan = source.session->ClanInfo();
      if (!clan.InClan) {
        caption_ = "No clan.";
        return TViewChange::Reset();
      }
      caption_ = "Clan " + clan.Tag + " (" + std::to_string(clan.MemberCount) + " members)";
      for (const TUser& m : source.session->ClanMembers()) rows_.push_back(ClanRow(m));
      break;
    }
  }
  return TViewChange::Reset();
}

bool TMemberViews::Choose(TViewMode mode, const TViewSource& source) {
  if (mode == mode_) return false;
  mode_ = mode;
  switch (mode) {
    case TViewMode::Channel:
      caption_ = source.roster.empty() ? "Not connected" : ChannelCaption(source);
      Refresh(kRefreshChannel, nullptr, source);
      break;
    case TViewMode::Friends:
      Refresh(kRefreshFriends, nullptr, source);
      break;
    case TViewMode::Clan:
      Refresh(kRefreshClan, nullptr, source);
      break;
  }
  return true;
}

void TMemberViews::Assign(TViewMode mode, std::vector<TViewRow> rows, std::string caption) {
  mode_ = mode;
  rows_ = std::move(rows);
  caption_ = std::move(caption);
}

bool TMemberViews::Apply(const TViewChange& change, const TViewRow* inserted, std::string caption) {
  caption_ = std::move(caption);
  const auto size = static_cast<int>(rows_.size());
  switch (change.kind) {
    case TViewChange::TKind::RowInserted:
      if (inserted == nullptr || change.row < 0 || change.row > size) return false;
      rows_.insert(rows_.begin() + change.row, *inserted);
      return true;
    case TViewChange::TKind::RowRemoved:
      if (change.row < 0 || change.row >= size) return false;
      rows_.erase(rows_.begin() + change.row);
      return true;
    case TViewChange::TKind::Reset:
    case TViewChange::TKind::Caption:
      return true;
  }
  return true;
}

}  // namespace corvane
