#include "app/control_protocol.h"

#include <algorithm>
#include <climits>
#include <concepts>
#include <nlohmann/json.hpp>
#include <span>
#include <type_traits>
#include <utility>

#include "config/Operations.h"
#include "config/codepage.h"

namespace corvane {

void TLineReader::Feed(std::string_view bytes) {
  if (overflowed_) return;
  // What was yielded goes once it outweighs the rest, so that a byte moves a bounded number
  // of times.
  if (start_ > 0 && start_ >= buffer_.size() - start_) {
    buffer_.erase(0, start_);
    complete_ -= start_;
    start_ = 0;
  }
  const std::size_t newline = bytes.rfind('\n');
  buffer_.append(bytes);
  if (newline != std::string_view::npos) complete_ = buffer_.size() - bytes.size() + newline + 1;
  if (buffer_.size() - complete_ > max_line_) {
    buffer_.resize(complete_);
    overflowed_ = true;
  }
}

std::optional<std::string> TLineReader::Next() {
  while (start_ < complete_) {
    const std::size_t from = start_;
    const std::size_t end = buffer_.find('\n', from);
    start_ = end + 1;
    if (end - from > max_line_) {
      overflowed_ = true;
      buffer_.clear();
      start_ = complete_ = 0;
      return std::nullopt;
    }
    const std::size_t length = end > from && buffer_[end - 1] == '\r' ? end - from - 1 : end - from;
    if (length > 0) return buffer_.substr(from, length);
  }
  return std::nullopt;
}

namespace control {
namespace {

// Read into maps, so that a line with many keys stays cheap; written in order, so that
// "type" comes first and the settings in the order profile.ini keeps them.
using TJson = nlohmann::json;
using TOut = nlohmann::ordered_json;

// Deeper than any message goes.
constexpr int kMaxDepth = 8;
// The most of a text of the line that an error quotes.
constexpr std::size_t kMaxQuoted = 64;

template <class T, class U>
concept Is = std::same_as<std::remove_const_t<T>, U>;

template <class E>
struct TNamed {
  E value;
  const char* name;
};

constexpr TNamed<TPane> kPanes[] = {{TPane::Chat, "chat"}, {TPane::Whisper, "whisper"}};
constexpr TNamed<TViewMode> kModes[] = {
    {TViewMode::Channel, "channel"}, {TViewMode::Friends, "friends"}, {TViewMode::Clan, "clan"}};
constexpr TNamed<TViewChange::TKind> kChanges[] = {{TViewChange::TKind::Reset, "reset"},
                                                   {TViewChange::TKind::RowInserted, "inserted"},
                                                   {TViewChange::TKind::RowRemoved, "removed"},
                                                   {TViewChange::TKind::Caption, "caption"}};
constexpr TNamed<TCmdType> kKinds[] = {
    {TCmdType::Internal, "internal"}, {TCmdType::Custom, "custom"}, {TCmdType::Plugin, "plugin"}};
constexpr TNamed<TMenuAction> kActions[] = {{TMenuAction::Connect, "connect"},
                                            {TMenuAction::Disconnect, "disconnect"},
                                            {TMenuAction::Exit, "exit"},
                                            {TMenuAction::Utf8, "utf8"},
                                            {TMenuAction::JoinNotify, "join_notify"},
                                            {TMenuAction::RestartPlugins, "restart_plugins"}};
// The desktop's caption colours, which only a front end knows.
constexpr TNamed<TColor> kColorNames[] = {{kCaptionGradient, "caption"},
                                          {kInactiveGradient, "inactive_caption"}};

// What a text field must be.
enum TRule : unsigned {
  kAnyText = 0,
  kMayOmit = 1,  // empty when left out, and left out when empty
  kNonEmpty = 2,
  kNoBlank = 4,  // a name, which a command line takes as one word
  kLetters = 8,  // flag letters
};
constexpr unsigned kName = kNonEmpty | kNoBlank;

std::string Utf8(const std::string& bytes) {
  return ProcessCodePage().ToUtf8(bytes);
}

std::string Bytes(const std::string& utf8) {
  return ProcessCodePage().FromUtf8(utf8);
}

// A piece of the line, shortened and blanked.
std::string Quoted(const std::string& bytes) {
  return "'" + BlankControls(bytes.substr(0, kMaxQuoted)) +
         (bytes.size() > kMaxQuoted ? "...'" : "'");
}

template <class E, std::size_t N>
std::string Choices(const TNamed<E> (&names)[N]) {
  std::string list;
  for (const TNamed<E>& n : names) list += (list.empty() ? "" : ", ") + std::string(n.name);
  return list;
}

std::string ColorText(TColor color) {
  for (const TNamed<TColor>& n : kColorNames) {
    if (n.value == color) return n.name;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text = "#";
  for (int shift = 20; shift >= 0; shift -= 4) text += kHex[(color >> shift) & 0xF];
  return text;
}

std::optional<TColor> ParseColor(const std::string& text) {
  for (const TNamed<TColor>& n : kColorNames) {
    if (text == n.name) return n.value;
  }
  if (text.size() != 7 || text[0] != '#') return std::nullopt;
  TColor color = 0;
  for (std::size_t i = 1; i < text.size(); ++i) {
    const char c = text[i];
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return std::nullopt;
    color = color << 4 | static_cast<TColor>(digit);
  }
  return color;
}

// One JSON object filled from a structure's fields; the structure's Fields function names
// them, and TReader reads them back through the same function.
class TWriter {
 public:
  explicit TWriter(TOut& out) : out_(out) {}

  void Text(const char* name, const std::string& value, unsigned rules = kAnyText) {
    if ((rules & kMayOmit) == 0 || !value.empty()) out_[name] = Utf8(value);
  }
  void Text(const char* name, const std::optional<std::string>& value, unsigned = kAnyText) {
    if (value) out_[name] = Utf8(*value);
  }
  void Number(const char* name, std::int32_t value, std::int32_t = INT32_MIN,
              std::int32_t = INT32_MAX) {
    out_[name] = value;
  }
  void Number(const char* name, const std::optional<std::int32_t>& value, std::int32_t = INT32_MIN,
              std::int32_t = INT32_MAX) {
    if (value) out_[name] = *value;
  }
  void Flag(const char* name, bool value) { out_[name] = value; }
  void Flag(const char* name, const std::optional<bool>& value) {
    if (value) out_[name] = *value;
  }
  template <class E, std::size_t N>
  void Choice(const char* name, E value, const TNamed<E> (&names)[N]) {
    for (const TNamed<E>& n : names) {
      if (n.value == value) out_[name] = n.name;
    }
  }
  void Color(const char* name, TColor value) { out_[name] = ColorText(value); }
  template <class T>
  void List(const char* name, const std::vector<T>& items) {
    TOut list = TOut::array();
    for (const T& item : items) list.push_back(Object(item));
    out_[name] = std::move(list);
  }
  template <class T>
  void Nested(const char* name, const std::optional<T>& item) {
    if (item) out_[name] = Object(*item);
  }
  void Names(const char* name, const std::vector<std::string>& names) {
    TOut list = TOut::array();
    for (const std::string& n : names) list.push_back(Utf8(n));
    out_[name] = std::move(list);
  }
  void Id(const TRequestId& id) {
    if (id.Empty()) return;
    TOut value = TOut::parse(id.json, nullptr, false);
    if (!value.is_discarded()) out_["id"] = std::move(value);
  }
  void Settings(const TSettings& settings) {
    std::vector<TSettingValue> all;
    for (const TSettingField& f : SettingFields()) {
      all.push_back({&f, f.text != nullptr ? settings.*f.text : std::string(),
                     f.number != nullptr ? settings.*f.number : 0,
                     f.flag != nullptr && settings.*f.flag});
    }
    Settings(all);
  }
  void Settings(const std::vector<TSettingValue>& list) {
    TOut values = TOut::object();
    for (const TSettingValue& v : list) {
      const TSettingField& f = *v.field;
      if (f.text != nullptr) {
        values[SettingName(f)] = Utf8(v.text);
      } else if (f.number != nullptr) {
        values[SettingName(f)] = v.number;
      } else {
        values[SettingName(f)] = v.flag;
      }
    }
    out_["values"] = std::move(values);
  }

 private:
  template <class T>
  static TOut Object(const T& item);

  TOut& out_;
};

// Reads the fields of one object into a structure. The first fault is kept in `error` (with
// where it was) and every read after it does nothing. Strict, for requests: a field the
// structure does not name and a control character in a text are faults.
class TReader {
 public:
  TReader(const TJson& object, bool strict, std::string where, std::string& error)
      : object_(object), strict_(strict), where_(std::move(where)), error_(error) {}

  void Where(std::string where) { where_ = std::move(where); }

  void Text(const char* name, std::string& out, unsigned rules = kAnyText) {
    const TJson* value = Find(name, (rules & kMayOmit) == 0);
    if (value == nullptr) {
      out.clear();
    } else {
      ReadText(name, *value, out, rules);
    }
  }
  void Text(const char* name, std::optional<std::string>& out, unsigned rules = kAnyText) {
    if (const TJson* value = Find(name, false)) ReadText(name, *value, out.emplace(), rules);
  }
  void Number(const char* name, std::int32_t& out, std::int32_t min = INT32_MIN,
              std::int32_t max = INT32_MAX) {
    if (const TJson* value = Find(name, true)) ReadNumber(name, *value, out, min, max);
  }
  void Number(const char* name, std::optional<std::int32_t>& out, std::int32_t min = INT32_MIN,
              std::int32_t max = INT32_MAX) {
    if (const TJson* value = Find(name, false)) ReadNumber(name, *value, out.emplace(), min, max);
  }
  void Flag(const char* name, bool& out) {
    if (const TJson* value = Find(name, true)) ReadFlag(name, *value, out);
  }
  void Flag(const char* name, std::optional<bool>& out) {
    if (const TJson* value = Find(name, false)) ReadFlag(name, *value, out.emplace());
  }
  template <class E, std::size_t N>
  void Choice(const char* name, E& out, const TNamed<E> (&names)[N]) {
    const TJson* value = Find(name, true);
    if (value == nullptr) return;
    if (value->is_string()) {
      for (const TNamed<E>& n : names) {
        if (value->get_ref<const std::string&>() == n.name) {
          out = n.value;
          return;
        }
      }
    }
    Fail(name, "must be one of " + Choices(names));
  }
  void Color(const char* name, TColor& out) {
    const TJson* value = Find(name, true);
    if (value == nullptr) return;
    const std::optional<TColor> color =
        value->is_string() ? ParseColor(value->get_ref<const std::string&>()) : std::nullopt;
    if (color) {
      out = *color;
    } else {
      Fail(name, "must be #rrggbb, " + Choices(kColorNames));
    }
  }
  template <class T>
  void List(const char* name, std::vector<T>& out) {
    const TJson* value = Find(name, true);
    if (value == nullptr) return;
    if (!value->is_array()) return Fail(name, "must be a list");
    out.clear();
    for (std::size_t i = 0; i < value->size() && error_.empty(); ++i) {
      Object(where_ + name + "[" + std::to_string(i) + "]", (*value)[i], out.emplace_back());
    }
  }
  template <class T>
  void Nested(const char* name, std::optional<T>& out) {
    if (const TJson* value = Find(name, false)) {
      Object(where_ + name, *value, out.emplace());
    }
  }
  void Names(const char* name, std::vector<std::string>& out) {
    const TJson* value = Find(name, true);
    if (value == nullptr) return;
    if (!value->is_array()) return Fail(name, "must be a list");
    out.clear();
    for (std::size_t i = 0; i < value->size() && error_.empty(); ++i) {
      const std::string item = std::string(name) + "[" + std::to_string(i) + "]";
      ReadText(item.c_str(), (*value)[i], out.emplace_back(), kAnyText);
    }
  }
  void Id(TRequestId& out) {
    const TJson* value = Find("id", false);
    if (value == nullptr) return;
    if (!value->is_number() && !value->is_string()) {
      return Fail("id", "must be a number or a string");
    }
    std::string json = value->dump(-1, ' ', false, TJson::error_handler_t::replace);
    if (json.size() > kMaxRequestId) {
      return Fail("id", "is longer than " + std::to_string(kMaxRequestId) + " bytes");
    }
    out.json = std::move(json);
  }
  // Every key the program knows; one that is not there (an older bot's) has its default, as
  // in a profile.ini without it, and one the program does not know is a newer bot's.
  void Settings(TSettings& out) {
    const TJson* values = Values();
    if (values == nullptr) return;
    for (const TSettingField& f : SettingFields()) {
      const auto it = values->find(SettingName(f));
      std::optional<TSettingValue> value =
          it != values->end()
              ? SettingOf(f, *it)
              : TSettingValue{&f, f.text_default, f.number_default, f.number_default != 0};
      if (!value) return;
      value->ApplyTo(out);
    }
  }
  void Settings(std::vector<TSettingValue>& out) {
    const TJson* values = Values();
    if (values == nullptr) return;
    out.clear();
    for (const auto& [key, value] : values->items()) {
      std::string why;
      const TSettingField* field = FindSetting(Bytes(key), why);
      if (field == nullptr) return Fail(why);
      std::optional<TSettingValue> setting = SettingOf(*field, value);
      if (!setting) return;
      out.push_back(std::move(*setting));
    }
    // In the order profile.ini keeps, so that the same values read the same whatever their
    // spelling; a key spelt twice would leave it to chance which value is kept.
    std::sort(out.begin(), out.end(),
              [](const TSettingValue& a, const TSettingValue& b) { return a.field < b.field; });
    const auto twice = std::adjacent_find(
        out.begin(), out.end(),
        [](const TSettingValue& a, const TSettingValue& b) { return a.field == b.field; });
    if (twice != out.end()) Fail(SettingName(*twice->field) + " is given twice");
  }

  // In strict reading, a field that was not asked for is a fault.
  void Finish() {
    if (!strict_ || !error_.empty()) return;
    for (const auto& [key, value] : object_.items()) {
      if (std::find(read_.begin(), read_.end(), key) == read_.end()) {
        return Fail("unknown field " + Quoted(Bytes(key)));
      }
    }
  }

 private:
  const TJson* Find(const char* name, bool required) {
    if (!error_.empty()) return nullptr;
    read_.emplace_back(name);
    const auto it = object_.find(name);
    if (it != object_.end()) return &*it;
    if (required) Fail(name, "is missing");
    return nullptr;
  }
  void Fail(const std::string& what) {
    if (error_.empty()) error_ = where_ + what;
  }
  void Fail(const char* name, const std::string& what) { Fail(std::string(name) + " " + what); }

  void ReadText(const char* name, const TJson& value, std::string& out, unsigned rules) {
    if (!value.is_string()) return Fail(name, "must be a string");
    out = Bytes(value.get_ref<const std::string&>());
    const auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; };
    if (strict_ && std::any_of(out.begin(), out.end(), control)) {
      Fail(name, "holds a control character");
    } else if ((rules & kNonEmpty) != 0 && out.empty()) {
      Fail(name, "must not be empty");
    } else if ((rules & kNoBlank) != 0 && out.find(' ') != std::string::npos) {
      Fail(name, "holds a blank");
    } else if ((rules & kLetters) != 0 && !std::all_of(out.begin(), out.end(), [](char c) {
                 return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
               })) {
      Fail(name, "must be letters");
    }
  }
  // A whole number of any size, or nothing (the fault told).
  std::optional<std::int64_t> Whole(const std::string& name, const TJson& value,
                                    const std::string& range) {
    if (value.is_number_unsigned()) {
      const auto n = value.get<std::uint64_t>();
      return n > INT64_MAX ? INT64_MAX : static_cast<std::int64_t>(n);
    }
    if (value.is_number_integer()) return value.get<std::int64_t>();
    Fail(name + " must be a whole number" + range);
    return std::nullopt;
  }
  void ReadNumber(const char* name, const TJson& value, std::int32_t& out, std::int32_t min,
                  std::int32_t max) {
    const std::string range = " from " + std::to_string(min) + " to " + std::to_string(max);
    const std::optional<std::int64_t> n = Whole(name, value, range);
    if (!n) return;
    if (*n < min || *n > max) return Fail(name, "must be a whole number" + range);
    out = static_cast<std::int32_t>(*n);
  }
  void ReadFlag(const char* name, const TJson& value, bool& out) {
    if (!value.is_boolean()) return Fail(name, "must be true or false");
    out = value.get<bool>();
  }
  const TJson* Values() {
    const TJson* values = Find("values", true);
    if (values != nullptr && !values->is_object()) {
      Fail("values", "must be an object");
      return nullptr;
    }
    return values;
  }
  std::optional<TSettingValue> SettingOf(const TSettingField& f, const TJson& value) {
    const std::string name = SettingName(f);
    std::string why;
    std::optional<TSettingValue> setting;
    if (f.text != nullptr) {
      std::string text;
      ReadText(name.c_str(), value, text, kAnyText);
      if (!error_.empty()) return std::nullopt;
      setting = SettingText(f, text, why);
    } else if (f.number != nullptr) {
      const std::optional<std::int64_t> n = Whole(name, value, "");
      if (!n) return std::nullopt;
      setting = SettingNumber(f, *n, why);
    } else if (value.is_boolean()) {
      setting = SettingFlag(f, value.get<bool>());
    } else {
      why = name + " must be true or false";
    }
    if (!setting) Fail(why);
    return setting;
  }

  template <class T>
  void Object(std::string where, const TJson& value, T& out);

  const TJson& object_;
  bool strict_;
  std::string where_;
  std::string& error_;
  std::vector<std::string> read_;
};

// ---- The fields of each structure, for both directions ----

void Fields(auto&, Is<TCommandsReset> auto&) {}
void Fields(auto&, Is<TStatusRequest> auto&) {}
void Fields(auto&, Is<TUsersList> auto&) {}
void Fields(auto&, Is<TDetach> auto&) {}

void Fields(auto& io, Is<THello> auto& m) {
  io.Number("protocol", m.protocol);
}
void Fields(auto& io, Is<TTypeLine> auto& m) {
  io.Text("prefix", m.prefix, kMayOmit);
  io.Text("text", m.text);
}
void Fields(auto& io, Is<TMenu> auto& m) {
  io.Choice("action", m.action, kActions);
}
void Fields(auto& io, Is<TChooseView> auto& m) {
  io.Choice("mode", m.mode, kModes);
}
void Fields(auto& io, Is<TClanAnswer> auto& m) {
  io.Flag("accept", m.accept);
}
void Fields(auto& io, Is<TSettingsSet> auto& m) {
  io.Text("profile", m.profile, kNonEmpty);
  io.Settings(m.values);
}
void Fields(auto& io, Is<TUserSet> auto& m) {
  io.Text("name", m.name, kName);
  io.Number("access", m.access);
  io.Text("flags", m.flags, kLetters);
}
void Fields(auto& io, Is<TUserDelete> auto& m) {
  io.Text("name", m.name, kNonEmpty);
}
void Fields(auto& io, Is<TCommandAdd> auto& m) {
  io.Text("name", m.name, kName);
  io.Text("text", m.text, kNonEmpty);
  io.Number("access", m.access);
  io.Text("flags", m.flags, kLetters | kMayOmit);
}
void Fields(auto& io, Is<TCommandUpdate> auto& m) {
  io.Text("name", m.name, kNonEmpty);
  io.Text("text", m.text, kMayOmit);
  io.Choice("kind", m.kind, kKinds);
  io.Text("new_name", m.new_name, kName);
  io.Text("new_text", m.new_text);
  io.Number("access", m.access);
  io.Text("flags", m.flags, kLetters);
  io.Flag("enabled", m.enabled);
}
void Fields(auto& io, Is<TCommandDelete> auto& m) {
  io.Text("name", m.name, kNonEmpty);
}
void Fields(auto& io, Is<TProfileCreate> auto& m) {
  io.Text("name", m.name, kNonEmpty);
  io.Text("parent", m.parent, kNonEmpty);
}
void Fields(auto& io, Is<TProfileUse> auto& m) {
  io.Text("name", m.name, kNonEmpty);
}
void Fields(auto& io, Is<TProfileDelete> auto& m) {
  io.Text("name", m.name, kNonEmpty);
}
void Fields(auto& io, Is<TProfileRename> auto& m) {
  io.Text("name", m.name, kNonEmpty);
  io.Text("new_name", m.new_name, kNonEmpty);
}
void Fields(auto& io, Is<TLanguageChoice> auto& m) {
  io.Text("display", m.display, kNonEmpty);
}
void Fields(auto& io, Is<TSay> auto& m) {
  io.Text("text", m.text, kNonEmpty);
}

void Fields(auto& io, Is<TBotHello> auto& m) {
  io.Number("protocol", m.protocol);
  io.Text("version", m.version);
}
void Fields(auto& io, Is<TTextRun> auto& m) {
  io.Text("text", m.text);
  io.Color("color", m.color);
}
void Fields(auto& io, Is<TPaneLine> auto& m) {
  io.Choice("pane", m.pane, kPanes);
  io.List("runs", m.runs);
}
void Fields(auto& io, Is<TViewRow> auto& m) {
  io.Number("icon", m.icon, kNoIcon);
  io.Number("cell_icon", m.cell_icon, kNoIcon);
  io.Text("first", m.first);
  io.Text("name", m.name);
  io.Text("third", m.third);
}
void Fields(auto& io, Is<TView> auto& m) {
  io.Choice("mode", m.mode, kModes);
  io.Text("caption", m.caption);
  io.List("rows", m.rows);
}
void Fields(auto& io, Is<TRowChange> auto& m) {
  io.Choice("change", m.change.kind, kChanges);
  io.Number("index", m.change.row, -1);
  io.Nested("row", m.row);
  io.Text("caption", m.caption);
}
void Fields(auto& io, Is<TState> auto& m) {
  io.Flag("connected", m.connected);
  io.Flag("logged_on", m.logged_on);
  io.Text("channel", m.channel);
  io.Text("profile", m.profile);
}
void Fields(auto& io, Is<TProfileList> auto& m) {
  io.Text("current", m.current);
  io.Names("profiles", m.profiles);
}
void Fields(auto& io, Is<TClanInvitation> auto& m) {
  io.Text("tag", m.tag);
  io.Text("inviter", m.inviter);
  io.Text("text", m.text);
}
void Fields(auto& io, Is<TSettings> auto& m) {
  io.Settings(m);
}
void Fields(auto& io, Is<TUserList::TEntry> auto& m) {
  io.Text("name", m.name);
  io.Number("access", m.access);
  io.Text("flags", m.flags);
}
void Fields(auto& io, Is<TUserList> auto& m) {
  io.List("users", m.users);
}
void Fields(auto& io, Is<TCommandList::TEntry> auto& m) {
  io.Text("name", m.name);
  io.Number("access", m.access);
  io.Text("flags", m.flags);
  io.Flag("enabled", m.enabled);
  io.Choice("kind", m.kind, kKinds);
  io.Text("text", m.text);
}
void Fields(auto& io, Is<TCommandList> auto& m) {
  io.List("commands", m.commands);
}
void Fields(auto& io, Is<TResult> auto& m) {
  io.Id(m.id);
  io.Flag("ok", m.ok);
  io.Text("error", m.error, kMayOmit);
}
void Fields(auto& io, Is<TError> auto& m) {
  io.Id(m.id);
  io.Text("error", m.error);
}

template <class T>
TOut TWriter::Object(const T& item) {
  TOut object = TOut::object();
  TWriter writer(object);
  Fields(writer, item);
  return object;
}

template <class T>
void TReader::Object(std::string where, const TJson& value, T& out) {
  if (!value.is_object()) return Fail(where.substr(where_.size()) + " must be an object");
  TReader reader(value, strict_, std::move(where) + ".", error_);
  Fields(reader, out);
  reader.Finish();
}

// ---- Lines ----

template <class M>
constexpr const char* TypeName() {
  if constexpr (std::is_same_v<M, TPaneLine>) {
    return "line";
  } else if constexpr (std::is_same_v<M, TSettings>) {
    return "settings";
  } else {
    return M::kType;
  }
}

template <class Variant>
std::string Encode(const Variant& message, const TRequestId& id) {
  TOut object = TOut::object();
  std::visit(
      [&](const auto& m) {
        object["type"] = TypeName<std::decay_t<decltype(m)>>();
        TWriter writer(object);
        writer.Id(id);
        Fields(writer, m);
      },
      message);
  return object.dump(-1, ' ', false, TJson::error_handler_t::replace) + "\n";
}

struct TTooDeep {};

// The object that the line holds, or nothing and why.
std::optional<TJson> ParseObject(std::string_view line, std::string& error) {
  try {
    TJson object =
        TJson::parse(line.begin(), line.end(), [](int depth, TJson::parse_event_t, TJson&) {
          if (depth > kMaxDepth) throw TTooDeep{};
          return true;
        });
    if (object.is_object()) return object;
    error = "not a JSON object";
  } catch (const TJson::parse_error& e) {
    const bool utf8 = std::string_view(e.what()).find("UTF-8") != std::string_view::npos;
    if (utf8) {
      error = "not valid UTF-8 at byte " + std::to_string(e.byte);
    } else if (e.byte > line.size()) {
      error = "malformed JSON: the line ends too early";
    } else {
      error = "malformed JSON at byte " + std::to_string(e.byte);
    }
  } catch (const TJson::out_of_range&) {
    error = "malformed JSON: a number out of range";
  } catch (const TTooDeep&) {
    error = "nested deeper than " + std::to_string(kMaxDepth);
  }
  return std::nullopt;
}

// The variant's member whose type name is `type`, read; false for no such type.
template <class Variant, std::size_t I = 0>
bool ReadAs(const std::string& type, TReader& reader, std::optional<Variant>& out) {
  if constexpr (I == std::variant_size_v<Variant>) {
    return false;
  } else {
    using M = std::variant_alternative_t<I, Variant>;
    if (type != TypeName<M>()) return ReadAs<Variant, I + 1>(type, reader, out);
    M message;
    Fields(reader, message);
    out.emplace(std::move(message));
    return true;
  }
}

// `id`, when given, takes the line's "id" first, so that an error can answer it.
template <class Variant>
std::optional<Variant> Decode(std::string_view line, bool strict, TRequestId* id,
                              std::string& error) {
  const std::optional<TJson> object = ParseObject(line, error);
  if (!object) return std::nullopt;
  TReader reader(*object, strict, "", error);
  if (id != nullptr) reader.Id(*id);
  std::string type;
  reader.Text("type", type);
  std::optional<Variant> out;
  if (!error.empty()) return std::nullopt;
  reader.Where(type + ": ");
  if (!ReadAs<Variant>(type, reader, out)) {
    error = "unknown type " + Quoted(type);
    return std::nullopt;
  }
  reader.Finish();
  if (!error.empty()) out.reset();
  return out;
}

}  // namespace

TRequestId TRequestId::Text(const std::string& utf8) {
  return {TJson(utf8).dump(-1, ' ', false, TJson::error_handler_t::replace)};
}

TDecodedRequest DecodeRequest(std::string_view line) {
  TDecodedRequest decoded;
  decoded.request = Decode<TRequest>(line, true, &decoded.id, decoded.error);
  const THello* hello = decoded.request ? std::get_if<THello>(&*decoded.request) : nullptr;
  if (hello != nullptr && hello->protocol != kControlProtocol) {
    decoded.error = "protocol " + std::to_string(hello->protocol) +
                    " is not spoken here; this bot speaks " + std::to_string(kControlProtocol);
    decoded.request.reset();
  }
  return decoded;
}

std::string EncodeRequest(const TRequest& request, const TRequestId& id) {
  return Encode(request, id);
}

TDecodedMessage DecodeMessage(std::string_view line) {
  TDecodedMessage decoded;
  decoded.message = Decode<TBotMessage>(line, false, nullptr, decoded.error);
  return decoded;
}

std::string EncodeMessage(const TBotMessage& message) {
  return Encode(message, {});
}

TView ViewOf(const TMemberViews& views) {
  return {views.Mode(), views.Caption(), views.Rows()};
}

TBotMessage ViewChangeOf(const TMemberViews& views, TViewChange change) {
  if (change.kind == TViewChange::TKind::Reset) return ViewOf(views);
  TRowChange row{change, std::nullopt, views.Caption()};
  const std::vector<TViewRow>& rows = views.Rows();
  if (change.kind == TViewChange::TKind::RowInserted && change.row >= 0 &&
      static_cast<std::size_t>(change.row) < rows.size()) {
    row.row = rows[static_cast<std::size_t>(change.row)];
  }
  return row;
}

TUserList UsersOf(const TBotCommandControl& database) {
  TUserList list;
  list.users.reserve(database.Users().size());
  for (const auto& u : database.Users()) list.users.push_back({u->Name, u->Access, u->Flags});
  return list;
}

TCommandList CommandsOf(const TBotCommandControl& database) {
  TCommandList list;
  list.commands.reserve(database.Commands().size());
  for (const auto& c : database.Commands()) {
    list.commands.push_back({c->Name, c->Access, c->Flags, c->Enabled, c->CmdType, c->Text});
  }
  return list;
}

}  // namespace control
}  // namespace corvane
