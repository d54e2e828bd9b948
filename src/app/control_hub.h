#pragma once
// Where a running bot meets its control clients: it stands between the core and the
// program's own front end (the window or the console), passes everything on to that front
// end and sends the same to every attached client, and carries out what the clients ask,
// one request at a time on the main thread, through the same TBotLink calls the window
// makes. It keeps the last lines of each pane, so that a client attaching later sees what
// was said before it came.

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/bot_link.h"
#include "app/control_protocol.h"
#include "app/control_server.h"
#include "app/front_end.h"
#include "net/event_loop.h"

namespace corvane {

class TBotCore;

class TControlHub final : public TFrontEnd, private TControlServer::THandler {
 public:
  // Lines of each pane a newly attached client is sent.
  static constexpr std::size_t kScrollbackLines = 20'000;

  TControlHub(TEventLoop& loop, TFrontEnd& front);
  ~TControlHub() override;
  TControlHub(const TControlHub&) = delete;
  TControlHub& operator=(const TControlHub&) = delete;

  // The bot whose requests are carried out: its core, and the link the window uses on it.
  void Attach(TBotCore& core, TBotLink& link);
  // Opens the control socket in `home`. False and why when it cannot be.
  bool Listen(const std::string& home, std::string& error);
  // Closes the socket and every connection (the bot has closed).
  void StopListening();
  const TControlServer* Server() const { return server_.get(); }

  // TFrontEnd: passed on, and sent to the clients.
  void ShowLine(const TPaneLine& line) override;
  void RequestClose() override { front_.RequestClose(); }
  void ViewChanged(const TViewChange& change) override;
  void ProfileRefused(const TProfileMessage& message) override;
  void ClanInvitation(const std::string& tag, const std::string& inviter, std::uint32_t cookie,
                      const std::string& text) override;
  std::optional<TWindowGeometry> Geometry() const override { return front_.Geometry(); }
  void ApplyGeometry(const TWindowGeometry& geometry) override { front_.ApplyGeometry(geometry); }
  void LanguageApplied() override;
  std::intptr_t WindowId() const override { return front_.WindowId(); }
  void ReportFailure(const std::string& text) override { front_.ReportFailure(text); }
  void SettingsChanged() override;
  void DatabaseChanged() override;
  void ProfilesChanged() override;

 private:
  using TClientId = TControlServer::TClientId;
  struct TClient {
    bool wants_database = false;  // asked for the users once: sent them at every change
  };

  // TControlServer::THandler.
  void ClientConnected(TClientId id) override;
  void ClientLine(TClientId id, std::string line) override;
  void ClientGone(TClientId id, const std::string& why) override;
  void ClientRefused(uid_t uid) override;

  // The request carried out; why not, or nothing.
  std::string Carry(TClientId id, const control::TRequest& request);
  std::string SetSettings(const control::TSettingsSet& request);
  void SendStatus(TClientId id);
  void SendDatabase(TClientId id);
  // State, profiles, settings and the database that changed since they were last sent go
  // out once the current event is over, so that a burst of changes is sent once.
  void ScheduleFlush();
  void Flush();
  // To every client that has been greeted (a newer one gets the line with its scrollback).
  void SendAll(const std::string& bytes);
  control::TState State() const;
  control::TProfileList Profiles() const;
  bool HasClients() const { return !clients_.empty(); }

  TEventLoop& loop_;
  TFrontEnd& front_;
  TBotCore* core_ = nullptr;
  TBotLink* link_ = nullptr;
  std::unique_ptr<TControlServer> server_;
  std::map<TClientId, TClient> clients_;
  std::deque<TPaneLine> chat_;
  std::deque<TPaneLine> whispers_;
  // What the clients were last sent of each, so that only a change goes out.
  std::string sent_state_;
  std::string sent_profiles_;
  std::string sent_settings_;
  bool database_changed_ = false;
  bool flush_scheduled_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace corvane
