// Downloads a 1 GiB file over FTP from a local vsftpd, once with our client and once with
// curl, in the same run, and prints wall time and CPU seconds of each. A plain timing main:
//   ftp_download_bench [MiB] [rounds]
// The file and the server's directory are removed at the end.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "net/ftp_transfer.h"
#include "net/socket_io.h"
#include "testkit/server_process.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
  double wall = 0;
  double cpu = 0;
};

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
}
double CpuOf(const rusage& r) {
  return Seconds(r.ru_utime) + Seconds(r.ru_stime);
}

// Real bytes, not a sparse file, so the server reads what it sends.
bool WriteFile(const std::string& path, long long bytes) {
  std::vector<char> block(1 << 20);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + i / 7);
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  for (long long left = bytes; left > 0;) {
    std::size_t n = static_cast<std::size_t>(std::min<long long>(left, block.size()));
    if (::write(fd, block.data(), n) != static_cast<ssize_t>(n)) {
      ::close(fd);
      return false;
    }
    left -= static_cast<long long>(n);
  }
  return ::close(fd) == 0;
}

Sample OurClient(const std::string& url) {
  rusage before{}, after{};
  ::getrusage(RUSAGE_SELF, &before);
  auto start = Clock::now();
  int r = sondrel::FtpDownload("/dev/null", url, false, 30, nullptr, nullptr, nullptr);
  Sample s;
  s.wall = std::chrono::duration<double>(Clock::now() - start).count();
  ::getrusage(RUSAGE_SELF, &after);
  s.cpu = CpuOf(after) - CpuOf(before);
  if (r != sondrel::kFtpDownloadDone) std::fprintf(stderr, "our download failed: %d\n", r);
  return s;
}

Sample Curl(const std::string& url) {
  auto start = Clock::now();
  pid_t pid = sondrel::testkit::SpawnProgram({"curl", "-s", "-o", "/dev/null", url});
  Sample s;
  int status = 0;
  rusage usage{};
  if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "curl failed\n");
  }
  s.wall = std::chrono::duration<double>(Clock::now() - start).count();
  s.cpu = CpuOf(usage);
  return s;
}

Sample Median(std::vector<Sample> samples) {
  std::sort(samples.begin(), samples.end(),
            [](const Sample& a, const Sample& b) { return a.wall < b.wall; });
  return samples[samples.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const long long mebibytes = argc > 1 ? std::atoll(argv[1]) : 1024;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  if (::access("/usr/sbin/vsftpd", X_OK) != 0) {
    std::fprintf(stderr, "vsftpd is not installed (scripts/setup-deps)\n");
    return 1;
  }
  std::string pattern = (std::filesystem::temp_directory_path() / "sondrel-ftpbench-XXXXXX");
  if (!::mkdtemp(pattern.data())) return 1;
  const std::string t = pattern;
  const std::string root = t + "/root";
  ::mkdir(root.c_str(), 0755);
  ::mkdir((t + "/empty").c_str(), 0755);
  const std::string file = root + "/big.bin";
  int result = 1;
  pid_t server = -1;
  if (!WriteFile(file, mebibytes << 20)) {
    std::fprintf(stderr, "cannot write %s\n", file.c_str());
  } else {
    const int port = sondrel::testkit::FreeLoopbackPort();
    std::ofstream(t + "/vsftpd.conf")
        << "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" << port
        << "\nbackground=NO\nanonymous_enable=YES\nno_anon_password=YES\nanon_root=" << root
        << "\nlocal_enable=NO\nwrite_enable=NO\npasv_min_port=31000\npasv_max_port=31999\n"
           "pasv_address=127.0.0.1\nsecure_chroot_dir="
        << t << "/empty\n"
        << (::geteuid() != 0 ? "run_as_launching_user=YES\n" : "");
    server = sondrel::testkit::SpawnProgram({"/usr/sbin/vsftpd", t + "/vsftpd.conf"});
    (void)sondrel::testkit::WaitUntilListening(server, port);
    const std::string url = "ftp://127.0.0.1:" + std::to_string(port) + "/big.bin";
    sondrel::NetStartup();
    (void)Curl(url);  // warm the page cache and the server
    std::vector<Sample> ours, curls;
    for (int i = 0; i < rounds; ++i) {
      ours.push_back(OurClient(url));
      curls.push_back(Curl(url));
    }
    const Sample a = Median(ours), b = Median(curls);
    std::printf("ftp download of %lld MiB, median of %d rounds, block %zu bytes\n", mebibytes,
                rounds, sondrel::kFtpDataBlock);
    std::printf("  sondrel: %.3f s wall, %.3f s CPU\n", a.wall, a.cpu);
    std::printf("  curl:    %.3f s wall, %.3f s CPU\n", b.wall, b.cpu);
    std::printf("  wall ratio sondrel/curl: %.2f (target <= 1.25)\n", a.wall / b.wall);
    sondrel::NetShutdown();
    result = 0;
  }
  sondrel::testkit::StopProcess(server);
  std::error_code ignored;
  std::filesystem::remove_all(t, ignored);
  return result;
}
