// The headless logger with /Q against a real Mosquitto broker: the log's
// records arrive record for record, a broker restart loses none, a bound
// that drops is said in the log, peers that misbehave leave the scan and the
// log running, and a /Q that cannot be used ends the program at once.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <map>

#include "support/mqtt_broker.h"
#include "support/program.h"

namespace {

using kvn::test::BrokerOptions;
using kvn::test::Message;
using kvn::test::MosquittoBroker;
using kvn::test::Program;
using kvn::test::ReadAll;
using kvn::test::Subscriber;
using kvn::test::WaitForRecords;
using kvn::test::Write;

const std::string kPrefix = "kvnvb/e2e";

// A data record of the log: its seven numbers (temperature, set points,
// analog inputs 0..3) as the line gives them.
std::vector<std::vector<double>> LogRecords(const QByteArray& log) {
  std::vector<std::vector<double>> out;
  for (const QByteArray& line : log.split('\n')) {
    const int mark = line.indexOf(" > ");
    if (mark < 0) continue;
    std::vector<double> numbers;
    for (const QByteArray& field : line.mid(mark + 3).trimmed().split(','))
      numbers.push_back(field.trimmed().toDouble());
    out.push_back(numbers);
  }
  return out;
}

// The record messages, by sequence number (a repeat must be the same).
std::map<qint64, QJsonObject> MqttRecords(const std::vector<Message>& messages) {
  std::map<qint64, QJsonObject> out;
  for (const Message& m : messages) {
    if (m.topic != kPrefix + "/record") continue;
    const QJsonObject r = QJsonDocument::fromJson(QByteArray::fromStdString(m.payload)).object();
    const qint64 seq = r["seq"].toInteger();
    const auto [it, fresh] = out.emplace(seq, r);
    if (!fresh) {
      EXPECT_EQ(it->second, r) << "record " << seq << " came twice, changed";
    }
  }
  return out;
}

std::vector<double> Numbers(const QJsonObject& r) {
  std::vector<double> n{r["temperature"].toDouble(), r["high_set"].toDouble(),
                        r["low_set"].toDouble()};
  for (int channel = 0; channel < 4; ++channel)
    n.push_back(r["analog"].toArray()[channel].toObject()["value"].toDouble());
  return n;
}

// Each record of the log went out with the same numbers, and arrived first in
// the log's order: sequence numbers 1, 2, ... without a gap (a record sent
// again may come a second time, after its first).
void ExpectLogAndBrokerAgree(const QByteArray& log, const std::vector<Message>& messages) {
  const auto logged = LogRecords(log);
  const auto published = MqttRecords(messages);
  ASSERT_FALSE(logged.empty());
  ASSERT_EQ(published.size(), logged.size());
  qint64 seq = 0;
  for (const auto& [n, record] : published) {
    ASSERT_EQ(n, ++seq) << "a record is missing";
    EXPECT_EQ(Numbers(record), logged[static_cast<std::size_t>(n - 1)]) << "record " << n;
  }
  qint64 newest = 0;
  for (const Message& m : messages) {
    if (m.topic != kPrefix + "/record") continue;
    const QByteArray payload = QByteArray::fromStdString(m.payload);
    const qint64 n = QJsonDocument::fromJson(payload).object()["seq"].toInteger();
    if (n <= newest) continue;
    EXPECT_EQ(n, newest + 1) << "record " << n << " came before record " << newest + 1;
    newest = n;
  }
}

class Logger {
 public:
  Logger(const QStringList& args, const QProcessEnvironment& env = {}, const char* period = "0")
      : log_(dir_.filePath("kvnvb_DazEvo.Log")) {
    // The logging period 0: a record on every tick of 100 ms.
    Write(dir_.filePath("kvnvb_DazEvo.set"), QByteArray("0\r\n") + period + "\r\n");
    program_ = std::make_unique<Program>(KVN_EXECUTABLE, dir_.path(), args, nullptr, env);
  }
  Program& program() { return *program_; }
  const QString& log() const { return log_; }
  QString folder() const { return dir_.path(); }
  // SIGTERM runs Quit; the milliseconds it took to end.
  qint64 quit() {
    QElapsedTimer t;
    t.start();
    program_->process().terminate();
    EXPECT_TRUE(program_->finish(20000));
    return t.elapsed();
  }

 private:
  QTemporaryDir dir_;
  QString log_;
  std::unique_ptr<Program> program_;
};

QString Url(int port, const QString& settings = {}) {
  return QStringLiteral("/Q=mqtt://127.0.0.1:%1?prefix=%2%3")
      .arg(port)
      .arg(QString::fromStdString(kPrefix), settings);
}

bool WaitForLog(const QString& log, const QByteArray& text, int ms = 30000) {
  QElapsedTimer t;
  t.start();
  while (!ReadAll(log).contains(text)) {
    if (t.elapsed() > ms) return false;
    QThread::msleep(50);
  }
  return true;
}

TEST(MqttLogger, TheLogsRecordsArriveRecordForRecord) {
  // The password comes as systemd hands it: a credential named mqtt.
  MosquittoBroker broker(
      BrokerOptions{.user = std::pair{std::string("line3"), std::string("pw 3")}});
  ASSERT_TRUE(broker.start()) << broker.log();
  Subscriber sub(broker, {kPrefix + "/#"});
  ASSERT_TRUE(sub.waitUntilSubscribed());
  QTemporaryDir credentials;
  Write(credentials.filePath("mqtt"), "username=line3\npassword=pw 3\n");
  QProcessEnvironment env;
  env.insert("CREDENTIALS_DIRECTORY", credentials.path());

  Logger logger({"/L", Url(broker.port())}, env, "2");
  ASSERT_TRUE(WaitForRecords(logger.log(), 6)) << logger.program().errors().toStdString();
  logger.quit();
  ASSERT_TRUE(sub.waitFor(
      [](const auto& m) {
        return !m.empty() && m.back().topic == kPrefix + "/availability" &&
               m.back().payload == "offline";
      },
      10000));
  const QByteArray log = ReadAll(logger.log());
  ExpectLogAndBrokerAgree(log, sub.messages());
  EXPECT_TRUE(log.contains(" # MQTT mqtt://127.0.0.1:" + QByteArray::number(broker.port()) +
                           ": connected, publishing under kvnvb/e2e/.\r\n"))
      << log.toStdString();
  EXPECT_TRUE(logger.program().errors().contains("connected, publishing under"));
  EXPECT_EQ(logger.program().process().exitCode(), 0);

  // Whoever subscribes later gets the last record's numbers as the sensors'
  // retained states, and "offline".
  const std::vector<std::string> sensors{"temperature", "high_set", "low_set", "analog0",
                                         "analog1",     "analog2",  "analog3"};
  std::map<std::string, std::string> retained;
  Subscriber late(broker, {kPrefix + "/state/#", kPrefix + "/availability"}, "kvn-test-late");
  ASSERT_TRUE(late.waitFor(
      [&](const auto& messages) {
        for (const Message& m : messages)
          if (m.retained) retained[m.topic] = m.payload;
        return retained.count(kPrefix + "/availability") > 0 &&
               std::all_of(sensors.begin(), sensors.end(), [&](const std::string& s) {
                 return retained.count(kPrefix + "/state/" + s) > 0;
               });
      },
      10000));
  EXPECT_EQ(retained[kPrefix + "/availability"], "offline");
  const std::vector<double> last = LogRecords(log).back();
  for (std::size_t n = 0; n < sensors.size(); ++n)
    EXPECT_EQ(std::stod(retained[kPrefix + "/state/" + sensors[n]]), last[n]) << sensors[n];
}

TEST(MqttLogger, ABrokerKilledFor10SecondsLosesNoRecord) {
  MosquittoBroker broker;
  ASSERT_TRUE(broker.start()) << broker.log();
  Subscriber sub(broker, {kPrefix + "/record"});
  ASSERT_TRUE(sub.waitUntilSubscribed());
  QThread::msleep(2500);  // the broker saves the subscription
  Logger logger({"/L", Url(broker.port())});
  ASSERT_TRUE(WaitForRecords(logger.log(), 5));
  // The last records before it dies reach its socket and never the broker:
  // only sending them again saves them.
  broker.pause();
  QThread::msleep(500);
  broker.kill();
  QThread::msleep(10000);
  const int duringOutage = static_cast<int>(LogRecords(ReadAll(logger.log())).size());
  ASSERT_TRUE(broker.start()) << broker.log();
  ASSERT_TRUE(WaitForLog(logger.log(), "connected again")) << ReadAll(logger.log()).toStdString();
  QThread::msleep(1000);
  logger.quit();
  const std::size_t logged = LogRecords(ReadAll(logger.log())).size();
  ASSERT_TRUE(sub.waitFor([&](const auto& m) { return MqttRecords(m).size() >= logged; }, 20000))
      << MqttRecords(sub.messages()).size() << " of " << logged << "\n"
      << ReadAll(logger.log()).toStdString();
  ExpectLogAndBrokerAgree(ReadAll(logger.log()), sub.messages());
  EXPECT_GT(duringOutage, 80);
  EXPECT_FALSE(ReadAll(logger.log()).contains("dropped"));
}

TEST(MqttLogger, RecordsDroppedBeyondTheBoundAreSaidInTheLog) {
  MosquittoBroker broker;
  ASSERT_TRUE(broker.start()) << broker.log();
  Logger logger({"/L", Url(broker.port(), "&queue=5")});
  ASSERT_TRUE(WaitForLog(logger.log(), "connected, publishing"));
  broker.kill();
  ASSERT_TRUE(WaitForLog(logger.log(), "Trying again"));
  QThread::msleep(2000);
  ASSERT_TRUE(broker.start()) << broker.log();
  ASSERT_TRUE(WaitForLog(logger.log(), "connected again"));
  logger.quit();
  const QByteArray log = ReadAll(logger.log());
  const QRegularExpression said(
      R"( # MQTT [^\r]*: connected again, publishing under kvnvb/e2e/\. (\d+) records were dropped while the broker was away \(the queue holds 5\)\.\r\n)");
  const auto match = said.match(QString::fromLatin1(log));
  ASSERT_TRUE(match.hasMatch()) << log.toStdString();
  EXPECT_GE(match.captured(1).toInt(), 10);
  EXPECT_EQ(log.count("dropped"), 1) << log.toStdString();
}

TEST(MqttLogger, PeersThatMisbehaveLeaveTheLogRunning) {
  kvn::test::GarbagePeer garbage;
  Logger garbled({"/L", Url(garbage.port())});
  ASSERT_TRUE(WaitForLog(garbled.log(), "the peer does not speak MQTT. Trying again."))
      << ReadAll(garbled.log()).toStdString();
  const int before = static_cast<int>(LogRecords(ReadAll(garbled.log())).size());
  ASSERT_TRUE(WaitForRecords(garbled.log(), before + 10));

  kvn::test::StalledPeer stalled;
  Logger stuck({"/L", Url(stalled.port())});
  ASSERT_TRUE(WaitForRecords(stuck.log(), 20));
  EXPECT_GE(stalled.connections(), 1);
  // A broker that never answers holds up Quit by at most a second.
  EXPECT_LT(stuck.quit(), 3000);
  EXPECT_EQ(stuck.program().process().exitCode(), 0);
  EXPECT_TRUE(ReadAll(stuck.log()).contains("Log Closed by Program Exit"));
  EXPECT_LT(garbled.quit(), 3000);

  // A broker that took the connection, then stalls: the records wait, and
  // Quit's goodbye to it keeps to the second.
  MosquittoBroker broker;
  ASSERT_TRUE(broker.start()) << broker.log();
  Logger stalling({"/L", Url(broker.port())});
  ASSERT_TRUE(WaitForLog(stalling.log(), "connected, publishing"));
  broker.pause();
  const int written = static_cast<int>(LogRecords(ReadAll(stalling.log())).size());
  ASSERT_TRUE(WaitForRecords(stalling.log(), written + 10));
  EXPECT_LT(stalling.quit(), 2000);
  EXPECT_TRUE(ReadAll(stalling.log()).contains("Log Closed by Program Exit"));
  broker.resume();
}

TEST(MqttLogger, AQThatCannotBeUsedEndsTheProgramBeforeTheBoard) {
  const auto refused = [](const QString& option, const QByteArray& why) {
    Logger logger({"/L", option});
    ASSERT_TRUE(logger.program().finish(20000));
    EXPECT_EQ(logger.program().process().exitCode(), 4) << option.toStdString();
    EXPECT_TRUE(logger.program().errors().contains(why)) << logger.program().errors().toStdString();
    EXPECT_FALSE(QFile::exists(logger.log())) << "a log was started";
  };
  refused("/Q=http://127.0.0.1", "must begin with mqtt:// or mqtts://");
  refused("/Q=mqtt://127.0.0.1?credentials=/nonexistent/mqtt.credentials",
          "The MQTT credentials file /nonexistent/mqtt.credentials cannot be used");
  refused("/Q=mqtts://127.0.0.1?ca=/nonexistent/ca.pem", "/nonexistent/ca.pem");
}

}  // namespace
