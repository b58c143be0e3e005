#include "metrics/metrics_option.h"

#include <gtest/gtest.h>

#include <string>

namespace kvn {
namespace {

TEST(MetricsOptionTest, AddressesItAccepts) {
  const struct {
    const char* commandLine;
    const char* listen;
  } cases[] = {
      {"/M=127.0.0.1:9731", "127.0.0.1:9731"},
      {"/m=0.0.0.0:80", "0.0.0.0:80"},
      {"/M=[::1]:9731", "[::1]:9731"},
      {"/m=[fe80::1]:65535", "[fe80::1]:65535"},
      // Anywhere on the line, before or after /L, with or without blanks.
      {"/L /M=10.0.0.7:9100", "10.0.0.7:9100"},
      {"/M=10.0.0.7:9100/L", "10.0.0.7:9100"},
      {"  /l/m=127.0.0.1:1 ", "127.0.0.1:1"},
      // Alone: the loopback address at the default port.
      {"/M", "127.0.0.1:9731"},
      {"/L /m", "127.0.0.1:9731"},
      {"/M/L", "127.0.0.1:9731"},
      // The first /M counts.
      {"/M=127.0.0.1:2 /M=127.0.0.1:3", "127.0.0.1:2"},
  };
  for (const auto& c : cases) {
    const MetricsRequest r = ParseMetricsOption(c.commandLine);
    EXPECT_FALSE(r.problem) << c.commandLine << ": " << *r.problem;
    EXPECT_EQ(r.listen.value_or("(none)"), c.listen) << c.commandLine;
  }
}

TEST(MetricsOptionTest, WithoutTheOptionNothingListens) {
  for (const char* commandLine : {"", " ", "/L", "/LOG", "M=127.0.0.1:9731", "/"}) {
    const MetricsRequest r = ParseMetricsOption(commandLine);
    EXPECT_FALSE(r.listen) << commandLine;
    EXPECT_FALSE(r.problem) << commandLine;
  }
}

TEST(MetricsOptionTest, RefusesWhatItCannotUseAndSaysWhy) {
  const struct {
    const char* commandLine;
    const char* why;
  } cases[] = {
      {"/M=127.0.0.1", "names no port"},
      {"/M=127.0.0.1:", "from 1 to 65535"},
      {"/M=127.0.0.1:0", "from 1 to 65535"},
      {"/M=127.0.0.1:65536", "from 1 to 65535"},
      {"/M=127.0.0.1:99999999999999999999", "from 1 to 65535"},
      {"/M=127.0.0.1:+80", "from 1 to 65535"},
      {"/M=127.0.0.1:80x", "from 1 to 65535"},
      {"/M=localhost:9731", "numeric IPv4 address"},
      {"/M=:9731", "numeric IPv4 address"},
      {"/M=127.0.0.256:9731", "numeric IPv4 address"},
      {"/M=::1:9731", "numeric IPv4 address"},
      {"/M=[127.0.0.1]:9731", "not an IPv6 address"},
      {"/M=[::1:9731", "numeric IPv4 address"},
      {"/M=", "names no port"},
      {"/MX", "/MX is not understood"},
      {"/L /Metrics", "/Metrics is not understood"},
  };
  for (const auto& c : cases) {
    const MetricsRequest r = ParseMetricsOption(c.commandLine);
    EXPECT_FALSE(r.listen) << c.commandLine;
    ASSERT_TRUE(r.problem) << c.commandLine;
    EXPECT_NE(r.problem->find(c.why), std::string::npos) << c.commandLine << ": " << *r.problem;
    EXPECT_NE(r.problem->find("goes on without serving metrics"), std::string::npos);
  }
}

}  // namespace
}  // namespace kvn
