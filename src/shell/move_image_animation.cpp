#include "shell/move_image_animation.h"

#include <QTimer>
#include <QWidget>

namespace sondrel {

QPoint MoveImagePosition(QPoint home, int width, int height, int phase) {
  const int l = home.x();
  const int t = home.y();
  const int w = width;
  const int h = height;
  switch (((phase % kMoveImagePhases) + kMoveImagePhases) % kMoveImagePhases) {
    case 0: return {l, t};
    case 1: return {l + w / 2, t};
    case 2: return {l + w, t};
    case 3: return {l + w, t + h / 2};
    case 4: return {l + w, t + h};
    case 5: return {l + w / 2, t + h};
    case 6: return {l, t + h};
    default: return {l, t + h / 2};
  }
}

MoveImageAnimation::MoveImageAnimation(QWidget* image, QObject* parent)
    : QObject(parent), image_(image), timer_(new QTimer(this)), home_(image->pos()) {
  timer_->setInterval(kMoveImageTickMs);
  timer_->setTimerType(Qt::PreciseTimer);  // a coarse timer may fire early and skip a step
  connect(timer_, &QTimer::timeout, this, &MoveImageAnimation::Step);
}

void MoveImageAnimation::SetHome(QPoint home) {
  home_ = home;
  if (!Running()) image_->move(home_);
}

void MoveImageAnimation::Start() {
  if (Running()) return;
  phase_ = 0;
  sinceMove_.start();
  timer_->start();
}

void MoveImageAnimation::Stop() {
  timer_->stop();
  phase_ = 0;
  image_->move(home_);
  image_->update();
}

bool MoveImageAnimation::Running() const {
  return timer_->isActive();
}

void MoveImageAnimation::Step() {
  if (sinceMove_.elapsed() <= kMoveImageStepMs) return;
  sinceMove_.restart();
  phase_ = (phase_ + 1) % kMoveImagePhases;
  image_->move(MoveImagePosition(home_, image_->width(), image_->height(), phase_));
  image_->update();
}

}  // namespace sondrel
