#pragma once
// What the application core asks of whichever front end shows it (the Qt window or the
// console): pane lines as data, view changes, closing, and the few questions only a front
// end can answer.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/colors.h"

namespace corvane {

struct TProfileMessage;

enum class TPane : std::uint8_t { Chat, Whisper };

struct TTextRun {
  std::string text;
  TColor color;
  bool operator==(const TTextRun&) const = default;
};

// One line for a pane: runs of text, each in its own colour.
struct TPaneLine {
  TPane pane = TPane::Chat;
  std::vector<TTextRun> runs;
  std::string Text() const {
    std::string t;
    for (const TTextRun& r : runs) t += r.text;
    return t;
  }
  bool operator==(const TPaneLine&) const = default;
};

// What changed in the member view, so that a list model updates one row for a join rather
// than the whole list. The caption may have changed with any of them.
struct TViewChange {
  enum class TKind : std::uint8_t {
    Reset,        // the rows are new: read them all
    RowInserted,  // a row was inserted at `row`
    RowRemoved,   // the row at `row` was removed
    Caption,      // no row changed: the caption or the connection state
  };
  TKind kind = TKind::Reset;
  int row = -1;

  static TViewChange Reset() { return {TKind::Reset, -1}; }
  static TViewChange Inserted(int row) { return {TKind::RowInserted, row}; }
  static TViewChange Removed(int row) { return {TKind::RowRemoved, row}; }
  static TViewChange Caption() { return {TKind::Caption, -1}; }
  bool operator==(const TViewChange&) const = default;
};

// The window's place on the screen, kept in profiles.ini ("Ui").
struct TWindowGeometry {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const TWindowGeometry&) const = default;
};

class TFrontEnd {
 public:
  virtual ~TFrontEnd() = default;
  virtual void ShowLine(const TPaneLine& line) = 0;
  // The core wants the program to end (menu Exit, the "Kill" key, the "quit" command); the
  // front end then calls TBotCore::Close and ends its loop.
  virtual void RequestClose() = 0;
  // The member list, its caption or the connection state changed.
  virtual void ViewChanged(const TViewChange&) {}
  // Connecting was refused for want of a profile: show the message, then the settings.
  virtual void ProfileRefused(const TProfileMessage&) {}
  // A clan invitation to answer (the inviting clan's tag, the inviter, the cookie and the
  // text to show).
  virtual void ClanInvitation(const std::string&, const std::string&, std::uint32_t,
                              const std::string&) {}
  // The window's position and size, which the core keeps in profiles.ini; a console has
  // none, and nothing is read or written for it.
  virtual std::optional<TWindowGeometry> Geometry() const { return std::nullopt; }
  virtual void ApplyGeometry(const TWindowGeometry&) {}
  // A language was applied: captions follow.
  virtual void LanguageApplied() {}
  // The settings, the users and commands, or the profiles (the list or the current one)
  // changed, whoever changed them: a dialog that shows them reads them again.
  virtual void SettingsChanged() {}
  virtual void DatabaseChanged() {}
  virtual void ProfilesChanged() {}
  // The main window's native id, for plug-ins (0 without a window).
  virtual std::intptr_t WindowId() const { return 0; }
  // Something the owner must learn even when nobody reads the panes (a file that could
  // not be saved); it has been shown as a red line already. A console writes it to stderr.
  virtual void ReportFailure(const std::string&) {}
};

}  // namespace corvane
