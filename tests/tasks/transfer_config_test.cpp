#include "tasks/transfer_config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

namespace sondrel {
namespace {

TEST(TransferConfigTest, ProxyRoute) {
  struct Case {
    const char* what;
    bool webOn;
    const char* webHost;
    bool viaFtpProxy;
    bool useProxy;
    const char* host;
    int port;
  };
  const Case cases[] = {
      {"no proxy", false, "web", false, false, "", 0},
      {"web proxy", true, "web", false, true, "web", 8080},
      {"web proxy on without a host", true, "", false, false, "", 0},
      {"ftp through its proxy", false, "web", true, true, "ftpgate", 2121},
      {"ftp proxy wins over web", true, "web", true, true, "ftpgate", 2121},
      // With http_proxy set, it stands in for a web proxy the settings do not name.
      {"environment", false, "web", false, true, "envgate", 3128},
      {"environment for a web proxy without a host", true, "", false, true, "envgate", 3128},
      {"settings win over the environment", true, "web", false, true, "web", 8080},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const bool fromEnvironment = std::string_view(c.what).find("environment") != std::string_view::npos;
    if (fromEnvironment) {
      ::setenv("http_proxy", "http://envgate:3128/", 1);
    } else {
      ::unsetenv("http_proxy");
      ::unsetenv("HTTP_PROXY");
    }
    TransferConfig config;
    config.webProxyOn = c.webOn;
    config.webProxyHost = c.webHost;
    config.webProxyPort = 8080;
    config.ftpProxyOn = true;
    config.ftpProxyHost = "ftpgate";
    config.ftpProxyPort = 2121;
    const HttpProxyRoute route = HttpProxyFor(config, c.viaFtpProxy, "http://music.example/a");
    EXPECT_EQ(route.useProxy, c.useProxy);
    EXPECT_EQ(route.host, c.host);
    EXPECT_EQ(route.port, c.port);
  }
  ::unsetenv("http_proxy");
}

TEST(TransferConfigTest, CopiesSettings) {
  Settings settings;
  settings.timeoutSeconds = 17;
  settings.webProxyOn = 1;
  settings.webProxyAddress = "web";
  settings.webProxyPort = 3128;
  settings.ftpProxyOn = 0;
  settings.ftpProxyAddress = "ftpgate";
  settings.ftpProxyPort = 2121;
  TransferConfig config;
  CopyTransferSettings(settings, config);
  EXPECT_EQ(config.timeoutSeconds, 17);
  EXPECT_TRUE(config.webProxyOn);
  EXPECT_EQ(config.webProxyHost, "web");
  EXPECT_EQ(config.webProxyPort, 3128);
  EXPECT_FALSE(config.ftpProxyOn);
  EXPECT_FALSE(FtpProxyUsable(config));
  EXPECT_EQ(config.ftpProxyHost, "ftpgate");
  EXPECT_EQ(config.ftpProxyPort, 2121);
}

}  // namespace
}  // namespace sondrel
