// The headless logger on the simulated board with its metrics endpoint: a
// real Prometheus server scrapes it, ill-behaved clients do not disturb its
// log, and an address it cannot use leaves it logging without one.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "support/program.h"

namespace {

using kvn::test::Program;
using kvn::test::ReadAll;
using kvn::test::WaitForRecords;
using kvn::test::Write;

// A loopback port nobody listens on just now.
quint16 FreePort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}

// The body of an HTTP/1.0 GET (so that no chunked answer comes), or nothing.
std::optional<QByteArray> HttpGet(quint16 port, const QByteArray& target) {
  QTcpSocket s;
  s.connectToHost(QHostAddress::LocalHost, port);
  if (!s.waitForConnected(5000)) return std::nullopt;
  s.write("GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
  QByteArray got;
  while (s.state() == QAbstractSocket::ConnectedState && s.waitForReadyRead(10000))
    got += s.readAll();
  got += s.readAll();
  if (!got.startsWith("HTTP/1.") || !got.contains(" 200 ")) return std::nullopt;
  return got.mid(got.indexOf("\r\n\r\n") + 4);
}

// The value of the first sample of an instant query through Prometheus's
// HTTP API.
std::optional<QString> Query(quint16 port, const QString& expression) {
  const auto body = HttpGet(port, "/api/v1/query?query=" + QUrl::toPercentEncoding(expression));
  if (!body) return std::nullopt;
  const QJsonArray result = QJsonDocument::fromJson(*body)["data"]["result"].toArray();
  if (result.isEmpty()) return std::nullopt;
  return result[0]["value"][1].toString();
}

// The temperature of the log's latest data record, as it stands in the log.
std::optional<QString> LatestRecordedTemperature(const QString& log) {
  const QList<QByteArray> lines = ReadAll(log).split('\n');
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    const auto match = QRegularExpression(R"( > +(-?[\d.]+),)").match(QString::fromLatin1(*line));
    if (match.hasMatch()) return match.captured(1);
  }
  return std::nullopt;
}

bool Eventually(const std::function<bool()>& condition, int ms = 30000) {
  QElapsedTimer t;
  t.start();
  while (!condition()) {
    if (t.elapsed() > ms) return false;
    QThread::msleep(100);
  }
  return true;
}

QStringList LoggerArguments(quint16 port) {
  return {"/L", QStringLiteral("/M=127.0.0.1:%1").arg(port)};
}

TEST(LoggerMetrics, PrometheusScrapesTheLoggerAndReadsWhatItLogs) {
  QTemporaryDir work;
  const quint16 metrics = FreePort();
  Program logger(KVN_EXECUTABLE, work.path(), LoggerArguments(metrics));
  const QString log = work.filePath("kvnvb_DazEvo.Log");
  ASSERT_TRUE(WaitForRecords(log, 1)) << logger.errors().constData();

  const quint16 web = FreePort();
  Write(work.filePath("prometheus.yml"),
        QStringLiteral("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                       "scrape_configs:\n  - job_name: kvnvb\n    static_configs:\n"
                       "      - targets: ['127.0.0.1:%1']\n")
            .arg(metrics)
            .toUtf8());
  QProcess prometheus;
  prometheus.setProcessChannelMode(QProcess::MergedChannels);
  prometheus.start(KVN_PROMETHEUS,
                   {"--config.file=" + work.filePath("prometheus.yml"),
                    "--storage.tsdb.path=" + work.filePath("data"),
                    QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(web)});
  ASSERT_TRUE(prometheus.waitForStarted());

  ASSERT_TRUE(Eventually([&] { return Query(web, "kvnvb_board_open") == "1"; }, 60000))
      << prometheus.readAll().constData();
  EXPECT_EQ(Query(web, "kvnvb_board_info"), "1");
  EXPECT_EQ(Query(web, "count(kvnvb_analog_reading)"), "9");
  // The simulated temperature moves by half a degree now and then: the
  // latest scrape and the latest record agree once both have seen the same.
  std::optional<QString> scraped, logged;
  EXPECT_TRUE(Eventually([&] {
    scraped = Query(web, "kvnvb_temperature_celsius{sensor=\"0\"}");
    logged = LatestRecordedTemperature(log);
    return scraped && logged && scraped->toDouble() == logged->toDouble();
  }))
      << scraped.value_or("(none)").toStdString() << " scraped, "
      << logged.value_or("(none)").toStdString() << " logged";

  prometheus.terminate();
  prometheus.waitForFinished(10000);
  logger.process().terminate();
  ASSERT_TRUE(logger.finish());
  EXPECT_EQ(logger.process().exitCode(), 0) << logger.errors().constData();
}

TEST(LoggerMetrics, IllBehavedClientsLoseNoRecordAndTheEndpointStillAnswers) {
  QTemporaryDir work;
  Write(work.filePath("kvnvb_DazEvo.set"), " 0 \r\n0\r\n");  // a record every tick
  const QString log = work.filePath("kvnvb_DazEvo.Log");
  const quint16 port = FreePort();
  Program logger(KVN_EXECUTABLE, work.path(), LoggerArguments(port));
  ASSERT_TRUE(WaitForRecords(log, 1)) << logger.errors().constData();
  const qsizetype before = ReadAll(log).count(" > ");
  QElapsedTimer elapsed;
  elapsed.start();

  {
    QTcpSocket silent;
    silent.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(silent.waitForConnected(5000));
    for (const QByteArray& request :
         {QByteArray("\x01\x02garbage\r\n\r\n"), QByteArray(300000, 'x'),
          "GET /metrics HTTP/1.1\r\nX: " + QByteArray(100000, 'a') + "\r\n\r\n",
          QByteArray("POST /metrics HTTP/1.1\r\nContent-Length: 4\r\n\r\nLEDs")}) {
      QTcpSocket s;
      s.connectToHost(QHostAddress::LocalHost, port);
      if (!s.waitForConnected(5000)) continue;
      s.write(request);
      s.waitForBytesWritten(1000);
      s.waitForReadyRead(1000);
    }
    std::vector<std::unique_ptr<QTcpSocket>> crowd;
    for (int n = 0; n < 1000; ++n) {
      crowd.push_back(std::make_unique<QTcpSocket>());
      crowd.back()->connectToHost(QHostAddress::LocalHost, port);
      crowd.back()->waitForConnected(5000);
      crowd.back()->write("GET /metrics HTTP/1.0\r\n\r\n");
      crowd.back()->flush();
    }
  }

  const auto scrape = HttpGet(port, "/metrics");
  ASSERT_TRUE(scrape) << "the endpoint answers after the crowd";
  const qsizetype after = ReadAll(log).count(" > ");
  // A tick every 100 ms, each writing a record: none was skipped while the
  // clients came and went.
  const qint64 ticks = elapsed.elapsed() / 100;
  EXPECT_GE(after - before, ticks * 8 / 10) << ticks << " ticks";
  const auto counted = QRegularExpression(R"(\nkvnvb_log_records_total (\d+)\n)")
                           .match(QString::fromLatin1(*scrape))
                           .captured(1)
                           .toLongLong();
  EXPECT_GE(counted, before);
  EXPECT_LE(counted, after);
  EXPECT_TRUE(scrape->contains("\nkvnvb_log_failed 0\n"));

  logger.process().terminate();
  ASSERT_TRUE(logger.finish());
  EXPECT_EQ(logger.process().exitCode(), 0) << logger.errors().constData();
  // Every record made it to the log, numbered without a gap.
  const QList<QByteArray> lines = ReadAll(log).split('\n');
  for (qsizetype i = 3; i + 3 < lines.size(); ++i)
    EXPECT_TRUE(lines[i].startsWith(QByteArray::number(i).rightJustified(8, ' ') + " "))
        << lines[i].constData();
  // Nothing listens once it has ended.
  EXPECT_FALSE(HttpGet(port, "/metrics"));
}

TEST(LoggerMetrics, AnAddressInUseIsToldOnceAndTheLoggerGoesOn) {
  QTemporaryDir work;
  QTcpServer taken;
  ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
  const QString log = work.filePath("kvnvb_DazEvo.Log");
  Program logger(KVN_EXECUTABLE, work.path(), LoggerArguments(taken.serverPort()));
  ASSERT_TRUE(logger.waitForError("Address already in use")) << logger.errors().constData();
  EXPECT_TRUE(WaitForRecords(log, 2));
  logger.process().terminate();
  ASSERT_TRUE(logger.finish());
  EXPECT_EQ(logger.process().exitCode(), 0);
  EXPECT_EQ(logger.errors().count("kvnvb_DazEvo: "), 1) << logger.errors().constData();
}

TEST(LoggerMetrics, WithoutTheOptionNothingListens) {
  QTemporaryDir work;
  const quint16 port = 9731;  // the default port
  const bool wasFree = !HttpGet(port, "/metrics");
  Program logger(KVN_EXECUTABLE, work.path(), {"/L"});
  ASSERT_TRUE(WaitForRecords(work.filePath("kvnvb_DazEvo.Log"), 1));
  if (wasFree) {
    EXPECT_FALSE(HttpGet(port, "/metrics"));
  }
  logger.process().terminate();
  ASSERT_TRUE(logger.finish());
}

}  // namespace
