#pragma once
// The image that circles while a search or a verification runs. A precise timer on the main
// thread asks for a step just after each step time, so the program wakes six times a second
// rather than fifty; the image moves only when more than the step time passed since its last
// move, clockwise through eight places around a square of its own size.

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>

class QTimer;
class QWidget;

namespace sondrel {

inline constexpr int kMoveImageStepMs = 170;
inline constexpr int kMoveImageTickMs = kMoveImageStepMs + 1;
inline constexpr int kMoveImagePhases = 8;

// Where the image stands in phase (0..7) relative to its home (left, top) and its size.
QPoint MoveImagePosition(QPoint home, int width, int height, int phase);

class MoveImageAnimation : public QObject {
  Q_OBJECT

 public:
  explicit MoveImageAnimation(QWidget* image, QObject* parent = nullptr);

  // The image's home is where it stands when the animation is made.
  void SetHome(QPoint home);
  QPoint Home() const { return home_; }
  void Start();  // a second start while running changes nothing
  void Stop();   // the image goes back home
  bool Running() const;
  int Phase() const { return phase_; }

 private:
  void Step();

  QWidget* image_;
  QTimer* timer_;
  QElapsedTimer sinceMove_;
  QPoint home_;
  int phase_ = 0;
};

}  // namespace sondrel
