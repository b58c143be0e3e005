// The link against a real Mosquitto broker on loopback: what arrives and is
// retained, a bound that drops, passwords and TLS, and peers that do not
// behave. A broker killed and started again is the logger's test.
#include "mqtt/mqtt_link.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <map>
#include <string>
#include <thread>

#include "support/mqtt_broker.h"

namespace {

using namespace std::chrono_literals;
using kvn::MqttLink;
using kvn::MqttRecord;
using kvn::test::BrokerOptions;
using kvn::test::Message;
using kvn::test::MosquittoBroker;
using kvn::test::Subscriber;

const std::string kPrefix = "kvnvb/t";

// Short waits, so that each case takes seconds.
MqttLink::Timing Quick() {
  MqttLink::Timing t;
  t.answer = 1500ms;
  t.firstRetry = 200ms;
  t.retryCeiling = 1000ms;
  return t;
}

kvn::MqttSettings SettingsFor(const MosquittoBroker& broker, bool tls = false) {
  kvn::MqttSettings s;
  s.host = "127.0.0.1";
  s.port = broker.port();
  s.tls = tls;
  s.url = std::string(tls ? "mqtts" : "mqtt") + "://127.0.0.1:" + std::to_string(s.port);
  s.prefix = kPrefix;
  return s;
}

kvn::MqttSettings SettingsForPort(int port) {
  kvn::MqttSettings s;
  s.host = "127.0.0.1";
  s.port = port;
  s.url = "mqtt://127.0.0.1:" + std::to_string(port);
  s.prefix = kPrefix;
  return s;
}

kvn::MqttTopics Topics() { return kvn::MqttTopics(kPrefix, "t", "300"); }

// Record n reads n half degrees, and n on analog input 0.
MqttRecord Record(std::uint64_t n) {
  kvn::Readings r;
  r.status = kvn::Readings::Status{0};
  r.temperature = kvn::Readings::Temperature{0, static_cast<std::int32_t>(n), 60, 40};
  r.analog[0] = kvn::Readings::Analog{static_cast<std::int32_t>(n), 0};
  return MqttRecord::From(r, {.status = true, .temperature = true, .analog = 1},
                          kvn::Readings::Time(std::chrono::milliseconds(1765358103000 + 10 * n)),
                          n);
}

QJsonObject Json(const std::string& payload) {
  return QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
}

// The records among the messages, in arrival order.
std::vector<QJsonObject> Records(const std::vector<Message>& messages) {
  std::vector<QJsonObject> out;
  for (const Message& m : messages)
    if (m.topic == kPrefix + "/record") out.push_back(Json(m.payload));
  return out;
}

// Every sequence number 1..n arrived, each first time in order, and a
// repeat carries the same time as the first.
void ExpectWholeAndInOrder(const std::vector<QJsonObject>& records, std::uint64_t n) {
  std::map<qint64, QString> firstTime;
  qint64 last = 0;
  for (const QJsonObject& r : records) {
    const qint64 seq = r["seq"].toInteger();
    const auto seen = firstTime.find(seq);
    if (seen != firstTime.end()) {
      EXPECT_EQ(seen->second, r["time"].toString())
          << "record " << seq << " again, with a new time";
      continue;
    }
    EXPECT_EQ(seq, last + 1) << "out of order or missing";
    last = seq;
    firstTime[seq] = r["time"].toString();
    EXPECT_EQ(r["temperature"].toDouble(), static_cast<double>(seq) / 2);
  }
  EXPECT_EQ(static_cast<std::uint64_t>(last), n);
}

std::string Notices(MqttLink& link) {
  std::string all;
  for (const std::string& n : link.takeNotices()) all += n + "\n";
  return all;
}

// Gathers the link's notices until one holds the text.
bool WaitForNotice(MqttLink& link, const std::string& text, std::string& seen,
                   std::chrono::milliseconds within = 10s) {
  const auto until = std::chrono::steady_clock::now() + within;
  while (std::chrono::steady_clock::now() < until) {
    seen += Notices(link);
    if (seen.find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds within = 10s) {
  const auto until = std::chrono::steady_clock::now() + within;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

class MqttLinkTest : public ::testing::Test {
 protected:
  void SetUp() override { std::signal(SIGPIPE, SIG_IGN); }
};

TEST_F(MqttLinkTest, RecordsStatesAndAvailabilityArrive) {
  MosquittoBroker broker;
  ASSERT_TRUE(broker.start()) << broker.log();
  Subscriber sub(broker, {kPrefix + "/#", "homeassistant/#"});
  ASSERT_TRUE(sub.waitUntilSubscribed());
  {
    MqttLink link(SettingsFor(broker), Topics(), Quick());
    ASSERT_FALSE(link.start());
    for (std::uint64_t n = 1; n <= 5; ++n) link.push(Record(n));
    ASSERT_TRUE(sub.waitFor([](const auto& m) { return Records(m).size() >= 5; }, 10000));
    ExpectWholeAndInOrder(Records(sub.messages()), 5);
    std::string seen;
    EXPECT_TRUE(WaitForNotice(link, "connected, publishing under kvnvb/t/", seen)) << seen;
    EXPECT_TRUE(WaitUntil([&] { return link.counts().delivered == 5; }));

    // A subscriber that comes later gets the retained state, availability
    // and discovery at once.
    Subscriber late(broker, {kPrefix + "/#", "homeassistant/#"}, "kvn-test-late");
    ASSERT_TRUE(late.waitFor(
        [](const auto& m) {
          return std::count_if(m.begin(), m.end(), [](const Message& x) { return x.retained; }) >=
                 1 + 8 + 16;  // availability, states, discovery
        },
        10000));
    std::map<std::string, std::string> retained;
    for (const Message& m : late.messages()) {
      EXPECT_TRUE(m.retained || m.topic == kPrefix + "/record") << m.topic;
      if (m.retained) retained[m.topic] = m.payload;
    }
    EXPECT_EQ(retained[kPrefix + "/availability"], "online");
    EXPECT_EQ(retained[kPrefix + "/state/temperature"], "2.5");
    EXPECT_EQ(retained[kPrefix + "/state/analog0"], "5");
    EXPECT_EQ(retained[kPrefix + "/state/hi"], "OFF");
    EXPECT_EQ(retained.count("homeassistant/sensor/kvnvb_t_300/temperature/config"), 1u);
    EXPECT_EQ(retained.count("homeassistant/binary_sensor/kvnvb_t_300/input1/config"), 1u);
    link.stop();
  }
  ASSERT_TRUE(sub.waitFor(
      [](const auto& m) {
        return !m.empty() && m.back().topic == kPrefix + "/availability" &&
               m.back().payload == "offline";
      },
      5000));
}

TEST_F(MqttLinkTest, DiscoveryCanBeLeftOut) {
  MosquittoBroker broker;
  ASSERT_TRUE(broker.start()) << broker.log();
  Subscriber sub(broker, {kPrefix + "/#", "homeassistant/#"});
  ASSERT_TRUE(sub.waitUntilSubscribed());
  kvn::MqttSettings settings = SettingsFor(broker);
  settings.discovery = false;
  MqttLink link(settings, Topics(), Quick());
  ASSERT_FALSE(link.start());
  link.push(Record(1));
  ASSERT_TRUE(sub.waitFor([](const auto& m) { return Records(m).size() == 1; }, 10000));
  for (const Message& m : sub.messages())
    EXPECT_EQ(m.topic.rfind("homeassistant/", 0), std::string::npos) << m.topic;
}

TEST_F(MqttLinkTest, BeyondTheBoundTheOldestAreDroppedAndCounted) {
  MosquittoBroker broker;
  ASSERT_TRUE(broker.start()) << broker.log();
  kvn::MqttSettings settings = SettingsFor(broker);
  settings.queue = 5;
  MqttLink link(settings, Topics(), Quick());
  ASSERT_FALSE(link.start());
  std::string seen;
  ASSERT_TRUE(WaitForNotice(link, "connected", seen)) << seen;
  broker.kill();
  ASSERT_TRUE(WaitForNotice(link, "Trying again", seen)) << seen;
  for (std::uint64_t n = 1; n <= 12; ++n) link.push(Record(n));
  EXPECT_EQ(link.counts().queued, 5u);
  EXPECT_EQ(link.counts().dropped, 7u);

  Subscriber* sub = nullptr;
  ASSERT_TRUE(broker.start()) << broker.log();
  Subscriber subscriber(broker, {kPrefix + "/record"});
  sub = &subscriber;
  ASSERT_TRUE(WaitForNotice(
      link, "7 records were dropped while the broker was away (the queue holds 5)", seen))
      << seen;
  // Said once.
  std::this_thread::sleep_for(300ms);
  seen += Notices(link);
  EXPECT_EQ(seen.find("dropped"), seen.rfind("dropped")) << seen;
  EXPECT_TRUE(WaitUntil([&] { return link.counts().queued == 0; }));
  (void)sub;
}

TEST_F(MqttLinkTest, PasswordsRightAndWrong) {
  MosquittoBroker broker(
      BrokerOptions{.user = std::pair{std::string("panel"), std::string("s3cret")}});
  ASSERT_TRUE(broker.start()) << broker.log();
  kvn::MqttSettings settings = SettingsFor(broker);
  settings.username = "panel";
  settings.password = "wrong";
  {
    MqttLink link(settings, Topics(), Quick());
    ASSERT_FALSE(link.start());
    link.push(Record(1));
    std::string seen;
    EXPECT_TRUE(WaitForNotice(
        link,
        "the broker refused the connection: Connection Refused: not authorised. Trying again.",
        seen))
        << seen;
    EXPECT_FALSE(link.counts().connected);
    EXPECT_EQ(link.counts().queued, 1u);  // kept for a broker that takes it
    // Tried again, and said once.
    std::this_thread::sleep_for(1500ms);
    seen += Notices(link);
    EXPECT_EQ(seen.find("refused"), seen.rfind("refused")) << seen;
  }
  settings.password = "s3cret";
  MqttLink link(settings, Topics(), Quick());
  ASSERT_FALSE(link.start());
  link.push(Record(1));
  EXPECT_TRUE(WaitUntil([&] { return link.counts().delivered == 1; })) << Notices(link);
}

TEST_F(MqttLinkTest, TlsWithTheRightCaAndAnUnknownOne) {
  MosquittoBroker broker(BrokerOptions{.user = std::nullopt, .tls = true});
  ASSERT_TRUE(broker.start()) << broker.log();
  kvn::MqttSettings settings = SettingsFor(broker, true);
  settings.ca = broker.otherCaFile();
  {
    MqttLink link(settings, Topics(), Quick());
    ASSERT_FALSE(link.start());
    link.push(Record(1));
    std::string seen;
    EXPECT_TRUE(WaitForNotice(link, "the TLS handshake failed", seen)) << seen;
    EXPECT_NE(seen.find("certificate verify failed"), std::string::npos) << seen;
    EXPECT_FALSE(link.counts().connected);
  }
  settings.ca = broker.caFile();
  Subscriber sub(broker, {kPrefix + "/record"});
  ASSERT_TRUE(sub.waitUntilSubscribed());
  MqttLink link(settings, Topics(), Quick());
  ASSERT_FALSE(link.start());
  link.push(Record(1));
  EXPECT_TRUE(sub.waitFor([](const auto& m) { return Records(m).size() == 1; }, 10000))
      << Notices(link);
}

TEST_F(MqttLinkTest, PeersThatDoNotSpeakMqttOrStall) {
  kvn::test::GarbagePeer garbage;
  {
    MqttLink link(SettingsForPort(garbage.port()), Topics(), Quick());
    ASSERT_FALSE(link.start());
    link.push(Record(1));
    std::string seen;
    EXPECT_TRUE(WaitForNotice(link, "the peer does not speak MQTT. Trying again.", seen)) << seen;
    EXPECT_EQ(link.counts().queued, 1u);
    EXPECT_GE(garbage.connections(), 1);
  }
  kvn::test::StalledPeer stalled;
  MqttLink link(SettingsForPort(stalled.port()), Topics(), Quick());
  ASSERT_FALSE(link.start());
  for (std::uint64_t n = 1; n <= 3; ++n) link.push(Record(n));  // never waits
  std::string seen;
  EXPECT_TRUE(WaitForNotice(link, "no answer to the connection within 1.5 s", seen)) << seen;
  EXPECT_EQ(link.counts().queued, 3u);
  // Whatever the peer does, stop() keeps to its second.
  const auto began = std::chrono::steady_clock::now();
  link.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - began, 1000ms);
}

TEST_F(MqttLinkTest, ABadTlsFileIsToldAtStart) {
  kvn::MqttSettings settings = SettingsForPort(1);
  settings.tls = true;
  settings.ca = "/nonexistent/ca.pem";
  MqttLink link(settings, Topics(), Quick());
  const auto problem = link.start();
  ASSERT_TRUE(problem);
  EXPECT_NE(problem->find("/nonexistent/ca.pem"), std::string::npos) << *problem;
}

}  // namespace
