// Downloads against real servers: resume over HTTP (nginx) and FTP (vsftpd), a target that
// refuses writes, and a cancelled download that leaves its partial file and nothing open.

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "net/ftp_control.h"
#include "net/ftp_transfer.h"
#include "net/http_connection.h"
#include "net/http_response.h"
#include "net/socket_io.h"
#include "support/paths.h"
#include "tasks/download.h"
#include "tasks/gui_dispatch.h"
#include "testkit/ftp_server.h"
#include "testkit/nginx_server.h"
#include "testkit/open_files.h"
#include "testkit/scripted_ftp_server.h"
#include "testkit/scripted_http_server.h"
#include "testkit/suite_server.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

std::string Content(std::size_t length, unsigned seed) {
  std::mt19937 random(seed);
  std::string text(length, '\0');
  for (char& c : text) c = static_cast<char>(random() & 0xFF);
  return text;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteAll(const std::string& path, std::string_view data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
}

struct Seen {
  std::int64_t firstData = -1;  // transferred at the first data report
  std::int64_t lastTransferred = -1;
  std::int64_t total = -2;
};
void Record(NetProgress& progress) {
  auto* seen = static_cast<Seen*>(progress.userData);
  if (progress.state != kNetStateData) return;
  if (seen->firstData < 0) seen->firstData = progress.transferred;
  seen->lastTransferred = progress.transferred;
  seen->total = progress.total;
}

DownloadConfig Config() {
  DownloadConfig config;
  config.timeoutSeconds = 10;
  return config;
}

class DownloadHttp : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!testkit::NginxServer::Installed()) return;
    nginx_ = new testkit::NginxServer("    location /slow/ { limit_rate 1m; }\n");
    ::mkdir(nginx_->Root().c_str(), 0755);
    ::mkdir((nginx_->Root() + "/slow").c_str(), 0755);
    WriteAll(nginx_->Root() + "/song.bin", Content(300000, 1));
    WriteAll(nginx_->Root() + "/slow/big.bin", Content(3 << 20, 2));
    WriteAll(nginx_->Root() + "/big.bin", Content(3 << 20, 2));
    testkit::KeepIfStarted(nginx_, [](auto& server) { return server.Start(); });
  }
  static void TearDownTestSuite() {
    delete nginx_;
    nginx_ = nullptr;
  }
  void SetUp() override {
    if (!testkit::NginxServer::Installed()) GTEST_SKIP() << "nginx is not installed";
    ASSERT_NE(nginx_, nullptr);
    NetStartup();
  }
  void TearDown() override { NetShutdown(); }

  static testkit::NginxServer* nginx_;
  testkit::TempDir dir_;
};
testkit::NginxServer* DownloadHttp::nginx_ = nullptr;

TEST_F(DownloadHttp, ResumedFileIsByteIdentical) {
  const std::string original = ReadAll(nginx_->Root() + "/song.bin");
  const std::string local = dir_.File("song.bin");
  WriteAll(local, original.substr(0, 100000));
  Seen seen;
  ASSERT_EQ(DownloadUrl(nginx_->Url("/song.bin"), local, true, Config(), Record, nullptr, &seen),
            kDownloadDone);
  EXPECT_TRUE(ReadAll(local) == original);
  EXPECT_EQ(seen.firstData, 100000);  // continued after the part on disk
  EXPECT_EQ(seen.total, 300000);

  // Without the user's word a file there is neither replaced nor extended; with it, replaced.
  WriteAll(local, std::string(5000, 'x'));
  EXPECT_EQ(DownloadUrl(nginx_->Url("/song.bin"), local, false, Config(), nullptr, nullptr,
                        nullptr),
            kDownloadExists);
  EXPECT_TRUE(ReadAll(local) == std::string(5000, 'x'));
  DownloadTarget replace;
  replace.localFile = local;
  replace.overwrite = true;
  NetProgress progress = TimedProgress(10, nullptr, nullptr, nullptr);
  ASSERT_EQ(DownloadUrl(nginx_->Url("/song.bin"), replace, Config(), progress), kDownloadDone);
  EXPECT_TRUE(ReadAll(local) == original);
  EXPECT_EQ(dir_.Names(), std::vector<std::string>{"song.bin"});
}

// The ETag nginx gives the file, read with a HEAD request.
std::string EtagOf(const std::string& url) {
  HttpRequest request;
  request.url = url;
  request.method = kHttpHead;
  NetProgress progress = TimedProgress(10, nullptr, nullptr, nullptr);
  std::string header;
  HttpStream stream = HttpOpen(request, header, kHeaderBufferSize, progress);
  stream.Close();
  std::string etag;
  return FindHeader(etag, 200, "ETag", header) ? etag : "";
}

TEST_F(DownloadHttp, PartsContinueOnlyTheirOwnVersion) {
  const std::string url = nginx_->Url("/song.bin");
  const std::string original = ReadAll(nginx_->Root() + "/song.bin");
  const std::string etag = EtagOf(url);
  ASSERT_FALSE(etag.empty());
  const std::string junk(100000, 'j');
  struct Case {
    const char* what;
    std::string part;
    std::optional<std::string> record;  // the meta file beside the part
    std::int64_t firstData;             // where the transfer went on
  };
  const Case cases[] = {
      {"same address and version: continued", original.substr(0, 100000),
       "url=" + url + "\nvalidator=" + etag + "\n", 100000},
      // If-Range with the old ETag: nginx sends the new file whole.
      {"another version: whole", junk, "url=" + url + "\nvalidator=\"old-etag\"\n", 0},
      {"another address: whole", junk, "url=http://elsewhere/song.bin\nvalidator=" + etag + "\n", 0},
      {"no record: whole", junk, std::nullopt, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testkit::TempDir dir;
    WriteAll(dir.File("song.bin.part"), c.part);
    if (c.record) WriteAll(dir.File("song.bin.part.meta"), *c.record);
    Seen seen;
    ASSERT_EQ(DownloadUrl(url, dir.File("song.bin"), false, Config(), Record, nullptr, &seen),
              kDownloadDone);
    EXPECT_TRUE(ReadAll(dir.File("song.bin")) == original);
    EXPECT_EQ(seen.firstData, c.firstData);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"song.bin"});
  }
}

TEST_F(DownloadHttp, TwoDownloadsOfOneFileNeverMix) {
  const std::string original = ReadAll(nginx_->Root() + "/slow/big.bin");
  const std::string local = dir_.File("big.bin");
  int results[2] = {0, 0};
  auto run = [&](int i) {
    results[i] = DownloadUrl(nginx_->Url("/slow/big.bin"), local, false, Config(), nullptr,
                             nullptr, nullptr);
  };
  std::thread first(run, 0);
  std::thread second(run, 1);
  first.join();
  second.join();
  std::sort(std::begin(results), std::end(results));
  EXPECT_EQ(results[0], kDownloadInUse);
  EXPECT_EQ(results[1], kDownloadDone);
  EXPECT_TRUE(ReadAll(local) == original);
  EXPECT_EQ(dir_.Names(), std::vector<std::string>{"big.bin"});

  // The same from two processes: one fails at once and says why.
  testkit::TempDir home;
  const std::string cli = std::string(SONDREL_CLI) + " --home " + testkit::ShellQuote(home.path()) +
                          " download " + testkit::ShellQuote(nginx_->Url("/slow/big.bin")) +
                          " --dir " + testkit::ShellQuote(home.File("dl")) + " 2>&1";
  const testkit::CommandResult both =
      testkit::RunCommand("mkdir " + testkit::ShellQuote(home.File("dl")) + " && (" + cli +
                          " & sleep 0.5; " + cli + "; wait)");
  EXPECT_NE(both.out.find("is already being downloaded"), std::string::npos) << both.out;
  EXPECT_TRUE(ReadAll(home.File("dl/big.bin")) == original);
  EXPECT_EQ(FileLengthOf(home.File("dl/big.bin.part")), -1);
}

TEST_F(DownloadHttp, FailuresByKind) {
  EXPECT_EQ(DownloadUrl(nginx_->Url("/missing.bin"), dir_.File("m.bin"), false, Config(), nullptr,
                        nullptr, nullptr),
            kDownloadFailed);
  EXPECT_EQ(DownloadUrl("http://127.0.0.1:1/x.bin", dir_.File("x.bin"), false, Config(), nullptr,
                        nullptr, nullptr),
            kDownloadNoConnection);
  // Neither left a file behind, not even an empty part.
  EXPECT_TRUE(dir_.Names().empty());
}

TEST_F(DownloadHttp, RefusedWritesAreReportedAsSuch) {
  // A disk that fills up mid-transfer.
  EXPECT_EQ(DownloadUrl(nginx_->Url("/song.bin"), "/dev/full", false, Config(), nullptr, nullptr,
                        nullptr),
            kDownloadWriteFailed);
  // A target that cannot be created at all: found out before connecting.
  EXPECT_EQ(DownloadUrl("http://127.0.0.1:1/x.bin", dir_.File("no/such/dir/x.bin"), false,
                        Config(), nullptr, nullptr, nullptr),
            kDownloadWriteFailed);
}

TEST_F(DownloadHttp, CancelLeavesThePartialFileAndNothingOpen) {
  auto queue = std::make_shared<MainThreadQueue>();
  InstallDispatcher(queue);
  const int openBefore = testkit::OpenDescriptorCount();
  auto job = std::make_unique<DownloadJob>();
  job->url = nginx_->Url("/slow/big.bin");
  job->localFile = dir_.File("big.bin");
  job->config = Config();
  std::string remaining;
  int doneResult = 99;
  job->callbacks.bar = [&job](std::int64_t position, std::int64_t maximum) {
    // Cancel once a quarter has arrived, as the dialog's Cancel would.
    if (maximum == 3 << 20 && position >= maximum / 4) job->cancelRequested = 1;
  };
  job->callbacks.remainingLine = [&](const std::string& text) { remaining = text; };
  job->callbacks.done = [&](int result) { doneResult = result; };
  ASSERT_EQ(StartDownload(*job), 1);
  queue->RunUntil([&job] { return IsFinished(job->thread); });
  RemoveDispatcher();
  queue->Close();

  EXPECT_EQ(doneResult, kDownloadFailed);
  EXPECT_EQ(job->result, kDownloadFailed);
  EXPECT_EQ(remaining.rfind("Remaining time: ", 0), 0u) << remaining;
  // The part carries its own name, so a cut-off file never looks finished.
  EXPECT_EQ(FileLengthOf(job->localFile), -1);
  const long partial = FileLengthOf(job->localFile + ".part");
  EXPECT_GE(partial, (3 << 20) / 4);
  EXPECT_LT(partial, 3 << 20);
  EXPECT_EQ(testkit::OpenDescriptorCount(), openBefore);

  // The next download of the same file continues it (from the same file without the limit).
  ASSERT_EQ(DownloadUrl(nginx_->Url("/big.bin"), job->localFile, true, Config(), nullptr, nullptr,
                        nullptr),
            kDownloadDone);
  EXPECT_TRUE(ReadAll(job->localFile) == ReadAll(nginx_->Root() + "/slow/big.bin"));
}

class DownloadFtp : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testkit::VsftpdServer::Installed()) GTEST_SKIP() << "vsftpd is not installed";
    original_ = Content(200000, 3);
    server_.AddFile("song.bin", original_);
    ASSERT_TRUE(server_.Start()) << server_.error();
    NetStartup();
  }
  void TearDown() override { NetShutdown(); }

  testkit::VsftpdServer server_;
  testkit::TempDir dir_;
  std::string original_;
};

TEST_F(DownloadFtp, WholeAndResumed) {
  const std::string local = dir_.File("song.bin");
  Seen seen;
  ASSERT_EQ(DownloadUrl(server_.Url("/song.bin"), local, false, Config(), Record, nullptr, &seen),
            kDownloadDone);
  EXPECT_TRUE(ReadAll(local) == original_);
  EXPECT_EQ(seen.lastTransferred, 200000);

  WriteAll(local, original_.substr(0, 4000));
  // The FTP proxy switched on without a host does not count: the file comes directly.
  DownloadConfig config = Config();
  config.ftpProxyOn = true;
  ASSERT_EQ(DownloadUrl(server_.Url("/song.bin"), local, true, config, nullptr, nullptr, nullptr),
            kDownloadDone);
  EXPECT_TRUE(ReadAll(local) == original_);
  const std::vector<std::string> commands = server_.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "REST 4000"), commands.end());

  EXPECT_EQ(DownloadUrl(server_.Url("/nothing.bin"), dir_.File("n.bin"), false, Config(), nullptr,
                        nullptr, nullptr),
            kDownloadFailed);
  EXPECT_EQ(DownloadUrl("ftp://127.0.0.1:1/song.bin", dir_.File("n.bin"), false, Config(),
                        nullptr, nullptr, nullptr),
            kDownloadNoConnection);
}

TEST_F(DownloadFtp, APartOfTheSameStampContinuesByItself) {
  NetProgress progress = TimedProgress(10, nullptr, nullptr, nullptr);
  int code = 0;
  const int ctrl = FtpOpen(code, "127.0.0.1", server_.port(), "anonymous", "a@b", "", &progress);
  ASSERT_GE(ctrl, 0);
  std::string stamp;
  ASSERT_EQ(FtpModificationTime(ctrl, stamp, "song.bin", &progress), 1);
  (void)FtpQuit(ctrl, &progress);

  const std::string url = server_.Url("/song.bin");
  WriteAll(dir_.File("song.bin.part"), original_.substr(0, 4000));
  WriteAll(dir_.File("song.bin.part.meta"), "url=" + url + "\nvalidator=" + stamp + "\n");
  ASSERT_EQ(DownloadUrl(url, dir_.File("song.bin"), false, Config(), nullptr, nullptr, nullptr),
            kDownloadDone);
  EXPECT_TRUE(ReadAll(dir_.File("song.bin")) == original_);
  const std::vector<std::string> commands = server_.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "REST 4000"), commands.end());
  EXPECT_EQ(dir_.Names(), std::vector<std::string>{"song.bin"});
}

TEST_F(DownloadFtp, FullDiskAbortsTheTransfer) {
  EXPECT_EQ(DownloadUrl(server_.Url("/song.bin"), "/dev/full", false, Config(), nullptr, nullptr,
                        nullptr),
            kDownloadWriteFailed);
  const std::vector<std::string> commands = server_.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "ABOR"), commands.end())
      << server_.Log();
}

testkit::ScriptedReply Reply(const std::string& status, const std::string& lines,
                             const std::string& body) {
  return {testkit::HttpReply(status, lines, body), false};
}

// Replies no real server gives to a range request. None may put a byte at the wrong place or
// pass a part off as the whole file.
TEST(HostileHttpDownload, RangeRepliesNeverCorruptTheFile) {
  const std::string whole = "ABCDEFGHIJKLMNOPQRST";
  const std::string part = whole.substr(0, 10);
  const std::string tail = whole.substr(10);
  const std::string changed = "abcdefghijklmnopqrst";
  const std::string range = "Content-Range: bytes 10-19/20\r\n";
  struct Case {
    const char* what;
    bool havePart;  // a part of this address with the validator "v1"
    std::vector<testkit::ScriptedReply> replies;
    int result;
    std::optional<std::string> file;       // the final file, when there is one
    std::optional<std::string> partAfter;  // what the part holds afterwards
    int requests;
  };
  const Case cases[] = {
      {"206 continuing the part", true, {Reply("HTTP/1.1 206 Partial", range, tail)},
       kDownloadDone, whole, std::nullopt, 1},
      {"206 without Content-Range", true,
       {Reply("HTTP/1.1 206 Partial", "", tail), Reply("HTTP/1.1 200 OK", "", whole)},
       kDownloadDone, whole, std::nullopt, 2},
      {"206 with an unreadable Content-Range", true,
       {Reply("HTTP/1.1 206 Partial", "Content-Range: bytes 1O-19/20\r\n", tail),
        Reply("HTTP/1.1 200 OK", "", whole)},
       kDownloadDone, whole, std::nullopt, 2},
      {"206 from another offset", true,
       {Reply("HTTP/1.1 206 Partial", "Content-Range: bytes 0-19/20\r\n", whole),
        Reply("HTTP/1.1 200 OK", "", whole)},
       kDownloadDone, whole, std::nullopt, 2},
      {"416 for the range", true,
       {Reply("HTTP/1.1 416 Range Not Satisfiable", "Content-Range: bytes */20\r\n", ""),
        Reply("HTTP/1.1 200 OK", "", whole)},
       kDownloadDone, whole, std::nullopt, 2},
      {"a changed file comes whole", true, {Reply("HTTP/1.1 200 OK", "ETag: \"v2\"\r\n", changed)},
       kDownloadDone, changed, std::nullopt, 1},
      {"200 carrying a Content-Range", true, {Reply("HTTP/1.1 200 OK", range, tail)},
       kDownloadFailed, std::nullopt, part, 2},
      {"206 to a request without Range", false,
       {Reply("HTTP/1.1 206 Partial", "Content-Range: bytes 0-19/20\r\n", whole)},
       kDownloadFailed, std::nullopt, std::nullopt, 1},
      {"body shorter than Content-Length", false,
       {{"HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n" + part, false}}, kDownloadFailed,
       std::nullopt, std::nullopt, 1},
  };
  NetStartup();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testkit::ScriptedHttpServer server(c.replies);
    testkit::TempDir dir;
    const std::string url = server.Url("/song.mp3");
    if (c.havePart) {
      WriteAll(dir.File("song.mp3.part"), part);
      WriteAll(dir.File("song.mp3.part.meta"), "url=" + url + "\nvalidator=\"v1\"\n");
    }
    EXPECT_EQ(DownloadUrl(url, dir.File("song.mp3"), false, Config(), nullptr, nullptr, nullptr),
              c.result);
    EXPECT_EQ(FileLengthOf(dir.File("song.mp3")) >= 0, c.file.has_value());
    if (c.file) {
      EXPECT_EQ(ReadAll(dir.File("song.mp3")), *c.file);
    }
    EXPECT_EQ(FileLengthOf(dir.File("song.mp3.part")) >= 0, c.partAfter.has_value());
    if (c.partAfter) {
      EXPECT_EQ(ReadAll(dir.File("song.mp3.part")), *c.partAfter);
    }
    // On the wire: the part is asked for with its validator; a second try asks for all.
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(static_cast<int>(requests.size()), c.requests);
    EXPECT_EQ(requests[0].find("Range: bytes=10-\r\n") != std::string::npos, c.havePart);
    EXPECT_EQ(requests[0].find("If-Range: \"v1\"\r\n") != std::string::npos, c.havePart);
    if (c.requests > 1) {
      EXPECT_EQ(requests[1].find("Range:"), std::string::npos);
    }
  }
  NetShutdown();
}

// The command line against files in the way: an existing file, a planted link, names that
// fall back to index.html, a name with control characters.
TEST(HostileHttpDownload, FilesInTheWayAreKept) {
  testkit::ScriptedHttpServer server([](int, const std::string& request) {
    const std::string path = request.substr(4, request.find(' ', 4) - 4);
    return Reply("HTTP/1.0 200 OK", "", path == "/song.mp3" ? "21 bytes of new data." : path);
  });
  testkit::TempDir home;
  const std::string downloads = home.File("dl");
  ASSERT_EQ(::mkdir(downloads.c_str(), 0755), 0);
  auto cli = [&](const std::string& path, const std::string& flags) {
    return testkit::RunCommand(std::string(SONDREL_CLI) + " --home " +
                               testkit::ShellQuote(home.path()) + " download " +
                               testkit::ShellQuote(server.Url(path)) + " --dir " +
                               testkit::ShellQuote(downloads) + flags);
  };
  auto local = [&](const std::string& name) { return downloads + "/" + name; };
  const std::string mine(5000, 'm');
  WriteAll(local("song.mp3"), mine);

  testkit::CommandResult kept = cli("/song.mp3", "");
  EXPECT_EQ(kept.status, 0) << kept.err;
  EXPECT_EQ(kept.out, local("song (1).mp3") + "\n");
  EXPECT_TRUE(ReadAll(local("song.mp3")) == mine);
  EXPECT_EQ(ReadAll(local("song (1).mp3")), "21 bytes of new data.");

  testkit::CommandResult replaced = cli("/song.mp3", " --overwrite");
  EXPECT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_EQ(ReadAll(local("song.mp3")), "21 bytes of new data.");

  // A link planted where the part or the file goes is never followed: the download goes
  // around it, and the file it points at stays as it was.
  WriteAll(home.File("outside"), mine);
  ASSERT_EQ(::symlink(home.File("outside").c_str(), local("linked.mp3.part").c_str()), 0);
  ASSERT_EQ(::symlink(home.File("outside").c_str(), local("other.mp3").c_str()), 0);
  testkit::CommandResult planted = cli("/linked.mp3", "");
  EXPECT_EQ(planted.status, 0) << planted.err;
  EXPECT_EQ(planted.out, local("linked (1).mp3") + "\n");
  EXPECT_EQ(cli("/other.mp3", "").out, local("other (1).mp3") + "\n");
  EXPECT_TRUE(ReadAll(home.File("outside")) == mine);

  // Two addresses that both fall back to index.html keep both files.
  ASSERT_EQ(cli("/a/", "").status, 0);
  ASSERT_EQ(cli("/b/", "").status, 0);
  EXPECT_EQ(ReadAll(local("index.html")), "/a/");
  EXPECT_EQ(ReadAll(local("index (1).html")), "/b/");

  testkit::CommandResult controls = cli("/x%0A%1B%5B2J.mp3", "");
  EXPECT_EQ(controls.status, 0) << controls.err;
  EXPECT_EQ(controls.out, local("x[2J.mp3") + "\n");
  EXPECT_EQ((controls.out + controls.err).find_first_of("\n\x1b"), controls.out.size() - 1);
}

// fetch --resume is the user's word to continue FILE, and the reply to its range is checked
// like a download's.
TEST(HostileHttpDownload, FetchResumeChecksTheRange) {
  const std::string whole = "ABCDEFGHIJKLMNOPQRST";
  testkit::ScriptedHttpServer server(
      {Reply("HTTP/1.1 206 Partial", "Content-Range: bytes 1O-19/20\r\n", "XXXXXXXXXX"),
       Reply("HTTP/1.1 200 OK", "", whole)});
  testkit::TempDir dir;
  WriteAll(dir.File("out"), whole.substr(0, 10));
  const testkit::CommandResult fetched = testkit::RunCommand(
      std::string(SONDREL_CLI) + " --home " + testkit::ShellQuote(dir.path()) + " fetch " +
      testkit::ShellQuote(server.Url("/f")) + " -o " + testkit::ShellQuote(dir.File("out")) +
      " --resume");
  EXPECT_EQ(fetched.status, 0) << fetched.err;
  EXPECT_EQ(ReadAll(dir.File("out")), whole);
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_NE(requests[0].find("Range: bytes=10-\r\n"), std::string::npos);
  EXPECT_EQ(requests[1].find("Range:"), std::string::npos);
}

// FTP parts: the recorded MDTM stamp decides whether a part is continued, and SIZE whether the
// data is the whole file.
TEST(HostileFtpDownload, PartsAndSizes) {
  const std::string whole = Content(10000, 5);
  const std::string junk(4000, 'j');
  constexpr const char* kStamp = "20261201100000";
  struct Case {
    const char* what;
    std::map<std::string, std::string> replies;
    std::string served;
    std::optional<std::string> part;
    std::optional<std::string> validator;  // the part's record
    bool resume;
    int result;
    bool complete;
    bool restarted;  // REST 4000 was sent
  };
  const Case cases[] = {
      {"same MDTM: continued", {{"MDTM", "213 20261201100000\r\n"}}, whole, whole.substr(0, 4000),
       kStamp, false, kDownloadDone, true, true},
      {"changed MDTM: whole", {{"MDTM", "213 20261210093000\r\n"}}, whole, junk, kStamp, false,
       kDownloadDone, true, false},
      {"no MDTM and no record: whole", {}, whole, junk, std::nullopt, false, kDownloadDone, true,
       false},
      {"the user's resume without a record", {}, whole, whole.substr(0, 4000), std::nullopt, true,
       kDownloadDone, true, true},
      {"1000 bytes of 300000, then 226", {{"SIZE", "213 300000\r\n"}}, whole.substr(0, 1000),
       std::nullopt, std::nullopt, false, kDownloadFailed, false, false},
  };
  NetStartup();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testkit::FtpScript script;
    script.file = c.served;
    script.replies = c.replies;
    testkit::ScriptedFtpServer server(script);
    testkit::TempDir dir;
    const std::string url = server.Url("/song.bin");
    if (c.part) WriteAll(dir.File("song.bin.part"), *c.part);
    if (c.validator) {
      WriteAll(dir.File("song.bin.part.meta"), "url=" + url + "\nvalidator=" + *c.validator + "\n");
    }
    EXPECT_EQ(DownloadUrl(url, dir.File("song.bin"), c.resume, Config(), nullptr, nullptr, nullptr),
              c.result);
    EXPECT_EQ(FileLengthOf(dir.File("song.bin")) >= 0, c.complete);
    if (c.complete) {
      EXPECT_TRUE(ReadAll(dir.File("song.bin")) == whole);
    } else {
      EXPECT_EQ(FileLengthOf(dir.File("song.bin.part")), 1000);  // kept for a later try
    }
    EXPECT_EQ(server.Received("REST 4000"), c.restarted);
  }
  NetShutdown();
}

}  // namespace
}  // namespace sondrel
