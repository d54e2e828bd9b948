#pragma once
// The bot's users and commands: who holds which access level and flag letters, and which
// commands exist with the level and flags they require. Both tables live in one binary
// file per profile, usrcmd.bin.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "bot/bot_host.h"

// The procedure of a plug-in command; it crosses the plug-in boundary, so it is a plain C
// function. The C header of the plug-in interface defines the same type under this guard.
#ifndef CORVANE_TBOTCMDPROC_DEFINED
#define CORVANE_TBOTCMDPROC_DEFINED
extern "C" {
typedef std::uint8_t (*TBotCmdProc)(const char* speaker, const char* args, const char* flags,
                                    std::int32_t ping, std::uint32_t bnet_flags,
                                    std::int32_t source);
}
#endif

namespace corvane {

// The procedure of an internal command; bound to the bot's context by whoever makes it.
using TInternalHandler = std::function<bool(const std::string& speaker, const std::string& args,
                                            const std::string& flags, std::int32_t ping,
                                            std::uint32_t bnet_flags, std::uint8_t source)>;

// The kind codes in usrcmd.bin are one more than these values.
enum class TCmdType : std::uint8_t { Internal = 0, Custom = 1, Plugin = 2 };

struct TBotCmdUser {
  std::string Name;  // as typed; compared without regard to ASCII letter case
  std::int32_t Access = 0;
  std::string Flags;  // letters in the order they were added; compared with regard to case
};

struct TBotCommand {
  std::string Name;  // compared without regard to ASCII letter case
  bool Enabled = false;
  std::string Flags;  // holding any one of these letters makes up for a low access level
  std::int32_t Access = 0;
  TCmdType CmdType = TCmdType::Internal;
  std::string Text;  // Custom: the reply text; Plugin: the owning library's file name
  bool PluginLoaded = false;
  TInternalHandler Handler;          // Internal only
  TBotCmdProc PluginProc = nullptr;  // Plugin only; set when the plug-in registers it
};

// Access and flags that GetUserRights gives the console, the speaker "*".
inline constexpr std::int32_t kConsoleAccess = 100000;
inline constexpr char kConsoleFlags[] = "A";

// The flood gate of dispatch, one per speaker: a speaker who ran a command is shut out
// until the anti-flood timer next ticks, or for the hold given (flood protection's
// fp_time), while everybody else may still run theirs. So members with no rights cannot
// silence the owner's operators; the bot's output itself is kept in bounds by the queue.
class TFloodGate {
 public:
  bool Open(const std::string& speaker, std::uint32_t now) const;
  // hold_ms 0: shut until the next Tick; else for hold_ms from `now`.
  void Close(const std::string& speaker, std::uint32_t now, std::uint32_t hold_ms);
  // The anti-flood timer's tick: every gate whose hold is over opens.
  void Tick(std::uint32_t now);
  std::size_t Shut() const { return shut_.size(); }

 private:
  struct TShut {
    std::uint32_t at;
    std::uint32_t hold_ms;
  };
  std::unordered_map<std::string, TShut> shut_;  // by upper-case speaker name
};

class TBotCommandControl {
 public:
  // The console ("*") gives access 100000 and flags "A". Otherwise the first user whose
  // name matches gives his; false (outputs untouched) when there is none.
  bool GetUserRights(const std::string& name, std::int32_t& access, std::string& flags) const;
  bool IsShitlisted(const std::string& name) const;  // flags contain "B"
  bool IsSafelisted(const std::string& name) const;  // flags contain "S"

  // The first matching user gets the access, and the flags unless they are "?"; without a
  // match the user is appended ("?" appends empty flags).
  void SetUser(const std::string& name, std::int32_t access, const std::string& flags);
  // Appends the letter to the first matching user's flags unless they contain it already;
  // without a match a user with access 0 and that letter is appended. "?" is no letter.
  void AddUserFlag(const std::string& name, const std::string& letter);
  void AddSafelisted(const std::string& name) { AddUserFlag(name, "S"); }
  // Removes every occurrence of the letter from the first matching user's flags.
  void RemoveUserFlag(const std::string& name, const std::string& letter);
  void DeleteUser(const std::string& name);

  // With overwrite, the first command of that name (any kind) becomes this internal
  // command, keeping its handler when the given one is empty; otherwise one is appended.
  const TBotCommand* AddInternalCommand(const std::string& name, const std::string& flags,
                                        std::int32_t access, bool enabled, TInternalHandler handler,
                                        bool overwrite);
  // With overwrite, the first custom command of that name and access gets the switch, text
  // and flags; otherwise one is appended, whatever else has that name.
  const TBotCommand* AddCustomCommand(const std::string& name, const std::string& text,
                                      bool overwrite, bool enabled, std::int32_t access,
                                      const std::string& flags);
  // Looks for the plug-in command of that name and library file. Mode 1 updates a match's
  // flags, access and procedure; mode 2 only its procedure, keeping what the owner edited;
  // mode 0, or no match, appends a new record.
  const TBotCommand* AddPluginCommand(const std::string& plugin_file, const std::string& name,
                                      std::uint8_t mode, TBotCmdProc proc, bool enabled,
                                      std::int32_t access, const std::string& flags);
  bool DeletePluginCommand(const std::string& name, const std::string& plugin_file);
  const TBotCommand* FindCommand(const std::string& name, TCmdType kind) const;
  void RemoveCommand(const TBotCommand* record);
  // Higher access first, in exactly the order a plain exchange sort gives (for each i, for
  // each j >= i, swap when i's access is lower): equal levels do not keep their order, and
  // that order is the one dispatch tries same-name commands in and the file keeps.
  void SortCommands();

  // False when the file is missing, is not a usrcmd.bin or has an unknown version; a
  // truncated file loads as far as it goes.
  bool LoadFromFile(const std::string& path);
  bool SaveToFile(const std::string& path) const;

  // The anti-flood timer's tick at the millisecond tick `now`.
  void SetReady(std::uint32_t now) { Gate.Tick(now); }

  // Called after every change that the file would keep, by the operations above (not while
  // a file loads).
  std::function<void()> OnChanged;
  void MarkChanged() const {
    if (OnChanged) OnChanged();
  }

  // Runs at most one command for a line of talk, whisper, emote or the console: the
  // trigger, the speaker's rights (with `extra_flags` in front of his own), the candidates
  // in list order and the speaker's flood gate (the console passes it). True when a command
  // handled the line.
  bool ProcessCommand(TBotHost& host, const std::string& speaker, const std::string& line,
                      const std::string& trigger, const std::string& extra_flags,
                      std::uint32_t bnet_flags, std::int32_t ping, std::uint8_t source);
  // Expands a custom command's text ("%ping", "%user", "%text", the "@k" rule and
  // "%1".."%n") and queues it.
  static void RunCustomCommand(TBotHost& host, const std::string& speaker, const std::string& args,
                               const std::string& text, std::int32_t ping);

  // Stable addresses: a dialog keeps a record while dispatch reads the lists.
  using TUsers = std::vector<std::unique_ptr<TBotCmdUser>>;
  using TCommands = std::vector<std::unique_ptr<TBotCommand>>;
  const TUsers& Users() const { return users_; }
  const TCommands& Commands() const { return commands_; }
  // A dialog's edit of one record, found by address: false (nothing changed) when it is no
  // longer in the list. The commands are sorted again after an edit of one.
  bool UpdateUser(const TBotCmdUser* record, const TBotCmdUser& values);
  bool UpdateCommand(const TBotCommand* record, const std::string& name, const std::string& text,
                     bool enabled, std::int32_t access, const std::string& flags);
  void RemoveUser(const TBotCmdUser* record);
  // A plug-in's commands lose their procedure when it is unloaded.
  void ForgetPluginProcedures(const std::string& plugin_file);

  TFloodGate Gate;

 private:
  TUsers users_;
  TCommands commands_;
  TBotCmdUser* FindUser(const std::string& name) const;
  TBotCommand* FindPluginCommand(const std::string& name, const std::string& plugin_file) const;
  // The operations above, given the record that their search found (or none).
  TBotCmdUser* PutUser(TBotCmdUser* match, const std::string& name, std::int32_t access,
                       const std::string& flags);
  TBotCommand* PutInternal(TBotCommand* match, const std::string& name, const std::string& flags,
                           std::int32_t access, bool enabled, TInternalHandler handler);
  TBotCommand* PutCustom(TBotCommand* match, const std::string& name, const std::string& text,
                         bool enabled, std::int32_t access, const std::string& flags);
  TBotCommand* PutPlugin(TBotCommand* match, const std::string& plugin_file,
                         const std::string& name, std::uint8_t mode, TBotCmdProc proc, bool enabled,
                         std::int32_t access, const std::string& flags);
};

// The internal commands with their default flags and access, in the order of registration.
struct TInternalCommandDefault {
  const char* name;
  const char* flags;
  std::int32_t access;
};
extern const std::array<TInternalCommandDefault, 20> kInternalCommands;

// What ResetCommandDatabase did with the file, for its owner to report.
struct TDatabaseFileReport {
  bool unreadable = false;  // the file was there but did not load
  std::string set_aside;    // where it was moved; empty: it could not be, and stays
  bool saved = false;       // the database was written back
  int save_errno = 0;       // why not
};

// A new database with the internal commands (enabled, handlers from handler_for), then,
// unless defaults are asked for, the file's users and commands; sorted and saved back. A
// file that is there but does not load is renamed aside first, never overwritten; when it
// cannot be moved, nothing is written.
std::unique_ptr<TBotCommandControl> ResetCommandDatabase(
    bool defaults, const std::string& usrcmd_path,
    const std::function<TInternalHandler(const std::string& name)>& handler_for,
    TDatabaseFileReport* report = nullptr);

}  // namespace corvane
