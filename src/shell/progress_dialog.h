#pragma once
// The progress window of long work done on the interface thread (the engine update): three
// lines, a bar and Cancel, on top of other windows. The work runs on the calling thread; while
// it runs, the network waits' idle hook processes Qt events so the window repaints and Cancel
// works. The hook does nothing when called from another thread.

#include <cstdint>
#include <functional>
#include <string_view>

class QWidget;

namespace sondrel {

class ProgressWindow {
 public:
  virtual void SetCaption(std::string_view text) = 0;
  virtual void SetLine(std::string_view text) = 0;  // the second line
  virtual void SetBar(std::int64_t position, std::int64_t maximum) = 0;
  virtual bool Running() const = 0;  // false once the user cancelled
  virtual QWidget* Handle() = 0;

 protected:
  ~ProgressWindow() = default;
};

// Runs work with a progress window over parent. True when the user cancelled; a second call
// while one runs returns true at once without running its work. confirmCancel, when set, is
// asked before Cancel or closing the window stops the work.
bool RunWithProgress(QWidget* parent, const std::function<void(ProgressWindow&)>& work,
                     const std::function<bool()>& confirmCancel = {});

}  // namespace sondrel
