#pragma once
// A loopback FTP server that answers in a fixed way and can be told to give the replies a real
// server will not: a 120 before the greeting, multi-line texts, refusals at any step, a final
// 426, passive numbers in octal, a data connection held open. One session at a time; every
// command line it received is recorded.

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace sondrel::testkit {

struct FtpScript {
  std::vector<std::string> greeting{"220 Scripted server ready.\r\n"};  // sent in turn
  // A reply (exact bytes) by command word, in place of the usual one. An overridden REST does
  // not restart and an overridden RETR sends no data; PASV still opens its listener.
  std::map<std::string, std::string> replies;
  std::string file;           // the content every RETR serves (from the REST offset)
  bool octalPassive = false;  // write the PASV numbers as octal with a leading 0
  // The address PASV announces ("127,0,0,2"); the data port still listens on 127.0.0.1.
  std::string passiveHost = "127,0,0,1";
  bool keepDataOpen = false;  // after the data, hold the data connection open
  std::string opening = "150 Opening data connection.\r\n";  // RETR's reply before the data
  std::string afterData = "226 Transfer complete.\r\n";
  // When set, the greeting and every reply go out one byte at a time, this far apart.
  int tricklePauseMs = 0;
};

class ScriptedFtpServer {
 public:
  explicit ScriptedFtpServer(FtpScript script);
  ~ScriptedFtpServer();
  ScriptedFtpServer(const ScriptedFtpServer&) = delete;
  ScriptedFtpServer& operator=(const ScriptedFtpServer&) = delete;

  int port() const { return port_; }
  std::string Url(std::string_view path = "/") const;  // "ftp://127.0.0.1:PORT/path"
  // Command lines without their line end, in the order received over all sessions.
  std::vector<std::string> Commands() const;
  bool Received(std::string_view line) const;

 private:
  void Run();
  void Serve(int control);
  bool SendReply(int control, std::string_view text);
  std::string Answer(const std::string& line, int control, int& passive, int& data,
                     long long& offset);

  FtpScript script_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> commands_;
  std::thread thread_;
};

}  // namespace sondrel::testkit
