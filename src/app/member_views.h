#pragma once
// The member list beside the chat pane as data: which of the three lists is shown (channel,
// friends, clan), its rows (icon and cells) and its caption. A front end only paints them.

#include <cstdint>
#include <string>
#include <vector>

#include "app/front_end.h"
#include "bnet/user.h"

namespace corvane {

class TBNET;

enum class TViewMode : std::uint8_t { Channel = 0, Friends = 1, Clan = 2 };

// Image indices of the icon table, or kNoIcon.
inline constexpr int kNoIcon = -1;

struct TViewRow {
  int icon = kNoIcon;       // the row's icon
  int cell_icon = kNoIcon;  // an icon in the first cell (clan view: online or not)
  std::string first;        // level, or empty
  std::string name;
  std::string third;  // clan tag or product
  bool operator==(const TViewRow&) const = default;
};

// What the lists are drawn from.
struct TViewSource {
  const std::vector<TUser>& roster;
  const TBNET* session;  // nullptr when there is none
  const std::string& current_channel;
};

// What a refresh is about.
enum TRefreshKind : int {
  kRefreshChannel = 0,  // rebuild the channel view
  kRemoveMember = 1,    // remove the entry's row
  kAddMember = 2,       // add a row for the entry
  kRefreshClan = 3,
  kRefreshFriends = 40,
};

class TMemberViews {
 public:
  TViewMode Mode() const { return mode_; }
  const std::vector<TViewRow>& Rows() const { return rows_; }
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption) { caption_ = std::move(caption); }
  // Empties whichever list is shown (the connection closed).
  void Clear() { rows_.clear(); }

  // A copy of another process's views, kept up to date from what it reports; false when the
  // change does not fit the rows held (the copy is then out of step).
  void Assign(TViewMode mode, std::vector<TViewRow> rows, std::string caption);
  bool Apply(const TViewChange& change, const TViewRow* inserted, std::string caption);

  // Redraws or updates the shown list and says which rows changed; a kind that does not
  // concern it changes no row.
  TViewChange Refresh(int kind, const TUser* entry, const TViewSource& source);
  // A view button: false when that view is shown already.
  bool Choose(TViewMode mode, const TViewSource& source);

  static TViewRow ChannelRow(const TUser& member);
  static TViewRow FriendRow(const TUser& user);
  static TViewRow ClanRow(const TUser& member);
  static std::string ChannelCaption(const TViewSource& source);

 private:
  int AddChannelRow(const TUser& member);  // the row's index

  TViewMode mode_ = TViewMode::Channel;
  std::vector<TViewRow> rows_;
  std::string caption_ = "Not connected";
};

}  // namespace corvane
