#pragma once
// The local music index (tools/music-index/server.py) on 127.0.0.1: six search engines with
// different page styles, the files their results link to, and vsftpd for the FTP results.

#include <sys/types.h>

#include <string>
#include <string_view>

#include "testkit/temp_dir.h"

namespace sondrel::testkit {

class MusicIndex {
 public:
  MusicIndex();
  ~MusicIndex();
  MusicIndex(const MusicIndex&) = delete;
  MusicIndex& operator=(const MusicIndex&) = delete;

  // A Python interpreter for the site is there.
  static bool Installed();
  // Starts the site on free ports; withFtp also starts vsftpd (and fails when it cannot).
  // False, with the reason in error(), when the site would not come up.
  bool Start(bool withFtp);
  void Stop();

  int port() const { return port_; }
  int ftpPort() const { return ftpPort_; }  // -1 without FTP
  std::string Url(std::string_view path = "/") const;     // "http://127.0.0.1:PORT/path"
  std::string FtpUrl(std::string_view path = "/") const;  // "ftp://127.0.0.1:PORT/path"
  // The demo engine definitions for this site, its port put in.
  std::string DefinitionText() const;
  const std::string& error() const { return error_; }

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  int stdinFd_ = -1;  // the site stops when this closes, even when the test dies
  int port_ = 0;
  int ftpPort_ = -1;
  std::string error_;
};

// Path of the demo engine definitions template (with @PORT@ placeholders).
std::string MusicIndexDefinitionTemplate();

}  // namespace sondrel::testkit
