#pragma once
// What the application core asks of whichever front end shows it (the Qt window or the
// console): pane lines as data, view changes, closing, and the few questions only a front
// end can answer.

#include <cstdint>
#include <string>
#include <vector>

#include "config/colors.h"

namespace corvane {

class TIniFile;
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
};

class TFrontEnd {
 public:
  virtual ~TFrontEnd() = default;
  virtual void ShowLine(const TPaneLine& line) = 0;
  // The core wants the program to end (menu Exit, the "Kill" key, the "quit" command); the
  // front end then calls TBotCore::Close and ends its loop.
  virtual void RequestClose() = 0;
  // The member list, its caption or the connection state changed.
  virtual void ViewChanged() {}
  // Connecting was refused for want of a profile: show the message, then the settings.
  virtual void ProfileRefused(const TProfileMessage&) {}
  // A clan invitation to answer (the inviting clan's tag, the inviter, the cookie and the
  // text to show).
  virtual void ClanInvitation(const std::string&, const std::string&, std::uint32_t,
                              const std::string&) {}
  // The window's position and size in profiles.ini ("Ui"); a console has none.
  virtual void ReadWindowKeys(const TIniFile&) {}
  virtual void WriteWindowKeys(TIniFile&) {}
  // A language was applied: captions follow.
  virtual void LanguageApplied() {}
  // The main window's native id, for plug-ins (0 without a window).
  virtual std::intptr_t WindowId() const { return 0; }
  // Something the owner must learn even when nobody reads the panes (a file that could
  // not be saved); it has been shown as a red line already. A console writes it to stderr.
  virtual void ReportFailure(const std::string&) {}
};

}  // namespace corvane
