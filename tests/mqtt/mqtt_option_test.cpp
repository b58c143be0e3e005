#include "mqtt/mqtt_option.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/temp_folder.h"

namespace {

using kvn::MqttRequest;
using kvn::ParseMqttOption;

kvn::MqttSettings Settings(const std::string& commandLine) {
  const MqttRequest r = ParseMqttOption(commandLine);
  EXPECT_FALSE(r.problem) << commandLine << ": " << r.problem.value_or("");
  return r.settings.value_or(kvn::MqttSettings{});
}

std::string Problem(const std::string& commandLine) {
  const MqttRequest r = ParseMqttOption(commandLine);
  EXPECT_FALSE(r.settings) << commandLine;
  return r.problem.value_or("(none)");
}

TEST(MqttOption, UrlsAndTheirDefaults) {
  EXPECT_FALSE(ParseMqttOption("/L /M").settings);
  EXPECT_FALSE(ParseMqttOption("/L /M").problem);

  kvn::MqttSettings s = Settings("/L /q");
  EXPECT_EQ(s.host, "127.0.0.1");
  EXPECT_EQ(s.port, 1883);
  EXPECT_FALSE(s.tls);
  EXPECT_EQ(Settings("/Q/L").host, "127.0.0.1");

  s = Settings("/L /Q=mqtts://Broker.plant:9000/ /M");
  EXPECT_TRUE(s.tls);
  EXPECT_EQ(s.host, "Broker.plant");
  EXPECT_EQ(s.port, 9000);
  EXPECT_EQ(s.url, "mqtts://Broker.plant:9000");
  EXPECT_EQ(Settings("/Q=MQTTS://b").port, 8883);
  s = Settings("/Q=mqtt://[fd00::1]:1884");
  EXPECT_EQ(s.host, "fd00::1");
  EXPECT_EQ(s.port, 1884);
}

TEST(MqttOption, SettingsInTheQuery) {
  const kvn::MqttSettings s = Settings(
      "/Q=mqtts://b?prefix=plant/line%201&queue=5&discovery=off&credentials=/etc/k/c"
      "&ca=/etc/ca.pem&cert=/c.pem&key=/k.pem");
  EXPECT_EQ(s.prefix, "plant/line 1");
  EXPECT_EQ(s.queue, 5u);
  EXPECT_FALSE(s.discovery);
  EXPECT_EQ(s.credentials, "/etc/k/c");
  EXPECT_EQ(s.ca, "/etc/ca.pem");
  EXPECT_EQ(s.cert, "/c.pem");
  EXPECT_EQ(s.key, "/k.pem");
  EXPECT_EQ(Settings("/Q=mqtt://b").queue, kvn::kDefaultMqttQueue);
  EXPECT_TRUE(Settings("/Q=mqtt://b").discovery);
}

TEST(MqttOption, RefusalsSayWhy) {
  const auto says = [](const std::string& line, const std::string& why) {
    const std::string problem = Problem(line);
    EXPECT_NE(problem.find(why), std::string::npos) << line << ": " << problem;
    EXPECT_NE(problem.find("The program ends"), std::string::npos) << problem;
  };
  says("/Qx", "not understood");
  says("/Q=http://b", "must begin with mqtt:// or mqtts://");
  says("/Q=mqtt://user:secret@b", "credentials file");
  says("/Q=mqtt://", "names no host");
  says("/Q=mqtt://b:0", "port");
  says("/Q=mqtt://b:65536", "port");
  says("/Q=mqtt://b:", "port");
  says("/Q=mqtt://b:1x", "port");
  says("/Q=mqtt://[::1", "closing ]");
  says("/Q=mqtt://[zz]", "not an IPv6 address");
  says("/Q=mqtt://b;rm", "host name");
  says("/Q=mqtt://b/topic", "path");
  says("/Q=mqtt://b?prefix=a/+/b", "prefix");
  says("/Q=mqtt://b?prefix=/a", "prefix");
  says("/Q=mqtt://b?prefix=a%00b", "%-escape");
  says("/Q=mqtt://b?prefix=a%4", "%-escape");
  says("/Q=mqtt://b?queue=0", "queue");
  says("/Q=mqtt://b?queue=-1", "queue");
  says("/Q=mqtt://b?queue=99999999999999999999999", "queue");
  says("/Q=mqtt://b?discovery=maybe", "on or off");
  says("/Q=mqtt://b?ca=/x", "settings of mqtts://");
  says("/Q=mqtts://b?cert=/x", "both cert and key");
  says("/Q=mqtt://b?password=x", "not known");
  says("/Q=mqtt://b?queue=1&queue=2", "given twice");
  says("/Q=mqtt://b?prefix", "no value");
}

TEST(MqttOption, TheOtherOptionsAreNotReadInsideTheUrl) {
  EXPECT_EQ(kvn::WithoutMqttValue("/L /Q=mqtts://b?ca=/mnt/l.pem /M"), "/L /Q /M");
  EXPECT_EQ(kvn::WithoutMqttValue("/q=mqtt://b"), "/q");
  EXPECT_EQ(kvn::WithoutMqttValue("/L /Q"), "/L /Q");
  EXPECT_EQ(kvn::WithoutMqttValue("/Q=a/L /q=b/M /L"), "/Q /q /L");
  EXPECT_EQ(kvn::WithoutMqttValue("/Q="), "/Q");
}

TEST(MqttOption, TopicNames) {
  EXPECT_EQ(kvn::TopicLevel("line-3.plant"), "line-3_plant");
  EXPECT_EQ(kvn::TopicLevel("a/b+#"), "a_b__");
  EXPECT_EQ(kvn::TopicLevel(""), "unnamed");
  EXPECT_TRUE(kvn::IsTopicPrefix("kvnvb/host"));
  EXPECT_FALSE(kvn::IsTopicPrefix(""));
  EXPECT_FALSE(kvn::IsTopicPrefix("a/"));
  EXPECT_FALSE(kvn::IsTopicPrefix("a#"));
}

TEST(MqttOption, CredentialsFromAFileOrSystemd) {
  kvn::test::TempFolder folder("mqtt");
  const std::string dir = folder.path().string();
  const auto write = [&](const std::string& name, const std::string& text) {
    const std::string path = dir + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return path;
  };

  kvn::MqttSettings s;
  s.credentials = write("c", "# the plant's broker\r\nusername=panel\r\n\npassword=p=w d\r\n");
  EXPECT_FALSE(kvn::LoadMqttCredentials(s, nullptr));
  EXPECT_EQ(s.username, "panel");
  EXPECT_EQ(s.password, "p=w d");

  // systemd's credential, when no file is named.
  write("mqtt", "username=logger\npassword=x\n");
  kvn::MqttSettings fromSystemd;
  EXPECT_FALSE(kvn::LoadMqttCredentials(fromSystemd, dir.c_str()));
  EXPECT_EQ(fromSystemd.username, "logger");
  kvn::MqttSettings anonymous;
  EXPECT_FALSE(kvn::LoadMqttCredentials(anonymous, (dir + "/none").c_str()));
  EXPECT_EQ(anonymous.username, "");

  const auto refused = [&](const std::string& text, const std::string& why) {
    kvn::MqttSettings bad;
    bad.credentials = write("bad", text);
    const auto problem = kvn::LoadMqttCredentials(bad, nullptr);
    ASSERT_TRUE(problem) << text;
    EXPECT_NE(problem->find(why), std::string::npos) << *problem;
    EXPECT_NE(problem->find(bad.credentials), std::string::npos) << *problem;
  };
  kvn::MqttSettings none;
  none.credentials = write("empty", "# the broker asks for no user name\n");
  EXPECT_FALSE(kvn::LoadMqttCredentials(none, nullptr));
  EXPECT_EQ(none.username, "");
  refused("password=x\n", "no username");
  refused("username=a\nusername=b\n", "given twice");
  refused("username=a\nuser=b\n", "line 2");
  refused(std::string("username=a\0b\n", 13), "NUL");
  refused(std::string(70000, '#'), "64 KiB");

  kvn::MqttSettings missing;
  missing.credentials = dir + "/absent";
  const auto problem = kvn::LoadMqttCredentials(missing, nullptr);
  ASSERT_TRUE(problem);
  EXPECT_NE(problem->find("No such file"), std::string::npos) << *problem;

  kvn::MqttSettings tls;
  tls.ca = dir + "/absent-ca.pem";
  ASSERT_TRUE(kvn::CheckMqttFiles(tls));
  EXPECT_NE(kvn::CheckMqttFiles(tls)->find("absent-ca.pem"), std::string::npos);
  tls.ca = s.credentials;
  EXPECT_FALSE(kvn::CheckMqttFiles(tls));
}

}  // namespace
