#pragma once
// What the bot logic reaches of the application core that owns it: the outgoing queue,
// the chat pane, the session, the settings, the database, the language, the channel
// roster, the protection mode and the clocks. The core implements it; the tests use a
// recording fake.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "bnet/user.h"
#include "config/colors.h"

namespace corvane {

class TBNET;
class TSettings;
class TLanguage;
class TBotCommandControl;

// Where a dispatched line came from.
enum TCmdSource : std::uint8_t {
  kSourceTalk = 1,
  kSourceWhisper = 2,
  kSourceEmote = 3,
  kSourceConsole = 4,
};

// Channel protection: what happens to a joining user who is not safelisted.
enum TProtectMode : std::uint8_t { kProtectBan = 0, kProtectKick = 1, kProtectOff = 2 };

// What a queued line is, which decides whether it may wait and what leaves first.
enum class TLineKind : std::uint8_t {
  Reply,     // a command's reply, a plug-in's line: the core tells whose (and the owner's)
  Greeting,  // queued only when nothing else waits
  Idle,      // the anti-idle line
};

class TBotHost {
 public:
  virtual ~TBotHost() = default;

  // Appends a line to the outgoing queue. Lines of the owner and moderation lines ("/kick",
  // "/ban", "/unban", "/designate") always wait their turn; the others only while the queue
  // is short.
  virtual void QueueLine(const std::string& line, TLineKind kind = TLineKind::Reply) = 0;
  // Writes a line to the chat pane.
  virtual void AddChatLine(const std::string& text, TColor color) = 0;

  // The session, or nullptr when there is none.
  virtual TBNET* Session() = 0;
  virtual const TSettings& Settings() const = 0;
  virtual TBotCommandControl& Database() = 0;
  virtual const TLanguage& Language() const = 0;

  // The channel roster, in order of arrival.
  virtual const std::vector<TUser>& Roster() const = 0;
  // The first roster entry with exactly this name (case counts), or nullptr.
  virtual const TUser* FindChannelUser(const std::string& name) const = 0;

  virtual TProtectMode ProtectMode() const = 0;
  virtual void SetProtectMode(TProtectMode mode) = 0;

  // The wrapping millisecond tick of the loop, for the flood gates.
  virtual std::uint32_t TickMs() const = 0;
  // Closes the program as its own close command does. It is asked from inside a running
  // command, so the core must end the program later (from its loop), never from here.
  virtual void Quit() = 0;
  // The wall clock, for the %time and %date of greet and idle messages.
  virtual std::time_t Now() const = 0;
};

}  // namespace corvane
