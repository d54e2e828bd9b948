#include "app/control_protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/roster.h"
#include "config/codepage.h"

namespace corvane {
namespace {

using namespace control;

// "Жора" and "Привет" in CP1251, as the bot keeps them.
const std::string kZhora = "\xC6\xEE\xF0\xE0";
const std::string kHello = "\xCF\xF0\xE8\xE2\xE5\xF2";

class ControlProtocol : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SetProcessCodePage("CP1251")); }
};

TSettingValue Setting(const std::string& name, const std::string& typed) {
  std::string error;
  const TSettingField* field = FindSetting(name, error);
  EXPECT_NE(field, nullptr) << error;
  return field == nullptr ? TSettingValue{} : *ParseSettingValue(*field, typed, error);
}

// The bound is 8 bytes here; the reader is drained after every read, as a connection does.
TEST_F(ControlProtocol, LinesAreSplitAcrossReadsAndBounded) {
  struct TCase {
    std::vector<std::string> reads;
    std::vector<std::string> lines;
    bool overflowed;
  };
  const TCase cases[] = {
      {{"{\"a\"", ":1}\n{", "}\n"}, {"{\"a\":1}", "{}"}, false},
      {{"a\n\n\r\nb\r\n", "c"}, {"a", "b"}, false},  // no empty line, no partial one
      {{"12345678\n", "1234567\r\n"}, {"12345678", "1234567"}, false},
      {{"12345678", "\n"}, {"12345678"}, false},
      // Over the bound: the lines before it, nothing from it on.
      {{"a\n123456789\nb\n"}, {"a"}, true},
      {{"a\n12345", "6789"}, {"a"}, true},  // never ended, yet not kept
      {{"a\n12345", "6789", "\nb\n"}, {"a"}, true},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    TLineReader reader(8);
    std::vector<std::string> lines;
    for (const std::string& read : cases[i].reads) {
      reader.Feed(read);
      while (std::optional<std::string> line = reader.Next()) lines.push_back(*line);
    }
    EXPECT_EQ(lines, cases[i].lines) << i;
    EXPECT_EQ(reader.Overflowed(), cases[i].overflowed) << i;
  }
  TLineReader reader;
  const std::string chunk(kMaxControlLine / 16, 'x');
  for (int i = 0; i < 16; ++i) reader.Feed(chunk);
  EXPECT_FALSE(reader.Overflowed());
  reader.Feed("x");
  EXPECT_TRUE(reader.Overflowed());
}

// Every request survives the way to the bot, its texts back in the code page.
TEST_F(ControlProtocol, RequestsRoundTrip) {
  const TRequest requests[] = {
      THello{},
      TTypeLine{"/w " + kZhora + " ", kHello},
      TTypeLine{"", "/"},
      TMenu{TMenuAction::RestartPlugins},
      TChooseView{TViewMode::Clan},
      TClanAnswer{true},
      TSettingsSet{std::nullopt,
                   {Setting("Main.Trigger", "!"), Setting("Main.Game", "8"),
                    Setting("Main.UTF8", "off"), Setting("Great messages.Msg", kHello)}},
      TSettingsSet{"second", {Setting("Main.Trigger", "?")}},
      TUserSet{kZhora, -5, std::nullopt},
      TUserSet{"bob", 100, ""},
      TUserDelete{kZhora},
      TCommandAdd{"hi", "Hi %user", 10, "AS"},
      TCommandUpdate{{"hi", "Hi %user", TCmdType::Custom, "yo", "Yo", 20, "", false}},
      TCommandUpdate{{"ver", "", TCmdType::Internal, {}, {}, {}, {}, {}}},
      TCommandDelete{"hi"},
      TCommandsReset{},
      TProfileCreate{kZhora, std::nullopt},
      TProfileCreate{"b", "main"},
      TProfileUse{"main"},
      TProfileDelete{"main"},
      TProfileRename{"main", kZhora + " 2"},
      TLanguageChoice{"Russian (" + kZhora + ")"},
      TSay{"/" + kHello},
      TStatusRequest{},
      TUsersList{},
      TDetach{},
  };
  for (std::size_t i = 0; i < std::size(requests); ++i) {
    const TRequestId id = i % 2 == 0 ? TRequestId::Number(static_cast<std::int64_t>(i))
                                     : TRequestId::Text("r\"" + std::to_string(i));
    const std::string line = EncodeRequest(requests[i], id);
    ASSERT_EQ(line.find('\n'), line.size() - 1) << line;
    const TDecodedRequest decoded = DecodeRequest(line.substr(0, line.size() - 1));
    ASSERT_TRUE(decoded.request) << line << decoded.error;
    EXPECT_TRUE(*decoded.request == requests[i]) << line;
    EXPECT_EQ(decoded.id, id) << line;
  }
  EXPECT_NE(EncodeRequest(TSay{kHello}).find("Привет"), std::string::npos);
}

bool Same(const TBotMessage& a, const TBotMessage& b) {
  const auto* x = std::get_if<TSettings>(&a);
  const auto* y = std::get_if<TSettings>(&b);
  if (x == nullptr || y == nullptr) {
    return a.index() == b.index() && std::visit(
                                         [&](const auto& m) {
                                           using M = std::decay_t<decltype(m)>;
                                           if constexpr (std::is_same_v<M, TSettings>) {
                                             return false;
                                           } else {
                                             return m == std::get<M>(b);
                                           }
                                         },
                                         a);
  }
  for (const TSettingField& f : SettingFields()) {
    if (f.text != nullptr     ? x->*f.text != y->*f.text
        : f.number != nullptr ? x->*f.number != y->*f.number
                              : x->*f.flag != y->*f.flag) {
      return false;
    }
  }
  return true;
}

TEST_F(ControlProtocol, MessagesRoundTripAndCarryUtf8) {
  const TPaneLine line{
      TPane::Whisper,
      {{"<" + kZhora + "> ", kAqua}, {kHello + "\x01", kCaptionGradient}, {"", kInactiveGradient}}};
  EXPECT_EQ(EncodeMessage(line),
            R"({"type":"line","pane":"whisper","runs":[{"text":"<Жора> ","color":"#00ffff"},)"
            R"({"text":"Привет\u0001","color":"caption"},{"text":"","color":"inactive_caption"}]})"
            "\n");

  TRoster roster;
  const std::string channel;
  const TViewSource source{roster.Members(), nullptr, channel};
  TMemberViews views;
  views.Refresh(kAddMember, &roster.Add(kZhora, 2, 0, ""), source);
  views.Refresh(kAddMember, &roster.Add("b", 0, 0, "PX3W 3H3W 12 CBA"), source);
  views.SetCaption(kHello + " (2)");
  TSettings settings;
  settings.Password = kZhora;
  settings.Game = 8;
  settings.UTF8 = true;
  TBotCommandControl db;
  db.SetUser(kZhora, 100, "AS");
  db.AddCustomCommand("hi", kHello, false, false, 10, "L");
  db.AddPluginCommand("p.so", "pc", 0, nullptr, true, 5, "");

  const TBotMessage messages[] = {
      TBotHello{1, "0.1.0"},
      line,
      ViewChangeOf(views, TViewChange::Reset()),
      ViewChangeOf(views, TViewChange::Inserted(1)),
      ViewChangeOf(views, TViewChange::Removed(0)),
      TState{true, false, kHello, kZhora},
      TClanInvitation{"ABC", kZhora, kHello},
      TProfileList{kZhora, {"main", kZhora}},
      settings,
      UsersOf(db),
      CommandsOf(db),
      TResult{TRequestId::Text("a"), false, kHello},
      TResult{TRequestId::Number(7), true, ""},
      TError{{}, "unknown type"},
  };
  for (std::size_t i = 0; i < std::size(messages); ++i) {
    const std::string encoded = EncodeMessage(messages[i]);
    ASSERT_EQ(encoded.find('\n'), encoded.size() - 1) << encoded;
    const TDecodedMessage decoded = DecodeMessage(encoded.substr(0, encoded.size() - 1));
    ASSERT_TRUE(decoded.message) << encoded << decoded.error;
    EXPECT_TRUE(Same(*decoded.message, messages[i])) << encoded;
  }
  // What the helpers take from the view and the database.
  EXPECT_EQ(std::get<TView>(messages[2]).rows, views.Rows());
  const auto& inserted = std::get<TRowChange>(messages[3]);
  EXPECT_TRUE(inserted.row == views.Rows()[1] && inserted.caption == views.Caption());
  EXPECT_FALSE(std::get<TRowChange>(messages[4]).row);
  EXPECT_FALSE(std::get<TRowChange>(ViewChangeOf(views, TViewChange::Inserted(2))).row);
  EXPECT_EQ(std::get<TUserList>(messages[9]).users,
            (std::vector<TUserList::TEntry>{{kZhora, 100, "AS"}}));
  EXPECT_EQ(CommandsOf(db).commands.back(),
            (TCommandList::TEntry{"pc", 5, "", true, TCmdType::Plugin, "p.so"}));
  const std::string all = EncodeMessage(settings);
  EXPECT_NE(all.find(R"("Main.Password":"Жора")"), std::string::npos);
  for (const TSettingField& f : SettingFields()) {
    EXPECT_NE(all.find('"' + SettingName(f) + '"'), std::string::npos) << SettingName(f);
  }
  // A newer bot's fields are skipped; an older bot's missing keys have their defaults.
  EXPECT_TRUE(DecodeMessage(R"({"type":"state","connected":true,"logged_on":false,)"
                            R"("channel":"c","profile":"p","uptime":5})")
                  .message);
  const TDecodedMessage older = DecodeMessage(R"({"type":"settings","values":{"Main.Game":8}})");
  ASSERT_TRUE(older.message) << older.error;
  const auto& defaults = std::get<TSettings>(*older.message);
  EXPECT_EQ(defaults.Trigger + std::to_string(defaults.Game + defaults.BnetPort), ".6120");
}

// Each malformed line with the error it gets; requests unless marked as a message.
TEST_F(ControlProtocol, MalformedLinesAreNamed) {
  const std::string nested = R"({"type":"say","text":[[[[[[[[[1]]]]]]]]]})";
  const std::string long_id = R"({"type":"status","id":")" + std::string(127, 'i') + R"("})";
  const std::string long_msg = R"({"type":"settings_set","values":{"Idle messages.Msg":")" +
                               std::string(2048, 'm') + R"("}})";
  struct TCase {
    std::string line;
    std::string error;
    bool message = false;
  };
  const TCase cases[] = {
      {R"({"type":"say","text":"a")", "malformed JSON: the line ends too early"},
      {R"({"type":"say",})", "malformed JSON at byte 15"},
      {R"({"type":"user_set","name":"a","access":1e400})", "malformed JSON: a number out of range"},
      {"{\"type\":\"say\",\"text\":\"\xFF\"}", "not valid UTF-8 at byte 23"},
      {nested, "nested deeper than 8"},
      {"[1]", "not a JSON object"},
      {R"({"text":"a"})", "type is missing"},
      {R"({"type":7})", "type must be a string"},
      {R"({"type":"фроб"})", "unknown type '\xF4\xF0\xEE\xE1'"},
      {R"({"type":"say"})", "say: text is missing"},
      {R"({"type":"say","text":1})", "say: text must be a string"},
      {R"({"type":"say","text":"a\u0007b"})", "say: text holds a control character"},
      {R"({"type":"say","text":""})", "say: text must not be empty"},
      {R"({"type":"say","text":"a","поле":1})", "say: unknown field '\xEF\xEE\xEB\xE5'"},
      {R"({"type":"say","text":"a",")" + std::string(65, 'f') + R"(":1})",
       "say: unknown field '" + std::string(64, 'f') + "...'"},
      {R"({"type":"say","text":"a","id":[1]})", "id must be a number or a string"},
      {long_id, "id is longer than 128 bytes"},
      {R"({"type":"hello","protocol":2})", "protocol 2 is not spoken here; this bot speaks 1"},
      {R"({"type":"menu","action":"reboot"})",
       "menu: action must be one of connect, disconnect, exit, utf8, join_notify, "
       "restart_plugins"},
      {R"({"type":"clan_answer","accept":"yes"})", "clan_answer: accept must be true or false"},
      {R"({"type":"user_set","name":"a b","access":1})", "user_set: name holds a blank"},
      {R"({"type":"user_set","name":"a","access":2147483648})",
       "user_set: access must be a whole number from -2147483648 to 2147483647"},
      {R"({"type":"user_set","name":"a","access":1.5})",
       "user_set: access must be a whole number from -2147483648 to 2147483647"},
      {R"({"type":"user_set","name":"a","access":1,"flags":"A1"})",
       "user_set: flags must be letters"},
      {R"({"type":"command_update","name":"a","kind":"macro"})",
       "command_update: kind must be one of internal, custom, plugin"},
      {R"({"type":"settings_set","values":[]})", "settings_set: values must be an object"},
      {R"({"type":"settings_set","values":{"Mian.Trigger":"!"}})",
       "settings_set: unknown section 'Mian' (sections: 'Main', 'Local', 'Great messages', "
       "'Idle messages', 'Other')"},
      {R"({"type":"settings_set","values":{"Main.Trigger":"!","main.trigger":"."}})",
       "settings_set: Main.Trigger is given twice"},
      {R"({"type":"settings_set","values":{"Main.Game":9}})",
       "settings_set: '9' is not a whole number from 1 to 8 for Main.Game"},
      {R"({"type":"settings_set","values":{"Main.Game":"8"}})",
       "settings_set: Main.Game must be a whole number"},
      {R"({"type":"settings_set","values":{"Main.UTF8":1}})",
       "settings_set: Main.UTF8 must be true or false"},
      {R"({"type":"settings_set","values":{"Main.Trigger":"a\nb"}})",
       "settings_set: Main.Trigger holds a control character"},
      {long_msg, "settings_set: Idle messages.Msg is longer than 2047 bytes"},
      {R"({"type":"line","pane":"chat","runs":[{"text":"a","color":"#00ff0"}]})",
       "line: runs[0].color must be #rrggbb, caption, inactive_caption", true},
      {R"({"type":"line","pane":"chat","runs":[1]})", "line: runs[0] must be an object", true},
      {R"({"type":"row","change":"inserted","index":0,"row":5,"caption":""})",
       "row: row must be an object", true},
  };
  for (const TCase& c : cases) {
    if (c.message) {
      const TDecodedMessage decoded = DecodeMessage(c.line);
      EXPECT_FALSE(decoded.message) << c.line;
      EXPECT_EQ(decoded.error, c.error) << c.line;
    } else {
      const TDecodedRequest decoded = DecodeRequest(c.line);
      EXPECT_FALSE(decoded.request) << c.line;
      EXPECT_EQ(decoded.error, c.error) << c.line;
    }
  }
  // The id of a bad request is read first, so that the error can answer it.
  const TDecodedRequest bad = DecodeRequest(R"({"id":"x7","type":"frob"})");
  EXPECT_EQ(EncodeMessage(TError{bad.id, bad.error}),
            "{\"type\":\"error\",\"id\":\"x7\",\"error\":\"unknown type 'frob'\"}\n");
}

}  // namespace
}  // namespace corvane
