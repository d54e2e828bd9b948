#pragma once
// The clan invitation window: the invitation's text, Accept, and a decline button that
// counts down the 30 seconds after which the invitation is declined by itself. It does not
// block the main window; each answer goes to the core, once.

#include <QDialog>
#include <QTimer>
#include <functional>
#include <string>

class QLabel;
class QPushButton;

namespace corvane {

class TClanInvWnd final : public QDialog {
 public:
  static constexpr int kCountdownSeconds = 30;

  // `answer` gets true for Accept, false for a decline (also when the time is up).
  // `tick_ms` is the countdown's second (shorter in the tests).
  TClanInvWnd(QWidget* parent, std::function<void(bool accept)> answer, int tick_ms = 1000);

  // Shows the invitation with a fresh countdown.
  void Invite(const std::string& text);
  int SecondsLeft() const { return seconds_left_; }
  QPushButton& AcceptButton() { return *accept_; }
  QPushButton& DeclineButton() { return *decline_; }

 private:
  void Tick();
  void Answer(bool accept);

  std::function<void(bool)> answer_;
  QLabel* text_ = nullptr;
  QPushButton* accept_ = nullptr;
  QPushButton* decline_ = nullptr;
  QTimer countdown_;
  int seconds_left_ = 0;
};

}  // namespace corvane
