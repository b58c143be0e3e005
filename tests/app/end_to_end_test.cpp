// The real executable on the offscreen platform: with the simulated board
// beside it, and with no driver library at all.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QTemporaryDir>

namespace {

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

class Program {
 public:
  Program(const QString& executable, const QString& workDir, const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process_.setProcessEnvironment(env);
    process_.setWorkingDirectory(workDir);
    process_.start(executable, args);
  }
  ~Program() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }
  // Waits until standard error holds the text; false on timeout or exit.
  bool waitForError(const QByteArray& text, int ms = 60000) {
    QElapsedTimer t;
    t.start();
    while (!errors_.contains(text)) {
      if (t.elapsed() > ms || process_.state() == QProcess::NotRunning) return false;
      process_.waitForReadyRead(100);
      errors_ += process_.readAllStandardError();
    }
    return true;
  }
  bool finish(int ms = 60000) {
    const bool done = process_.waitForFinished(ms);
    errors_ += process_.readAllStandardError();
    return done;
  }
  QProcess& process() { return process_; }
  const QByteArray& errors() const { return errors_; }

 private:
  QProcess process_;
  QByteArray errors_;
};

TEST(EndToEnd, SimulatedBoardRunsUntilSigtermThenQuits) {
  QTemporaryDir work;
  Write(work.filePath("kvnvb_DazEvo.set"), " 1 \r\n25\r\n");
  Program p(KVN_EXECUTABLE, work.path(), {});
  // With an empty command line the status box is written to standard error.
  ASSERT_TRUE(p.waitForError("kvnvb_DazEvo: Driver Properly Opened")) << p.errors().constData();
  p.process().terminate();  // SIGTERM
  ASSERT_TRUE(p.finish());
  EXPECT_EQ(p.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.process().exitCode(), 0) << p.errors().constData();
  EXPECT_EQ(ReadAll(work.filePath("kvnvb_DazEvo.set")), " 1 \r\n25\r\n");
}

TEST(EndToEnd, HeadlessLoggerWritesRecordsUntilSigterm) {
  QTemporaryDir work;
  // A period of 0 ticks: a record on every scan tick.
  Write(work.filePath("kvnvb_DazEvo.set"), " 0 \r\n0\r\n");
  const QString log = work.filePath("kvnvb_DazEvo.Log");
  Program p(KVN_EXECUTABLE, work.path(), {"/L"});
  QElapsedTimer t;
  t.start();
  while (ReadAll(log).count(" > ") < 3 && t.elapsed() < 60000) QThread::msleep(50);
  p.process().terminate();
  ASSERT_TRUE(p.finish());
  EXPECT_EQ(p.process().exitCode(), 0) << p.errors().constData();
  EXPECT_FALSE(p.errors().contains("kvnvb_DazEvo:")) << "no box with /L: " << p.errors().constData();

  const QList<QByteArray> lines = ReadAll(log).split('\n');
  ASSERT_GE(lines.size(), 8);
  for (qsizetype i = 0; i + 1 < lines.size(); ++i)
    EXPECT_TRUE(lines[i].endsWith('\r')) << "line " << i << " ends in CR LF";
  EXPECT_TRUE(lines.last().isEmpty());
  const QString date = R"(\d\d-\d\d-\d{4})", time = R"(\d\d:\d\d:\d\d)";
  auto matches = [&](qsizetype i, const QString& pattern) {
    const QString line = QString::fromLocal8Bit(lines[i]).chopped(1);
    return QRegularExpression("^" + pattern + "$").match(line).hasMatch();
  };
  EXPECT_TRUE(matches(0, "Log Started on " + date + " at " + time));
  EXPECT_EQ(lines[1].chopped(1), "Log File: " + QDir(work.path()).filePath("kvnvb_DazEvo.Log").toLocal8Bit());
  EXPECT_EQ(lines[2].chopped(1), "Log Data Header: TempCurrent TempHighSet, TempLowSet, "
                                 "Analog0, Analog1, Analog2, Analog3");
  const qsizetype last = lines.size() - 2;  // the close line
  const QString number = R"(-?(\d*\.)?\d+)";
  for (qsizetype i = 3; i < last - 1; ++i) {
    const QString counter = QString::number(i).rightJustified(8, ' ');
    EXPECT_TRUE(matches(i, counter + " " + date + " " + time + " > ( " + number + ",){6} " +
                               number))
        << lines[i].constData();
  }
  EXPECT_TRUE(matches(last - 1, QString::number(last - 1).rightJustified(8, ' ') + " " + date +
                                    " " + time + " # Log Closed by Program Exit"));
  EXPECT_TRUE(matches(last, "Log Closed on " + date + " at " + time));
}

TEST(EndToEnd, MissingDriverLibraryIsToldAndTheStateFileWrittenBack) {
  QTemporaryDir work;
  QTemporaryDir bin;
  const QString copy = bin.filePath("kvnvb_DazEvo");
  ASSERT_TRUE(QFile::copy(KVN_EXECUTABLE, copy));
  Write(work.filePath("kvnvb_DazEvo.set"), " 3 \r\n42\r\n");
  Program p(copy, work.path(), {});
  ASSERT_TRUE(p.finish());
  const QByteArray errors = p.errors();
  EXPECT_TRUE(errors.contains("libkvnapp_DazEvo.so")) << errors.constData();
  EXPECT_TRUE(errors.contains("kvnvb_DazEvo: Driver did not Open")) << errors.constData();
  EXPECT_TRUE(errors.contains("kvnvb_DazEvo: Program did not properly start, exiting..."))
      << errors.constData();
  EXPECT_EQ(p.process().exitCode(), 1);
  EXPECT_EQ(ReadAll(work.filePath("kvnvb_DazEvo.set")), " 3 \r\n42\r\n");
}

}  // namespace
