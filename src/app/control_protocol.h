#pragma once
// The control socket's protocol, without the socket: a client (a window, the command line,
// a script) and the running bot exchange JSON objects, one per line, each with a "type".
// Requests go to the bot, messages come from it; both directions are encoded and decoded
// here, so that a client in this program and the bot speak through the same code.
//
// Every text in these structures is bot text, bytes of the process code page; the JSON
// carries UTF-8, converted on the way out and on the way in (characters the code page
// lacks become '?'). Requests are read strictly (an unknown field, a control character in a
// text or a number out of range is an error); messages leniently (fields a newer bot adds
// are skipped), so that an older client keeps working.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "app/bot_link.h"
#include "app/front_end.h"
#include "app/member_views.h"
#include "bot/command_processor.h"
#include "config/get_settings.h"
#include "config/setting_values.h"

namespace corvane {

// The control socket's file in a running bot's home.
inline constexpr char kControlSocketName[] = "corvane.sock";
// The protocol this program speaks; a hello with another is refused.
inline constexpr int kControlProtocol = 1;
// The longest request line the bot reads, its "\n" aside; a longer one ends the
// connection. The bot's own messages are not bound by it (a view of a crowded channel).
inline constexpr std::size_t kMaxControlLine = std::size_t{1} << 20;

// Splits the bytes of a connection into lines. The caller takes every waiting line after
// each Feed, so that the buffer holds at most one partial line beside what was just read.
class TLineReader {
 public:
  explicit TLineReader(std::size_t max_line = kMaxControlLine) : max_line_(max_line) {}
  // Ignored once a line was too long.
  void Feed(std::string_view bytes);
  // The next complete line without its "\n" (nor a "\r" before it); empty lines are
  // skipped. Nothing when no complete line waits, nor after a line over the bound.
  std::optional<std::string> Next();
  // A line longer than the bound came: the lines before it are still yielded, nothing
  // from it on; the connection should be dropped.
  bool Overflowed() const { return overflowed_; }

 private:
  std::size_t max_line_;
  std::string buffer_;
  std::size_t start_ = 0;     // the first byte not yet yielded
  std::size_t complete_ = 0;  // just past the last "\n" in buffer_
  bool overflowed_ = false;
};

namespace control {

// A request's "id" (a number or a string) as its JSON text, echoed unchanged in the
// answer; empty when the request carried none.
struct TRequestId {
  std::string json;

  static TRequestId Number(std::int64_t number) { return {std::to_string(number)}; }
  static TRequestId Text(const std::string& utf8);
  bool Empty() const { return json.empty(); }
  bool operator==(const TRequestId&) const = default;
};
// The longest id, as JSON text: it comes back in every answer.
inline constexpr std::size_t kMaxRequestId = 128;

// ---- Requests, client to bot ----

struct THello {
  static constexpr char kType[] = "hello";
  std::int32_t protocol = kControlProtocol;
  bool operator==(const THello&) const = default;
};

// Enter on the input line (TBotCore::TypeLine).
struct TTypeLine {
  static constexpr char kType[] = "type_line";
  std::string prefix;
  std::string text;
  bool operator==(const TTypeLine&) const = default;
};

enum class TMenuAction : std::uint8_t {
  Connect,
  Disconnect,
  Exit,
  Utf8,
  JoinNotify,
  RestartPlugins
};
struct TMenu {
  static constexpr char kType[] = "menu";
  TMenuAction action = TMenuAction::Connect;
  bool operator==(const TMenu&) const = default;
};

struct TChooseView {
  static constexpr char kType[] = "view";
  TViewMode mode = TViewMode::Channel;
  bool operator==(const TChooseView&) const = default;
};

struct TClanAnswer {
  static constexpr char kType[] = "clan_answer";
  bool accept = false;
  bool operator==(const TClanAnswer&) const = default;
};

// Checked against the keys of profile.ini, one value a key, in the order profile.ini keeps
// them; applied over the current settings.
// `profile`: another profile than the current one, whose profile.ini is changed instead.
struct TSettingsSet {
  static constexpr char kType[] = "settings_set";
  std::optional<std::string> profile;
  std::vector<TSettingValue> values;
  bool operator==(const TSettingsSet&) const = default;
};

// TBotCommandControl::SetUser; without flags the user keeps his ("?").
struct TUserSet {
  static constexpr char kType[] = "user_set";
  std::string name;
  std::int32_t access = 0;
  std::optional<std::string> flags;
  bool operator==(const TUserSet&) const = default;
};

struct TUserDelete {
  static constexpr char kType[] = "user_delete";
  std::string name;
  bool operator==(const TUserDelete&) const = default;
};

// A new custom command, enabled.
struct TCommandAdd {
  static constexpr char kType[] = "command_add";
  std::string name;
  std::string text;
  std::int32_t access = 0;
  std::string flags;
  bool operator==(const TCommandAdd&) const = default;
};

// The command whose name, text and kind are exactly these (the first such) gets the values
// given; what is left out stays as it is. The window's edit, as a request.
struct TCommandUpdate : TBotLink::TCommandEdit {
  static constexpr char kType[] = "command_update";
  bool operator==(const TCommandUpdate&) const = default;
};

// Only a custom command can be deleted.
struct TCommandDelete {
  static constexpr char kType[] = "command_delete";
  std::string name;
  bool operator==(const TCommandDelete&) const = default;
};

struct TCommandsReset {
  static constexpr char kType[] = "commands_reset";
  bool operator==(const TCommandsReset&) const = default;
};

// Without a parent, from the default profile (kDefaultProfileItem).
struct TProfileCreate {
  static constexpr char kType[] = "profile_create";
  std::string name;
  std::optional<std::string> parent;
  bool operator==(const TProfileCreate&) const = default;
};

struct TProfileUse {
  static constexpr char kType[] = "profile_use";
  std::string name;
  bool operator==(const TProfileUse&) const = default;
};

struct TProfileDelete {
  static constexpr char kType[] = "profile_delete";
  std::string name;
  bool operator==(const TProfileDelete&) const = default;
};

struct TProfileRename {
  static constexpr char kType[] = "profile_rename";
  std::string name;
  std::string new_name;
  bool operator==(const TProfileRename&) const = default;
};

// "Languige (LanguigeLocal)" of a language file (TBotCore::ChooseLanguage).
struct TLanguageChoice {
  static constexpr char kType[] = "language";
  std::string display;
  bool operator==(const TLanguageChoice&) const = default;
};

// Said in the channel as it stands: no console command, whatever it starts with.
struct TSay {
  static constexpr char kType[] = "say";
  std::string text;
  bool operator==(const TSay&) const = default;
};

// The state, the view and the settings, sent again.
struct TStatusRequest {
  static constexpr char kType[] = "status";
  bool operator==(const TStatusRequest&) const = default;
};

// The users and the commands.
struct TUsersList {
  static constexpr char kType[] = "users_list";
  bool operator==(const TUsersList&) const = default;
};

// The client leaves; the bot closes the connection after the answer.
struct TDetach {
  static constexpr char kType[] = "detach";
  bool operator==(const TDetach&) const = default;
};

using TRequest =
    std::variant<THello, TTypeLine, TMenu, TChooseView, TClanAnswer, TSettingsSet, TUserSet,
                 TUserDelete, TCommandAdd, TCommandUpdate, TCommandDelete, TCommandsReset,
                 TProfileCreate, TProfileUse, TProfileDelete, TProfileRename, TLanguageChoice, TSay,
                 TStatusRequest, TUsersList, TDetach>;

struct TDecodedRequest {
  std::optional<TRequest> request;  // nothing: the line was malformed
  TRequestId id;                    // the line's id, when it could be read
  std::string error;                // why there is no request
};
// `line` without its "\n".
TDecodedRequest DecodeRequest(std::string_view line);
// One line with its "\n".
std::string EncodeRequest(const TRequest& request, const TRequestId& id = {});

// ---- Messages, bot to client ----

struct TBotHello {
  static constexpr char kType[] = "hello";
  std::int32_t protocol = kControlProtocol;
  std::string version;
  bool operator==(const TBotHello&) const = default;
};

// The member list as a whole (TMemberViews).
struct TView {
  static constexpr char kType[] = "view";
  TViewMode mode = TViewMode::Channel;
  std::string caption;
  std::vector<TViewRow> rows;
  bool operator==(const TView&) const = default;
};

// One row's change, with the row when it was inserted; the caption either way.
struct TRowChange {
  static constexpr char kType[] = "row";
  TViewChange change;
  std::optional<TViewRow> row;
  std::string caption;
  bool operator==(const TRowChange&) const = default;
};

struct TState {
  static constexpr char kType[] = "state";
  bool connected = false;
  bool logged_on = false;
  std::string channel;
  std::string profile;
  bool operator==(const TState&) const = default;
};

// The profiles of the home and the current one (empty when none is).
struct TProfileList {
  static constexpr char kType[] = "profiles";
  std::string current;
  std::vector<std::string> profiles;
  bool operator==(const TProfileList&) const = default;
};

// Answered with clan_answer.
struct TClanInvitation {
  static constexpr char kType[] = "clan_invitation";
  std::string tag;
  std::string inviter;
  std::string text;
  bool operator==(const TClanInvitation&) const = default;
};

struct TUserList {
  static constexpr char kType[] = "users";
  struct TEntry {
    std::string name;
    std::int32_t access = 0;
    std::string flags;
    bool operator==(const TEntry&) const = default;
  };
  std::vector<TEntry> users;
  bool operator==(const TUserList&) const = default;
};

struct TCommandList {
  static constexpr char kType[] = "commands";
  struct TEntry {
    std::string name;
    std::int32_t access = 0;
    std::string flags;
    bool enabled = false;
    TCmdType kind = TCmdType::Custom;
    std::string text;  // a plug-in command's: its library's file name
    bool operator==(const TEntry&) const = default;
  };
  std::vector<TEntry> commands;
  bool operator==(const TCommandList&) const = default;
};

// The answer to a request that carried an id.
struct TResult {
  static constexpr char kType[] = "result";
  TRequestId id;
  bool ok = true;
  std::string error;  // why not
  bool operator==(const TResult&) const = default;
};

// A request that could not be read, with its id when that could be.
struct TError {
  static constexpr char kType[] = "error";
  TRequestId id;
  std::string error;
  bool operator==(const TError&) const = default;
};

// A pane line is "line", the settings are "settings" (every key of profile.ini by its
// "Section.Key" name, the password included: the socket is its owner's alone, as
// profile.ini is).
using TBotMessage = std::variant<TBotHello, TPaneLine, TView, TRowChange, TState, TClanInvitation,
                                 TSettings, TProfileList, TUserList, TCommandList, TResult, TError>;

struct TDecodedMessage {
  std::optional<TBotMessage> message;
  std::string error;
};
TDecodedMessage DecodeMessage(std::string_view line);
std::string EncodeMessage(const TBotMessage& message);

// What the bot shows, as messages.
TView ViewOf(const TMemberViews& views);
// A view, for a reset: every row is new; otherwise the row's change.
TBotMessage ViewChangeOf(const TMemberViews& views, TViewChange change);
TUserList UsersOf(const TBotCommandControl& database);
TCommandList CommandsOf(const TBotCommandControl& database);

}  // namespace control
}  // namespace corvane
