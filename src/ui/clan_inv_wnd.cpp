#include "ui/clan_inv_wnd.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "config/codepage.h"

namespace corvane {

TClanInvWnd::TClanInvWnd(QWidget* parent, std::function<void(bool)> answer, int tick_ms)
    : QDialog(parent), answer_(std::move(answer)) {
  setWindowTitle("Clan invitation");
  setModal(false);
  text_ = new QLabel(this);
  text_->setTextFormat(Qt::PlainText);  // the inviter's name is the server's, not markup
  text_->setWordWrap(true);
  accept_ = new QPushButton("Accept", this);
  decline_ = new QPushButton(this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(accept_);
  buttons->addWidget(decline_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addLayout(buttons);
  connect(accept_, &QPushButton::clicked, this, [this] { Answer(true); });
  connect(decline_, &QPushButton::clicked, this, [this] { Answer(false); });
  countdown_.setInterval(tick_ms);
  connect(&countdown_, &QTimer::timeout, this, [this] { Tick(); });
}

void TClanInvWnd::Invite(const std::string& text) {
  text_->setText(QString::fromStdString(DisplayText(text)));
  seconds_left_ = kCountdownSeconds;
  decline_->setText(QString("Cancel (%1)").arg(seconds_left_));
  countdown_.start();
  show();
  raise();
}

void TClanInvWnd::Tick() {
  --seconds_left_;
  decline_->setText(QString("Cancel (%1)").arg(seconds_left_));
  if (seconds_left_ <= 0) Answer(false);
}

void TClanInvWnd::Answer(bool accept) {
  countdown_.stop();
  hide();
  if (answer_) answer_(accept);
}

}  // namespace corvane
