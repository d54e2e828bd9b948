#include "bot/command_processor.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <unordered_map>
#include <utility>

#include "config/Operations.h"
#include "config/get_settings.h"
#include "net/Buffer.h"

namespace corvane {

const std::array<TInternalCommandDefault, 20> kInternalCommands = {{
    {"pingme", "L", 10},    {"kick", "", 50},       {"ban", "", 70},       {"kickme", "L", 0},
    {"add", "", 10},        {"whoami", "", 10},     {"designate", "", 70}, {"unban", "", 70},
    {"shitlist", "", 70},   {"unshitlist", "", 70}, {"quit", "A", 100},    {"safelist", "", 60},
    {"unsafelist", "", 60}, {"say", "", 80},        {"cmdadd", "", 80},    {"cmddel", "", 80},
    {"invite", "", 70},     {"rejoin", "", 70},     {"ping", "", 20},      {"protect", "", 80},
}};

namespace {

constexpr char kMagic[] = "QVCL";
constexpr std::uint8_t kFileVersion = 2;
// Kind codes of the file's command entries.
constexpr std::uint8_t kFileInternal = 1;
constexpr std::uint8_t kFileCustom = 2;
constexpr std::uint8_t kFilePlugin = 3;

std::string NoLetter(const std::string& letter) {
  return letter == "?" ? std::string() : letter;
}

// The file's strings end at their first 0 byte; writing only that far keeps the fields
// behind such a string where the reader looks for them.
void AddText(TBuffer& b, const std::string& s) {
  b.AddData(s.data(), static_cast<int>(std::strlen(s.c_str())));
  b.AddByte(0);
}

std::string Int32Key(std::int32_t value, const std::string& rest) {
  std::string key(sizeof value, '\0');
  std::memcpy(key.data(), &value, sizeof value);
  return key + rest;
}

// Finds, during a load, the record that each operation's linear search would find. Only
// appends and in-place updates happen meanwhile, so the first record of a name stays the
// first; and a record only ever leaves the kinds Custom and Plugin (by becoming Internal),
// so a queue of candidates can drop its head for good once it has changed kind.
class TCommandIndex {
 public:
  explicit TCommandIndex(const std::vector<std::unique_ptr<TBotCommand>>& commands) {
    for (const auto& c : commands) Add(c.get(), UpperCase(c->Name));
  }

  void Add(TBotCommand* c, const std::string& upper_name) {
    first_.emplace(upper_name, c);
    if (c->CmdType == TCmdType::Custom) {
      customs_[CustomKey(upper_name, c->Access)].items.push_back(c);
    } else if (c->CmdType == TCmdType::Plugin) {
      plugins_[PluginKey(upper_name, c->Text)].items.push_back(c);
    }
  }

  TBotCommand* First(const std::string& upper_name) const {
    const auto it = first_.find(upper_name);
    return it == first_.end() ? nullptr : it->second;
  }
  TBotCommand* FirstCustom(const std::string& upper_name, std::int32_t access) {
    return Head(customs_, CustomKey(upper_name, access), TCmdType::Custom);
  }
  TBotCommand* FirstPlugin(const std::string& upper_name, const std::string& plugin_file) {
    return Head(plugins_, PluginKey(upper_name, plugin_file), TCmdType::Plugin);
  }

 private:
  struct TQueue {
    std::vector<TBotCommand*> items;
    std::size_t head = 0;
  };
  using TQueues = std::unordered_map<std::string, TQueue>;

  static std::string CustomKey(const std::string& upper_name, std::int32_t access) {
    return Int32Key(access, upper_name);
  }
  static std::string PluginKey(const std::string& upper_name, const std::string& plugin_file) {
    return Int32Key(static_cast<std::int32_t>(upper_name.size()), upper_name) +
           UpperCase(plugin_file);
  }
  static TBotCommand* Head(TQueues& queues, const std::string& key, TCmdType kind) {
    const auto it = queues.find(key);
    if (it == queues.end()) return nullptr;
    TQueue& q = it->second;
    while (q.head < q.items.size() && q.items[q.head]->CmdType != kind) ++q.head;
    return q.head < q.items.size() ? q.items[q.head] : nullptr;
  }

  std::unordered_map<std::string, TBotCommand*> first_;
  TQueues customs_;
  TQueues plugins_;
};

}  // namespace

TBotCmdUser* TBotCommandControl::FindUser(const std::string& name) const {
  for (const auto& u : users_) {
    if (EqualsNoCase(u->Name, name)) return u.get();
  }
  return nullptr;
}

bool TBotCommandControl::GetUserRights(const std::string& name, std::int32_t& access,
                                       std::string& flags) const {
  if (name == "*") {
    access = kConsoleAccess;
    flags = kConsoleFlags;
    return true;
  }
  const TBotCmdUser* u = FindUser(name);
  if (u == nullptr) return false;
  access = u->Access;
  flags = u->Flags;
  return true;
}

bool TBotCommandControl::IsShitlisted(const std::string& name) const {
  std::int32_t access = 0;
  std::string flags;
  return GetUserRights(name, access, flags) && flags.find('B') != std::string::npos;
}

bool TBotCommandControl::IsSafelisted(const std::string& name) const {
  std::int32_t access = 0;
  std::string flags;
  return GetUserRights(name, access, flags) && flags.find('S') != std::string::npos;
}

TBotCmdUser* TBotCommandControl::PutUser(TBotCmdUser* match, const std::string& name,
                                         std::int32_t access, const std::string& flags) {
  if (match != nullptr) {
    match->Access = access;
    if (flags != "?") match->Flags = flags;
    return match;
  }
  auto u = std::make_unique<TBotCmdUser>();
  u->Name = name;
  u->Access = access;
  u->Flags = NoLetter(flags);
  users_.push_back(std::move(u));
  return users_.back().get();
}

void TBotCommandControl::SetUser(const std::string& name, std::int32_t access,
                                 const std::string& flags) {
  PutUser(FindUser(name), name, access, flags);
  MarkChanged();
}

void TBotCommandControl::AddUserFlag(const std::string& name, const std::string& letter) {
  const std::string l = NoLetter(letter);
  if (TBotCmdUser* u = FindUser(name)) {
    if (u->Flags.find(l) != std::string::npos) return;
    u->Flags += l;
  } else {
    PutUser(nullptr, name, 0, l);
  }
  MarkChanged();
}

void TBotCommandControl::RemoveUserFlag(const std::string& name, const std::string& letter) {
  TBotCmdUser* u = FindUser(name);
  if (u == nullptr || letter.empty()) return;
  std::string kept;
  std::size_t from = 0;
  for (std::size_t at; (at = u->Flags.find(letter, from)) != std::string::npos;
       from = at + letter.size()) {
    kept.append(u->Flags, from, at - from);
  }
  kept.append(u->Flags, from, std::string::npos);
  if (kept == u->Flags) return;
  u->Flags = std::move(kept);
  MarkChanged();
}

void TBotCommandControl::DeleteUser(const std::string& name) {
  const auto it = std::find_if(users_.begin(), users_.end(),
                               [&](const auto& u) { return EqualsNoCase(u->Name, name); });
  if (it == users_.end()) return;
  users_.erase(it);
  MarkChanged();
}

TBotCommand* TBotCommandControl::PutInternal(TBotCommand* match, const std::string& name,
                                             const std::string& flags, std::int32_t access,
                                             bool enabled, TInternalHandler handler) {
  TBotCommand* c = match;
  if (c == nullptr) {
    commands_.push_back(std::make_unique<TBotCommand>());
    c = commands_.back().get();
    c->Name = name;
  }
  c->Flags = flags;
  c->Access = access;
  c->Enabled = enabled;
  c->CmdType = TCmdType::Internal;
  if (handler) c->Handler = std::move(handler);
  return c;
}

const TBotCommand* TBotCommandControl::AddInternalCommand(const std::string& name,
                                                          const std::string& flags,
                                                          std::int32_t access, bool enabled,
                                                          TInternalHandler handler,
                                                          bool overwrite) {
  TBotCommand* match = nullptr;
  if (overwrite) {
    for (const auto& c : commands_) {
      if (EqualsNoCase(c->Name, name)) {
        match = c.get();
        break;
      }
    }
  }
  TBotCommand* c = PutInternal(match, name, flags, access, enabled, std::move(handler));
  MarkChanged();
  return c;
}

TBotCommand* TBotCommandControl::PutCustom(TBotCommand* match, const std::string& name,
                                           const std::string& text, bool enabled,
                                           std::int32_t access, const std::string& flags) {
  TBotCommand* c = match;
  if (c == nullptr) {
    commands_.push_back(std::make_unique<TBotCommand>());
    c = commands_.back().get();
    c->Name = name;
    c->Access = access;
    c->CmdType = TCmdType::Custom;
  }
  c->Enabled = enabled;
  c->Text = text;
  c->Flags = flags;
  return c;
}

const TBotCommand* TBotCommandControl::AddCustomCommand(const std::string& name,
                                                        const std::string& text, bool overwrite,
                                                        bool enabled, std::int32_t access,
                                                        const std::string& flags) {
  TBotCommand* match = nullptr;
  if (overwrite) {
    for (const auto& c : commands_) {
      if (c->CmdType == TCmdType::Custom && c->Access == access && EqualsNoCase(c->Name, name)) {
        match = c.get();
        break;
      }
    }
  }
  TBotCommand* c = PutCustom(match, name, text, enabled, access, flags);
  MarkChanged();
  return c;
}

TBotCommand* TBotCommandControl::FindPluginCommand(const std::string& name,
                                                   const std::string& plugin_file) const {
  for (const auto& c : commands_) {
    if (c->CmdType == TCmdType::Plugin && EqualsNoCase(c->Name, name) &&
        EqualsNoCase(c->Text, plugin_file)) {
      return c.get();
    }
  }
  return nullptr;
}

TBotCommand* TBotCommandControl::PutPlugin(TBotCommand* match, const std::string& plugin_file,
                                           const std::string& name, std::uint8_t mode,
                                           TBotCmdProc proc, bool enabled, std::int32_t access,
                                           const std::string& flags) {
  if (match != nullptr && (mode == 1 || mode == 2)) {
    if (mode == 1) {
      match->Flags = flags;
      match->Access = access;
    }
    if (proc != nullptr) match->PluginProc = proc;
    match->PluginLoaded = proc != nullptr;
    return match;
  }
  auto c = std::make_unique<TBotCommand>();
  c->Name = name;
  c->Flags = flags;
  c->Access = access;
  c->Text = plugin_file;
  c->CmdType = TCmdType::Plugin;
  c->PluginProc = proc;
  c->PluginLoaded = proc != nullptr;
  c->Enabled = enabled;
  commands_.push_back(std::move(c));
  return commands_.back().get();
}

const TBotCommand* TBotCommandControl::AddPluginCommand(const std::string& plugin_file,
                                                        const std::string& name, std::uint8_t mode,
                                                        TBotCmdProc proc, bool enabled,
                                                        std::int32_t access,
                                                        const std::string& flags) {
  TBotCommand* match = mode == 0 ? nullptr : FindPluginCommand(name, plugin_file);
  TBotCommand* c = PutPlugin(match, plugin_file, name, mode, proc, enabled, access, flags);
  // Mode 2 on a known command hands over only the procedure, which the file does not keep.
  if (match == nullptr || mode != 2) MarkChanged();
  return c;
}

bool TBotCommandControl::DeletePluginCommand(const std::string& name,
                                             const std::string& plugin_file) {
  const TBotCommand* c = FindPluginCommand(name, plugin_file);
  if (c == nullptr) return false;
  RemoveCommand(c);
  return true;
}

const TBotCommand* TBotCommandControl::FindCommand(const std::string& name, TCmdType kind) const {
  for (const auto& c : commands_) {
    if (c->CmdType == kind && EqualsNoCase(c->Name, name)) return c.get();
  }
  return nullptr;
}

void TBotCommandControl::RemoveCommand(const TBotCommand* record) {
  const auto it = std::find_if(commands_.begin(), commands_.end(),
                               [&](const auto& c) { return c.get() == record; });
  if (it == commands_.end()) return;
  commands_.erase(it);
  MarkChanged();
}

bool TBotCommandControl::UpdateUser(const TBotCmdUser* record, const TBotCmdUser& values) {
  const auto it =
      std::find_if(users_.begin(), users_.end(), [&](const auto& u) { return u.get() == record; });
  if (it == users_.end()) return false;
  **it = values;
  MarkChanged();
  return true;
}

void TBotCommandControl::RemoveUser(const TBotCmdUser* record) {
  const auto it =
      std::find_if(users_.begin(), users_.end(), [&](const auto& u) { return u.get() == record; });
  if (it == users_.end()) return;
  users_.erase(it);
  MarkChanged();
}

bool TBotCommandControl::UpdateCommand(const TBotCommand* record, const std::string& name,
                                       const std::string& text, bool enabled, std::int32_t access,
                                       const std::string& flags) {
  const auto it = std::find_if(commands_.begin(), commands_.end(),
                               [&](const auto& c) { return c.get() == record; });
  if (it == commands_.end()) return false;
  TBotCommand& c = **it;
  c.Name = name;
  c.Text = text;
  c.Enabled = enabled;
  c.Access = access;
  c.Flags = flags;
  SortCommands();  // marks the change
  return true;
}

void TBotCommandControl::ForgetPluginProcedures(const std::string& plugin_file) {
  for (const auto& c : commands_) {
    if (c->CmdType == TCmdType::Plugin && EqualsNoCase(c->Text, plugin_file)) {
      c->PluginLoaded = false;
    }
  }
}

namespace {

// The order in which the exchange sort (for each i, for each j >= i: swap entries i and j
// when i's key is lower) leaves the entries, as indices into `keys`, in O(n log n).
//
// The result is sorted by key, higher first; only the order within a key is the loop's
// own. Step i of the loop moves the records of the rest (the entries larger than all
// before them) one record on, the largest to place i. Seen from one key v, with H an entry
// of a higher key: each step removes the first H, and when entries of key v come before it
// the first of them moves behind the last of them that is still before that H. So the
// entries of key v leave in the order of a queue that takes them in their first order,
// each H met on the way (and each H after the last of them) sending its front to its back.
std::vector<std::size_t> ExchangeSortOrder(const std::vector<std::int32_t>& keys) {
  const std::size_t n = keys.size();
  std::vector<std::size_t> by_key(n);
  for (std::size_t i = 0; i < n; ++i) by_key[i] = i;
  std::sort(by_key.begin(), by_key.end(), [&](std::size_t a, std::size_t b) {
    return keys[a] != keys[b] ? keys[a] > keys[b] : a < b;
  });
  // Counts the entries of higher keys placed before a position.
  std::vector<std::size_t> tree(n + 1, 0);
  const auto add = [&](std::size_t pos) {
    for (++pos; pos <= n; pos += pos & (~pos + 1)) ++tree[pos];
  };
  const auto higher_before = [&](std::size_t pos) {
    std::size_t count = 0;
    for (; pos > 0; pos -= pos & (~pos + 1)) count += tree[pos];
    return count;
  };
  std::vector<std::size_t> order;
  order.reserve(n);
  std::deque<std::size_t> queue;
  const auto turn = [&](std::size_t times) {
    if (queue.empty()) return;
    for (times %= queue.size(); times > 0; --times) {
      queue.push_back(queue.front());
      queue.pop_front();
    }
  };
  std::size_t higher = 0;
  for (std::size_t begin = 0; begin < n;) {
    std::size_t end = begin;
    while (end < n && keys[by_key[end]] == keys[by_key[begin]]) ++end;
    std::size_t seen = 0;
    for (std::size_t k = begin; k < end; ++k) {
      const std::size_t before = higher_before(by_key[k]);
      turn(before - seen);
      seen = before;
      queue.push_back(by_key[k]);
    }
    turn(higher - seen);
    order.insert(order.end(), queue.begin(), queue.end());
    queue.clear();
    for (std::size_t k = begin; k < end; ++k) add(by_key[k]);
    higher += end - begin;
    begin = end;
  }
  return order;
}

}  // namespace

void TBotCommandControl::SortCommands() {
  std::vector<std::int32_t> keys;
  keys.reserve(commands_.size());
  for (const auto& c : commands_) keys.push_back(c->Access);
  std::vector<std::unique_ptr<TBotCommand>> sorted;
  sorted.reserve(commands_.size());
  for (const std::size_t i : ExchangeSortOrder(keys)) sorted.push_back(std::move(commands_[i]));
  commands_ = std::move(sorted);
  MarkChanged();
}

bool TBotCommandControl::LoadFromFile(const std::string& path) {
  TBuffer b;
  if (!b.LoadFromFile(path)) return false;
  if (b.GetString(4) != kMagic) return false;
  const std::uint8_t version = b.GetByte();
  if (version != 1 && version != 2) return false;

  // A count is only believed as far as the data goes: reading stops when the buffer is
  // used up, and an entry cut short reads zeros and empty strings for what is missing.
  // Each entry is SetUser; its first match is found through a map, as a scan per entry
  // would make a large file cost the square of its users.
  std::unordered_map<std::string, TBotCmdUser*> users;
  for (const auto& u : users_) users.emplace(UpperCase(u->Name), u.get());
  b.Skip(3);
  std::uint32_t count = b.GetDWord();
  for (std::uint32_t i = 0; i < count && b.Length() > 0; ++i) {
    b.GetDWord();
    const std::string name = b.GetNTString();
    const std::string flags = b.GetNTString();
    const auto access = static_cast<std::int32_t>(b.GetDWord());
    std::string key = UpperCase(name);
    const auto it = users.find(key);
    TBotCmdUser* match = it == users.end() ? nullptr : it->second;
    TBotCmdUser* u = PutUser(match, name, access, flags);
    if (match == nullptr) users.emplace(std::move(key), u);
  }

  TCommandIndex index(commands_);
  b.Skip(3);
  count = b.GetDWord();
  for (std::uint32_t i = 0; i < count && b.Length() > 0; ++i) {
    b.GetDWord();
    const std::string name = b.GetNTString();
    const std::string flags = b.GetNTString();
    const auto access = static_cast<std::int32_t>(b.GetDWord());
    const bool enabled = b.GetByte() != 0;
    const std::uint8_t kind = version == 1 ? kFileInternal : b.GetByte();
    const std::string text = version == 1 ? std::string() : b.GetNTString();
    const std::string key = UpperCase(name);
    TBotCommand* match = nullptr;
    TBotCommand* c = nullptr;
    switch (kind) {
      case kFileInternal:
        match = index.First(key);
        c = PutInternal(match, name, flags, access, enabled, {});
        break;
      case kFileCustom:
        match = index.FirstCustom(key, access);
        c = PutCustom(match, name, text, enabled, access, flags);
        break;
      case kFilePlugin:
        match = index.FirstPlugin(key, text);
        c = PutPlugin(match, text, name, 1, nullptr, enabled, access, flags);
        break;
      default:
        break;
    }
    if (c != nullptr && match == nullptr) index.Add(c, key);
  }
  return true;
}

bool TBotCommandControl::SaveToFile(const std::string& path) const {
  TBuffer b;
  b.AddString(kMagic);
  b.AddByte(kFileVersion);
  b.AddString("USR");
  b.AddDWord(static_cast<std::uint32_t>(users_.size()));
  std::uint32_t index = 0;
  for (const auto& u : users_) {
    b.AddDWord(index++);
    AddText(b, u->Name);
    AddText(b, u->Flags);
    b.AddDWord(static_cast<std::uint32_t>(u->Access));
  }
  b.AddString("CMD");
  b.AddDWord(static_cast<std::uint32_t>(commands_.size()));
  index = 0;
  for (const auto& c : commands_) {
    b.AddDWord(index++);
    AddText(b, c->Name);
    AddText(b, c->Flags);
    b.AddDWord(static_cast<std::uint32_t>(c->Access));
    b.AddByte(c->Enabled ? 1 : 0);
    b.AddByte(static_cast<std::uint8_t>(static_cast<std::uint8_t>(c->CmdType) + 1));
    // An internal command has no text, even one that took the place of a custom command.
    AddText(b, c->CmdType == TCmdType::Internal ? std::string() : c->Text);
  }
  return b.SaveToFile(path);
}

bool TFloodGate::Open(const std::string& speaker, std::uint32_t now) const {
  const auto it = shut_.find(UpperCase(speaker));
  if (it == shut_.end()) return true;
  return it->second.hold_ms != 0 && now - it->second.at >= it->second.hold_ms;
}

void TFloodGate::Close(const std::string& speaker, std::uint32_t now, std::uint32_t hold_ms) {
  shut_[UpperCase(speaker)] = {now, hold_ms};
}

void TFloodGate::Tick(std::uint32_t now) {
  std::erase_if(shut_, [now](const auto& entry) {
    return entry.second.hold_ms == 0 || now - entry.second.at >= entry.second.hold_ms;
  });
}

namespace {

// Renames the file to "<path>.unreadable-YYYYMMDD-HHMMSS" (with "-2", "-3"... when taken);
// the new path, or empty with errno set when it could not be moved.
std::string SetAside(const std::string& path) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string base = path + ".unreadable-" + stamp;
  for (int n = 1; n < 100; ++n) {
    const std::string target = n == 1 ? base : base + "-" + std::to_string(n);
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) continue;
    if (::rename(path.c_str(), target.c_str()) != 0) return {};
    return target;
  }
  errno = EEXIST;
  return {};
}

}  // namespace

std::unique_ptr<TBotCommandControl> ResetCommandDatabase(
    bool defaults, const std::string& usrcmd_path,
    const std::function<TInternalHandler(const std::string& name)>& handler_for,
    TDatabaseFileReport* report) {
  TDatabaseFileReport ignored;
  TDatabaseFileReport& r = report != nullptr ? *report : ignored;
  r = TDatabaseFileReport();
  auto db = std::make_unique<TBotCommandControl>();
  for (const auto& d : kInternalCommands) {
    TInternalHandler handler = handler_for ? handler_for(d.name) : TInternalHandler();
    db->AddInternalCommand(d.name, d.flags, d.access, true, std::move(handler), true);
  }
  if (!defaults && !db->LoadFromFile(usrcmd_path)) {
    struct stat st {};
    if (::stat(usrcmd_path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      // A file that is there but does not load holds somebody's users: it is kept aside,
      // never replaced by the defaults.
      r.unreadable = true;
      r.set_aside = SetAside(usrcmd_path);
      if (r.set_aside.empty()) {
        r.save_errno = errno;
        db->SortCommands();
        return db;
      }
    }
  }
  db->SortCommands();
  r.saved = db->SaveToFile(usrcmd_path);
  if (!r.saved) r.save_errno = errno;
  return db;
}

}  // namespace corvane

// ---- Dispatch ----

namespace corvane {
namespace {

// Chat replies never need more; a text that would grow past this (a hostile argument
// that holds placeholders) is dropped instead of being expanded further.
constexpr std::size_t kMaxReply = 8192;

// The first piece of SplitQuoted(line, ' '), without splitting the rest: most talk is not
// a command, and this is all that tells.
std::string FirstPiece(const std::string& line) {
  bool quoted = false;
  for (std::size_t i = 0; i + 1 < line.size(); ++i) {
    if (line[i] == '"') {
      quoted = !quoted;
    } else if (line[i] == ' ' && !quoted) {
      return line.substr(0, i);
    }
  }
  return line;
}

bool HasAnyFlag(const std::string& wanted, const std::string& held) {
  for (char c : wanted) {
    if (held.find(c) != std::string::npos) return true;
  }
  return false;
}

// The smallest i in [from, n] for which "%" followed by i occurs in the text, or 0. The
// placeholders are replaced in increasing order; skipping the ones that do not occur
// gives the same text without a pass over it for every word.
std::size_t NextPlaceholder(const std::string& text, std::size_t from, std::size_t n) {
  std::size_t best = 0;
  for (std::size_t p = text.find('%'); p != std::string::npos; p = text.find('%', p + 1)) {
    std::size_t value = 0;
    for (std::size_t q = p + 1; q < text.size() && q - p <= 10; ++q) {
      const char c = text[q];
      if (c < '0' || c > '9' || (q == p + 1 && c == '0')) break;
      value = value * 10 + static_cast<std::size_t>(c - '0');
      if (value > n) break;
      if (value >= from && (best == 0 || value < best)) best = value;
    }
  }
  return best;
}

// ReplaceAll, unless the result would outgrow kMaxReply: each occurrence found now adds
// the difference in length, so the growth is known before any byte is copied.
bool ReplaceBounded(std::string& reply, const std::string& what, const std::string& with) {
  if (with.size() > what.size()) {
    std::size_t count = 0;
    for (std::size_t p = reply.find(what); p != std::string::npos;
         p = reply.find(what, p + what.size())) {
      ++count;
    }
    if (count > (kMaxReply - std::min(reply.size(), kMaxReply)) / (with.size() - what.size())) {
      return false;
    }
  }
  ReplaceAll(reply, what, with);
  return reply.size() <= kMaxReply;
}

}  // namespace

void TBotCommandControl::RunCustomCommand(TBotHost& host, const std::string& speaker,
                                          const std::string& args, const std::string& text,
                                          std::int32_t ping) {
  std::string reply = text;
  if (!ReplaceBounded(reply, "%ping", std::to_string(ping)) ||
      !ReplaceBounded(reply, "%user", speaker) || !ReplaceBounded(reply, "%text", args)) {
    return;
  }
  const std::vector<std::string> words = SplitQuoted(args, ' ');
  if (reply.size() > 2 && reply[0] == '@') {
    const char k = reply[1];
    if (k < '0' || k > '9') return;
    if (static_cast<std::size_t>(k - '0') > words.size()) return;
    reply.erase(0, 2);
  }
  for (std::size_t i = NextPlaceholder(reply, 1, words.size()); i != 0;
       i = NextPlaceholder(reply, i + 1, words.size())) {
    if (!ReplaceBounded(reply, "%" + std::to_string(i), words[i - 1])) return;
  }
  host.QueueLine(reply);
}

bool TBotCommandControl::ProcessCommand(TBotHost& host, const std::string& speaker,
                                        const std::string& line, const std::string& trigger,
                                        const std::string& extra_flags, std::uint32_t bnet_flags,
                                        std::int32_t ping, std::uint8_t source) {
  if (line.empty()) return false;
  const std::string first = FirstPiece(line);
  if (first.size() <= trigger.size() ||
      !EqualsNoCase(std::string_view(first).substr(0, trigger.size()), trigger)) {
    return false;
  }
  const std::string word = first.substr(trigger.size());

  std::int32_t access = 0;
  std::string flags;
  GetUserRights(speaker, access, flags);
  const bool console = speaker == "*";
  if (console) access = kConsoleAccess;
  const std::uint32_t now = host.TickMs();
  std::string args = line.substr(trigger.size() + word.size());
  TrimSpaces(args);
  const std::string held = extra_flags + flags;

  for (std::size_t i = 0; i < commands_.size(); ++i) {
    // The list may change under a running command ("cmdadd", "cmddel"), so it is walked
    // by position and each record is taken afresh.
    TBotCommand& c = *commands_[i];
    if (!c.Enabled) continue;
    if (!EqualsNoCase(c.Name, word)) {
      continue;
    }
    if (c.Access > access && !HasAnyFlag(c.Flags, held)) continue;
    const bool runnable = (c.CmdType == TCmdType::Internal && c.Handler) ||
                          c.CmdType == TCmdType::Custom ||
                          (c.CmdType == TCmdType::Plugin && c.PluginProc != nullptr);
    if (!runnable) continue;
    // A shut gate stays shut for every later candidate too.
    if (!console && !Gate.Open(speaker, now)) continue;

    bool handled = false;
    switch (c.CmdType) {
      case TCmdType::Internal: {
        const TInternalHandler handler = c.Handler;  // the command may remove its record
        handled = handler(speaker, args, flags, ping, bnet_flags, source);
        break;
      }
      case TCmdType::Custom:
        RunCustomCommand(host, speaker, args, c.Text, ping);
        handled = true;
        break;
      case TCmdType::Plugin:
        if (c.PluginLoaded) {
          handled = c.PluginProc(speaker.c_str(), args.c_str(), flags.c_str(), ping, bnet_flags,
                                 source) != 0;
        }
        break;
    }
    const TSettings& settings = host.Settings();
    const std::int32_t seconds = settings.FpEnable ? std::clamp(settings.FpTime, 0, 2'000'000) : 0;
    Gate.Close(speaker, now, static_cast<std::uint32_t>(seconds) * 1000u);
    if (handled) return true;
  }
  return false;
}

}  // namespace corvane
