#pragma once
// The panel on the Find and Filters pages: the program's logo with a rotating local tip. It
// reaches no network; the proxy is only kept.

#include <string>
#include <string_view>

#include <QWidget>

class QLabel;
class QTimer;

namespace sondrel {

class Banner : public QWidget {
  Q_OBJECT
 public:
  explicit Banner(QWidget* parent = nullptr);
  bool SetUp();                                    // false when it cannot show anything
  void SetProxy(std::string_view host, int port);  // kept; the banner reaches no network
  void MoveToPage(QWidget* page);                  // reparent to (0,0) of the page
  void Stop();
  // A text that says what the program is doing, in place of the tips until ResumeTips.
  void ShowNotice(std::string_view text);
  void ResumeTips();
  QString Text() const;

  // What is shown and whether the tips rotate.
  int TipIndex() const { return tip_; }
  bool Rotating() const;
  void SetRotationInterval(int ms);
  std::string ProxyHost() const { return proxyHost_; }
  int ProxyPort() const { return proxyPort_; }

 private:
  void ShowTip(int index);
  void NextTip();

  QLabel* logo_ = nullptr;
  QLabel* text_ = nullptr;
  QTimer* timer_ = nullptr;
  int tip_ = -1;
  std::string proxyHost_;
  int proxyPort_ = 0;
};

}  // namespace sondrel
