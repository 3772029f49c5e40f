// Pictures of the desktop application for the README and the manual: the main window with the
// results of a search, every page of the preferences, the find and entry dialogs and a download
// window. Runs the real windows on whatever platform Qt is given (scripts/screenshots uses the
// offscreen one) against a program home prepared by the caller.
//
//   sondrel-screenshots --home HOME --out DIR [--query TEXT]

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "results/row_commands.h"
#include "results/search_document.h"
#include "shell/application.h"
#include "shell/main_window.h"
#include "shell/result_list.h"

namespace {

using sondrel::MainWindow;

struct Options {
  std::string home;
  QString out;
  QString query = QStringLiteral("rock");
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    if (name == "--home") options.home = argv[i + 1];
    else if (name == "--out") options.out = QString::fromLocal8Bit(argv[i + 1]);
    else if (name == "--query") options.query = QString::fromLocal8Bit(argv[i + 1]);
    else return false;
  }
  return !options.home.empty() && !options.out.isEmpty();
}

bool Save(QWidget* widget, const QString& path) {
  const bool saved = widget->grab().save(path);
  std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
  return saved;
}

// Processes events until done() holds; false after timeoutMs.
bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QTest::qWait(50);
  }
  return true;
}

// Runs command, which opens a modal window, and hands that window to onModal once it shows.
void WithModal(const std::function<void()>& command, const std::function<void(QWidget*)>& onModal) {
  auto* watch = new QTimer;
  QObject::connect(watch, &QTimer::timeout, [watch, onModal] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) return;
    watch->stop();
    watch->deleteLater();
    QTest::qWait(100);  // let it lay itself out
    onModal(modal);
  });
  watch->start(50);
  command();
}

void Dismiss(QWidget* modal) {
  if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
}

// A file that arrives slowly enough for its download window to be seen at work: one client on
// 127.0.0.1, a 4 MB body in 64 KB steps every 100 ms until the client goes or Stop.
class SlowFileServer {
 public:
  SlowFileServer() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 1) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~SlowFileServer() {
    stop_ = true;
    shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) close(listener_);
  }
  std::string Url() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/live/session-take-1.mp3";
  }
  bool Ready() const { return port_ > 0; }

 private:
  void Serve() {
    const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return;
    char request[4096];
    (void)recv(client, request, sizeof request, 0);
    constexpr int kBody = 4 << 20;
    constexpr int kStep = 64 << 10;
    const std::string header = "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nContent-Length: " +
                               std::to_string(kBody) + "\r\n\r\n";
    bool open = send(client, header.data(), header.size(), MSG_NOSIGNAL) > 0;
    const std::string block(kStep, '\x55');
    for (int sent = 0; open && !stop_ && sent < kBody; sent += kStep) {
      open = send(client, block.data(), block.size(), MSG_NOSIGNAL) > 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    close(client);
  }

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

bool SearchAndShow(MainWindow& window, const Options& options) {
  auto* query = window.findChild<QComboBox*>(QStringLiteral("CBQuery"));
  if (query == nullptr) return false;
  query->setEditText(options.query);
  window.StartSearchCommand();
  // The search and then the verification keep the window busy.
  WaitFor([&] { return window.Busy(); }, 2000);
  if (!WaitFor([&] { return !window.Busy(); }, 120000)) return false;
  sondrel::ResultList& list = window.Results();
  for (int row = 1; row < 4 && row < window.Program().Document().entries.Count(); ++row)
    list.SetSelected(row, true);
  if (!Save(&window, options.out + "/main-window.png")) return false;
  // The same search with its report pane open.
  window.ShowReport(true);
  QTest::qWait(200);
  const bool saved = Save(&window, options.out + "/search-report.png");
  window.ShowReport(false);
  return saved;
}

void ShootPreferences(MainWindow& window, const Options& options) {
  WithModal([&] { window.PreferencesCommand(); }, [&](QWidget* modal) {
    if (auto* pages = modal->findChild<QTabWidget*>()) {
      for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        QTest::qWait(50);
        const QString name = pages->tabText(i).remove(QLatin1Char('&')).toLower();
        Save(modal, options.out + "/preferences-" + name + ".png");
      }
    }
    Dismiss(modal);
  });
}

void ShootDialog(const std::function<void()>& command, const QString& path) {
  WithModal(command, [&](QWidget* modal) {
    Save(modal, path);
    Dismiss(modal);
  });
}

// Downloads a slowly served file and takes its window once the transfer is under way; then
// cancels it. The save dialog is accepted as preset and a question before the start answered Yes.
void ShootDownload(MainWindow& window, const Options& options) {
  SlowFileServer server;
  if (!server.Ready()) return;
  sondrel::SearchDocument& document = window.Program().Document();
  const int row = sondrel::InsertHandMadeEntry(document, -1, server.Url(), "Session take 1 (live)");
  sondrel::ResultList& list = window.Results();
  list.RefillResultList();
  for (int i = 0; i < document.entries.Count(); ++i) list.SetSelected(i, i == row);
  list.SetFocused(row, true);
  auto* watch = new QTimer;
  QObject::connect(watch, &QTimer::timeout, [] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) return;
    if (auto* files = qobject_cast<QFileDialog*>(modal)) {
      static_cast<QDialog*>(files)->accept();  // takes the preset file name
    } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      if (QAbstractButton* yes = box->button(QMessageBox::Yes)) yes->click();
      else if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->click();
    }
  });
  watch->start(50);
  window.DownloadCommand();
  QWidget* down = nullptr;
  WaitFor([&] {
    for (QWidget* top : QApplication::topLevelWidgets())
      if (top->objectName() == QLatin1String("TFDown") && top->isVisible()) down = top;
    return down != nullptr;
  }, 10000);
  if (down != nullptr) {
    QTest::qWait(1500);  // a few blocks in: the rate, the bar and the remaining time show
    Save(down, options.out + "/download-window.png");
    if (auto* cancel = down->findChild<QAbstractButton*>(QStringLiteral("BBCancel")))
      cancel->click();  // the watch confirms the question and then the closing message
    WaitFor([&] {
      for (QWidget* top : QApplication::topLevelWidgets())
        if (top->objectName() == QLatin1String("TFDown") && top->isVisible()) return false;
      return true;
    }, 20000);
  }
  watch->stop();
  delete watch;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: sondrel-screenshots --home HOME --out DIR [--query TEXT]\n");
    return 2;
  }
  QDir().mkpath(options.out);
  sondrel::Application program(options.home);
  MainWindow window(program);
  if (window.Fatal()) return 1;
  window.show();
  QTest::qWait(300);
  if (!SearchAndShow(window, options)) {
    std::fprintf(stderr, "sondrel-screenshots: the search did not end with results\n");
    return 1;
  }
  ShootPreferences(window, options);
  ShootDialog([&] { window.FindCommand(); }, options.out + "/find-dialog.png");
  ShootDialog([&] { window.AddEntryCommand(); }, options.out + "/entry-dialog.png");
  ShootDownload(window, options);
  window.Shutdown();
  return 0;
}
