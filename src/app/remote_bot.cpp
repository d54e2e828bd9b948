#include "app/remote_bot.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <utility>
#include <variant>

#include "app/control_client.h"

namespace corvane {
namespace {

template <class... F>
struct TOverloaded : F... {
  using F::operator()...;
};
template <class... F>
TOverloaded(F...) -> TOverloaded<F...>;

// Writes all of `bytes`, waiting while the stream is full; false when it is closed.
bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

TProfileMessage Refusal(const std::string& text) {
  TProfileMessage message;
  message.title_key = "err";
  message.icon = TMsgIcon::Error;
  message.literal = text;
  return message;
}

TProfileMessage Said(const char* key) {
  TProfileMessage message;
  message.text_key = key;
  message.title_key = "err";
  message.icon = TMsgIcon::Information;
  return message;
}

}  // namespace

TRemoteBot::TRemoteBot(TEventLoop& loop, TFrontEnd& front, TBotChannel channel, std::string shared)
    : loop_(loop), front_(front), channel_(std::move(channel)), shared_(std::move(shared)) {
  views_.SetCaption("Not attached");
  wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  reader_ = std::thread([this] { ReadLoop(); });
}

TRemoteBot::~TRemoteBot() {
  Close();
  *alive_ = false;
}

std::vector<std::string> TRemoteBot::LangDirs() const {
  if (shared_.empty()) return {};
  return {shared_ + "/lang"};
}

// ---- The stream ----

void TRemoteBot::ReadLoop() {
  TLineReader lines(kMaxBotLine);
  char block[65536];
  for (;;) {
    pollfd fds[2] = {{channel_.ReadFd(), POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents != 0) break;  // closing
    const ssize_t n = read(channel_.ReadFd(), block, sizeof block);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    lines.Feed(std::string_view(block, static_cast<std::size_t>(n)));
    std::vector<control::TBotMessage> decoded;
    while (std::optional<std::string> line = lines.Next()) {
      control::TDecodedMessage message = control::DecodeMessage(*line);
      // A type a newer bot sends is skipped; so is a malformed line.
      if (message.message) decoded.push_back(std::move(*message.message));
    }
    if (lines.Overflowed()) break;
    if (decoded.empty()) continue;
    const std::lock_guard lock(mutex_);
    for (control::TBotMessage& m : decoded) inbox_.push_back(std::move(m));
    arrived_.notify_all();
    if (!std::exchange(drain_posted_, true)) {
      loop_.Post([this, alive = alive_] {
        if (*alive) Drain();
      });
    }
  }
  const std::lock_guard lock(mutex_);
  ended_ = true;
  arrived_.notify_all();
  if (!std::exchange(drain_posted_, true)) {
    loop_.Post([this, alive = alive_] {
      if (*alive) Drain();
    });
  }
}

void TRemoteBot::Drain() {
  for (;;) {
    std::deque<control::TBotMessage> batch;
    bool ended = false;
    {
      const std::lock_guard lock(mutex_);
      batch.swap(inbox_);
      ended = ended_;
      drain_posted_ = false;
    }
    if (batch.empty()) {
      if (ended) Ended();
      return;
    }
    for (control::TBotMessage& message : batch) Apply(std::move(message));
  }
}

void TRemoteBot::Send(const control::TRequest& request, const control::TRequestId& id) {
  if (closed_ || ended_seen_ || channel_.WriteFd() < 0) return;
  WriteAll(channel_.WriteFd(), control::EncodeRequest(request, id));
}

std::string TRemoteBot::Call(const control::TRequest& request) {
  if (closed_ || ended_seen_) return "the bot is not attached";
  const std::int64_t id = next_id_++;
  awaited_id_ = id;
  answer_.reset();
  Send(request, control::TRequestId::Number(id));
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kCallTimeoutMs);
  while (!answer_ && !ended_seen_) {
    {
      std::unique_lock lock(mutex_);
      if (!arrived_.wait_until(lock, deadline, [this] { return !inbox_.empty() || ended_; })) {
        break;
      }
    }
    Drain();
  }
  awaited_id_ = 0;
  if (answer_) return *std::exchange(answer_, std::nullopt);
  return ended_seen_ ? "the connection to the bot has ended"
                     : "the bot did not answer within " + std::to_string(kCallTimeoutMs / 1000) +
                           " seconds";
}

void TRemoteBot::Ended() {
  if (ended_seen_) return;
  ended_seen_ = true;
  state_ = {};
  views_.Assign(views_.Mode(), {}, "Not attached");
  front_.ViewChanged(TViewChange::Reset());
  if (exit_asked_ || closed_) {
    front_.RequestClose();
    return;
  }
  front_.ShowLine({TPane::Chat, {{"[BOT] The connection to the bot has ended", kRed}}});
}

void TRemoteBot::ShowError(const std::string& text) {
  front_.ShowLine({TPane::Chat, {{"[BOT] The bot refused a request: " + text, kRed}}});
}

void TRemoteBot::Apply(control::TBotMessage message) {
  std::visit(
      TOverloaded{
          [&](control::TBotHello& m) {
            if (m.protocol != kControlProtocol) {
              ShowError("it speaks protocol " + std::to_string(m.protocol) + ", this program " +
                        std::to_string(kControlProtocol));
            }
          },
          [&](TPaneLine& m) { front_.ShowLine(m); },
          [&](control::TView& m) {
            views_.Assign(m.mode, std::move(m.rows), std::move(m.caption));
            front_.ViewChanged(TViewChange::Reset());
          },
          [&](control::TRowChange& m) {
            if (views_.Apply(m.change, m.row ? &*m.row : nullptr, m.caption)) {
              front_.ViewChanged(m.change);
            } else {
              Send(control::TStatusRequest{});  // out of step: the whole view again
            }
          },
          [&](control::TState& m) {
            state_ = std::move(m);
            front_.ViewChanged(TViewChange::Caption());
          },
          [&](control::TClanInvitation& m) { front_.ClanInvitation(m.tag, m.inviter, 0, m.text); },
          [&](TSettings& m) {
            settings_ = std::move(m);
            if (settings_.Language != language_file_ || language_file_.empty()) {
              language_file_ = settings_.Language;
              language_.Apply(LanguageFolder(LangDirs(), language_file_), language_file_);
            }
            front_.LanguageApplied();
            front_.SettingsChanged();
          },
          [&](control::TProfileList& m) {
            profiles_ = std::move(m.profiles);
            state_.profile = std::move(m.current);
            front_.ProfilesChanged();
          },
          [&](control::TUserList& m) {
            users_ = std::move(m);
            RebuildDatabase();
          },
          [&](control::TCommandList& m) {
            commands_ = std::move(m);
            RebuildDatabase();
          },
          [&](control::TResult& m) {
            if (m.id == control::TRequestId::Number(awaited_id_)) {
              answer_ = m.ok ? std::string() : m.error;
            } else if (!m.ok) {
              ShowError(m.error);
            }
          },
          [&](control::TError& m) {
            if (awaited_id_ != 0 && m.id == control::TRequestId::Number(awaited_id_)) {
              answer_ = m.error;
            } else {
              ShowError(m.error);
            }
          },
      },
      message);
}

void TRemoteBot::RebuildDatabase() {
  TBotCommandControl db;
  for (const control::TUserList::TEntry& u : users_.users) db.SetUser(u.name, u.access, u.flags);
  for (const control::TCommandList::TEntry& c : commands_.commands) {
    switch (c.kind) {
      case TCmdType::Internal:
        db.AddInternalCommand(c.name, c.flags, c.access, c.enabled, nullptr, false);
        break;
      case TCmdType::Custom:
        db.AddCustomCommand(c.name, c.text, false, c.enabled, c.access, c.flags);
        break;
      case TCmdType::Plugin:
        db.AddPluginCommand(c.text, c.name, 0, nullptr, c.enabled, c.access, c.flags);
        break;
    }
  }
  database_ = std::move(db);
  front_.DatabaseChanged();
}

// ---- The link ----

void TRemoteBot::Start() {
  // The greeting comes before the answer to the first request.
  const std::string error = Call(control::THello{});
  if (!error.empty()) {
    front_.ShowLine(
        {TPane::Chat, {{"[BOT] Cannot attach to " + channel_.Describe() + ": " + error, kRed}}});
    return;
  }
  Call(control::TUsersList{});
}

bool TRemoteBot::Close() {
  if (closed_) return true;
  closed_ = true;
  if (!ended_seen_ && channel_.WriteFd() >= 0) {
    WriteAll(channel_.WriteFd(), control::EncodeRequest(control::TDetach{}));
  }
  channel_.EndWriting();
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = write(wake_fd_, &one, sizeof one);
  if (reader_.joinable()) reader_.join();
  close(wake_fd_);
  channel_.Release();
  return true;
}

void TRemoteBot::ConnectClicked() {
  Send(control::TMenu{control::TMenuAction::Connect});
}
void TRemoteBot::DisconnectClicked() {
  Send(control::TMenu{control::TMenuAction::Disconnect});
}
void TRemoteBot::ExitClicked() {
  exit_asked_ = true;
  Send(control::TMenu{control::TMenuAction::Exit});
}
void TRemoteBot::ToggleUtf8() {
  Send(control::TMenu{control::TMenuAction::Utf8});
}
void TRemoteBot::ToggleJoinNotify() {
  Send(control::TMenu{control::TMenuAction::JoinNotify});
}
void TRemoteBot::RestartPlugins() {
  Send(control::TMenu{control::TMenuAction::RestartPlugins});
}
void TRemoteBot::ChooseView(TViewMode mode) {
  Send(control::TChooseView{mode});
}

bool TRemoteBot::TypeLine(const std::string& prefix, const std::string& input) {
  if (input.empty() || ended_seen_) return false;
  Send(control::TTypeLine{prefix, input});
  return true;
}

void TRemoteBot::AnswerClanInvitation(bool accept) {
  Send(control::TClanAnswer{accept});
}

void TRemoteBot::AddChatLine(const std::string& text, TColor color) {
  front_.ShowLine({TPane::Chat, {{text, color}}});
}

void TRemoteBot::ApplySettings(const TSettings& settings) {
  control::TSettingsSet request;
  for (const TSettingField& f : SettingFields()) {
    request.values.push_back({&f, f.text != nullptr ? settings.*f.text : std::string(),
                              f.number != nullptr ? settings.*f.number : 0,
                              f.flag != nullptr && settings.*f.flag});
  }
  const std::string error = Call(request);
  if (!error.empty()) ShowError(error);
}

void TRemoteBot::SetUser(const std::string& name, std::int32_t access, const std::string& flags) {
  control::TUserSet request{name, access, std::nullopt};
  if (flags != "?") request.flags = flags;
  const std::string error = Call(request);
  if (!error.empty()) ShowError(error);
}

void TRemoteBot::DeleteUser(const std::string& name) {
  const std::string error = Call(control::TUserDelete{name});
  if (!error.empty()) ShowError(error);
}

void TRemoteBot::AddCommand(const std::string& name, const std::string& text, std::int32_t access,
                            const std::string& flags) {
  const std::string error = Call(control::TCommandAdd{name, text, access, flags});
  if (!error.empty()) ShowError(error);
}

bool TRemoteBot::UpdateCommand(const TCommandEdit& e) {
  return Call(control::TCommandUpdate{e}).empty();
}

bool TRemoteBot::DeleteCommand(const std::string& name) {
  return Call(control::TCommandDelete{name}).empty();
}

void TRemoteBot::ResetCommandsToDefaults() {
  const std::string error = Call(control::TCommandsReset{});
  if (!error.empty()) ShowError(error);
}

TBotLink::TChoice TRemoteBot::ChooseProfile(const std::string& name, const TProfiles::TAsk& ask) {
  if (name == state_.profile ||
      std::find(profiles_.begin(), profiles_.end(), name) == profiles_.end()) {
    return TChoice::Unchanged;
  }
  if (Connected()) {
    TProfileMessage question;
    question.text_key = "choseprofile";
    question.title_key = "caution";
    question.icon = TMsgIcon::Question;
    if (!ask(question)) return TChoice::Refused;
  }
  return Call(control::TProfileUse{name}).empty() ? TChoice::Switched : TChoice::Unchanged;
}

TProfiles::TCreateResult TRemoteBot::CreateProfile(const std::string& typed_name,
                                                   const std::string& parent,
                                                   const TProfiles::TAsk& ask) {
  TProfiles::TCreateResult result;
  result.name = typed_name;
  if (Connected()) {
    TProfileMessage question;
    question.text_key = "crprofcoution";
    question.title_key = "caution";
    question.icon = TMsgIcon::Question;
    if (!ask(question)) return result;
  }
  control::TProfileCreate request{typed_name, std::nullopt};
  if (parent != kDefaultProfileItem) request.parent = parent;
  const std::string error = Call(request);
  result.created = error.empty();
  result.message = result.created ? Said("crok") : Refusal(error);
  if (result.created) result.message.title_key = "okmsg";
  return result;
}

TProfileMessage TRemoteBot::DeleteProfile(const std::string& name, const TProfiles::TAsk& confirm) {
  TProfileMessage question;
  question.text_key = "profdelquestion";
  question.title_key = "caution";
  question.icon = TMsgIcon::Question;
  question.suffix = name;
  if (!confirm(question)) return {};
  const std::string error = Call(control::TProfileDelete{name});
  return error.empty() ? Said("profdelok") : Refusal(error);
}

TProfileMessage TRemoteBot::RenameProfile(const std::string& name, const std::string& new_name) {
  const std::string error = Call(control::TProfileRename{name, new_name});
  return error.empty() ? Said("profrmok") : Refusal(error);
}

bool TRemoteBot::ChooseLanguage(const std::string& display) {
  return Call(control::TLanguageChoice{display}).empty();
}

}  // namespace corvane
