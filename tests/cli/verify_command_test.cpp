// verify and download through the real sondrel-cli, against a local nginx.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "results/project_file.h"
#include "testkit/ftp_server.h"
#include "testkit/nginx_server.h"
#include "testkit/temp_dir.h"

namespace sondrel {
namespace {

using testkit::RunCommand;
using testkit::ShellQuote;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class VerifyCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testkit::NginxServer::Installed()) GTEST_SKIP() << "nginx is not installed";
    std::string body(150000, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 % 251);
    std::ofstream(nginx_.Root() + "/song.mp3", std::ios::binary) << body;
    std::ofstream(nginx_.Root() + "/page.html") << "<html></html>";
    ASSERT_TRUE(nginx_.Start()) << nginx_.error();
  }
  testkit::CommandResult Cli(const std::string& arguments) {
    return RunCommand(std::string(SONDREL_CLI) + " --home " + ShellQuote(home_.path()) + " " +
                      arguments);
  }
  std::string Project() { return home_.File("songs.sdp"); }

  testkit::NginxServer nginx_;
  testkit::TempDir home_;
};

TEST_F(VerifyCommandTest, VerifiesSavesAndRemovesWhenAsked) {
  for (const char* path : {"/song.mp3", "/page.html", "/missing.mp3"}) {
    ASSERT_EQ(Cli("add " + ShellQuote(Project()) + " " + ShellQuote(nginx_.Url(path))).status, 0);
  }
  testkit::CommandResult kept = Cli("verify " + ShellQuote(Project()) + " --keep-invalid");
  ASSERT_EQ(kept.status, 0) << kept.err;
  EXPECT_NE(kept.err.find("VERIFY: 3/3 processed"), std::string::npos) << kept.err;
  EXPECT_NE(kept.out.find(nginx_.Url("/song.mp3") + "\t146 KB\tValid\t"), std::string::npos)
      << kept.out;
  EXPECT_NE(kept.out.find(nginx_.Url("/page.html") + "\t???\tInvalid\t"), std::string::npos);
  EXPECT_NE(kept.out.find(nginx_.Url("/missing.mp3") + "\t???\tInvalid\t"), std::string::npos);

  // The statuses were saved with the project.
  SearchDocument saved;
  ASSERT_EQ(LoadDocument(Project(), saved), kLoadOk);
  ASSERT_EQ(saved.entries.Count(), 3);
  EXPECT_EQ(saved.entries.Get(0)->size, 150000);

  testkit::CommandResult removed = Cli("--quiet verify " + ShellQuote(Project()) +
                                       " --remove-invalid");
  ASSERT_EQ(removed.status, 0) << removed.err;
  EXPECT_EQ(removed.err, "");
  EXPECT_EQ(removed.out.find("Invalid"), std::string::npos);
  ASSERT_EQ(LoadDocument(Project(), saved), kLoadOk);
  EXPECT_EQ(saved.entries.Count(), 1);
}

TEST_F(VerifyCommandTest, VerifyRefusesBadInvocations) {
  EXPECT_EQ(Cli("verify").status, 2);
  EXPECT_EQ(Cli("verify x.sdp --keep-invalid --remove-invalid").status, 2);
  testkit::CommandResult missing = Cli("verify " + ShellQuote(home_.File("none.sdp")));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find(home_.File("none.sdp")), std::string::npos);
}

TEST_F(VerifyCommandTest, DownloadsResumesAndKnowsWhenDone) {
  const std::string dir = home_.File("dl");
  const std::string local = dir + "/song.mp3";
  const std::string original = ReadAll(nginx_.Root() + "/song.mp3");
  const std::string download =
      "download " + ShellQuote(nginx_.Url("/song.mp3")) + " --dir " + ShellQuote(dir);

  testkit::CommandResult first = Cli(download);
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.out, local + "\n");
  EXPECT_TRUE(ReadAll(local) == original);
  // The transfer line; the remaining time needs a measurable elapsed time, which a local
  // transfer of this size may not have.
  EXPECT_NE(first.err.find("150000 bytes received ("), std::string::npos) << first.err;

  // An existing file is kept: the download takes a free name.
  testkit::CommandResult again = Cli(download);
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.out, dir + "/song (1).mp3\n");
  EXPECT_TRUE(ReadAll(dir + "/song (1).mp3") == original);

  // --resume continues a smaller file of that name: the user says it is a part of this one.
  std::ofstream(local, std::ios::binary | std::ios::trunc) << original.substr(0, 50000);
  testkit::CommandResult resumed = Cli(download + " --resume");
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_EQ(resumed.out, local + "\n");
  EXPECT_TRUE(ReadAll(local) == original);
  EXPECT_NE(resumed.err.find("150000 bytes received"), std::string::npos) << resumed.err;

  // --overwrite replaces it, and only once the new file is whole.
  std::ofstream(local, std::ios::binary | std::ios::trunc) << std::string(150000, 'x');
  ASSERT_EQ(Cli(download + " --overwrite --restart").status, 0);
  EXPECT_TRUE(ReadAll(local) == original);
  EXPECT_FALSE(std::ifstream(local + ".part").good());
}

TEST_F(VerifyCommandTest, DownloadFailuresAndUsage) {
  EXPECT_EQ(Cli("download").status, 2);
  EXPECT_EQ(Cli("download " + ShellQuote(nginx_.Url("/a")) + " --resume --restart").status, 2);
  testkit::CommandResult other = Cli("download gopher://127.0.0.1/a.mp3");
  EXPECT_EQ(other.status, 1);
  EXPECT_NE(other.err.find("gopher://127.0.0.1/a.mp3"), std::string::npos);
  testkit::CommandResult missing =
      Cli("download " + ShellQuote(nginx_.Url("/missing.mp3")) + " --dir " +
          ShellQuote(home_.File("dl")));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find(nginx_.Url("/missing.mp3")), std::string::npos) << missing.err;
  testkit::CommandResult unwritable =
      Cli("download " + ShellQuote(nginx_.Url("/song.mp3")) + " --dir /dev/null/x");
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.err.find("cannot write /dev/null/x/song.mp3"), std::string::npos)
      << unwritable.err;
}

TEST(DownloadCommandFtp, ResumesWhenAsked) {
  if (!testkit::VsftpdServer::Installed()) GTEST_SKIP() << "vsftpd is not installed";
  testkit::VsftpdServer server;
  std::string body(90000, '\0');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 13 % 253);
  server.AddFile("tune.mp3", body);
  ASSERT_TRUE(server.Start()) << server.error();
  testkit::TempDir home;
  const std::string local = home.File("dl/tune.mp3");
  const std::string command = std::string(SONDREL_CLI) + " --home " + ShellQuote(home.path()) +
                              " download " + ShellQuote(server.Url("/tune.mp3")) + " --dir " +
                              ShellQuote(home.File("dl"));
  ASSERT_EQ(RunCommand(command).status, 0);
  EXPECT_TRUE(ReadAll(local) == body);
  std::ofstream(local, std::ios::binary | std::ios::trunc) << body.substr(0, 30000);
  testkit::CommandResult resumed = RunCommand(command + " --resume");
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_TRUE(ReadAll(local) == body);
  const std::vector<std::string> commands = server.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "REST 30000"), commands.end());
}

}  // namespace
}  // namespace sondrel
