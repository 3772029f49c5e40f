#include "shell/banner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>

#include <iterator>

#include "shell/display_text.h"
#include "shell/program_logo.h"
#include "shell/shell_texts.h"

namespace sondrel {

namespace {

constexpr int kBannerWidth = 468;
constexpr int kBannerHeight = 60;
constexpr int kLogoSize = 48;
constexpr int kTipIntervalMs = 8000;
constexpr int kTipCount = static_cast<int>(std::size(shell_texts::kBannerTips));

}  // namespace

Banner::Banner(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Banner"));
  setFixedSize(kBannerWidth, kBannerHeight);
}

bool Banner::SetUp() {
  if (timer_ == nullptr) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    logo_ = new QLabel(this);
    logo_->setFixedSize(kLogoSize, kLogoSize);
    layout->addWidget(logo_);
    text_ = new QLabel(this);
    text_->setObjectName(QStringLiteral("BannerTip"));
    text_->setTextFormat(Qt::PlainText);
    text_->setWordWrap(true);
    text_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    layout->addWidget(text_, 1);
    timer_ = new QTimer(this);
    timer_->setInterval(kTipIntervalMs);
    connect(timer_, &QTimer::timeout, this, [this] { NextTip(); });
  }
  const QPixmap logo = ProgramLogo(kLogoSize);
  if (logo.isNull() || kTipCount == 0) return false;
  logo_->setPixmap(logo);
  ShowTip(0);
  timer_->start();
  return true;
}

void Banner::SetProxy(std::string_view host, int port) {
  proxyHost_ = std::string(host);
  proxyPort_ = port;
}

void Banner::MoveToPage(QWidget* page) {
  if (page == nullptr) return;
  if (parentWidget() != page) setParent(page);
  move(0, 0);
  show();
  raise();
}

void Banner::Stop() {
  if (timer_ != nullptr) timer_->stop();
}

void Banner::ShowNotice(std::string_view text) {
  if (timer_ == nullptr) return;
  timer_->stop();
  text_->setText(DisplayText(text));
}

void Banner::ResumeTips() {
  if (timer_ == nullptr || tip_ < 0) return;
  ShowTip(tip_);
  timer_->start();
}

QString Banner::Text() const { return text_ ? text_->text() : QString(); }

bool Banner::Rotating() const { return timer_ != nullptr && timer_->isActive(); }

void Banner::SetRotationInterval(int ms) {
  if (timer_ != nullptr && ms > 0) timer_->setInterval(ms);
}

void Banner::ShowTip(int index) {
  tip_ = index;
  text_->setText(DisplayText(shell_texts::kBannerTips[index]));
}

void Banner::NextTip() { ShowTip((tip_ + 1) % kTipCount); }

}  // namespace sondrel
