// The real executable on the offscreen platform: with the simulated board
// beside it, and with no driver library at all. One run in an X server of its
// own (Xvfb), with the strip chart open.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <optional>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "support/virtual_display.h"

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
  // childSetUp runs in the child just before the program starts, for limits
  // and file descriptors of its own. The variables of environment are set
  // over the defaults (such as another QT_QPA_PLATFORM).
  Program(const QString& executable, const QString& workDir, const QStringList& args,
          std::function<void()> childSetUp = {}, const QProcessEnvironment& environment = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert(environment);
    process_.setProcessEnvironment(env);
    process_.setWorkingDirectory(workDir);
    if (childSetUp) process_.setChildProcessModifier(childSetUp);
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

// Waits until the log holds n data records.
bool WaitForRecords(const QString& log, int n) {
  QElapsedTimer t;
  t.start();
  while (ReadAll(log).count(" > ") < n) {
    if (t.elapsed() > 60000) return false;
    QThread::msleep(50);
  }
  return true;
}

TEST(EndToEnd, HangUpQuitsAsTerminationDoes) {
  QTemporaryDir work;
  const QString log = work.filePath("kvnvb_DazEvo.Log");
  Program p(KVN_EXECUTABLE, work.path(), {"/L"});
  ASSERT_TRUE(WaitForRecords(log, 1));
  ASSERT_EQ(::kill(static_cast<pid_t>(p.process().processId()), SIGHUP), 0);
  ASSERT_TRUE(p.finish());
  EXPECT_EQ(p.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.process().exitCode(), 0);
  EXPECT_TRUE(ReadAll(log).contains("# Log Closed by Program Exit\r\nLog Closed on "));
  EXPECT_EQ(ReadAll(work.filePath("kvnvb_DazEvo.set")), " 0 \r\n10\r\n");
}

TEST(EndToEnd, ClosedStandardErrorDoesNotKillTheProgram) {
  QTemporaryDir work;
  // Standard error is a pipe nobody reads: the first message box, written
  // there, would raise SIGPIPE.
  Program p(KVN_EXECUTABLE, work.path(), {}, [] {
    int fds[2];
    if (::pipe(fds) == 0) {
      ::close(fds[0]);
      ::dup2(fds[1], 2);
      ::close(fds[1]);
    }
  });
  const QString state = work.filePath("kvnvb_DazEvo.set");
  ASSERT_TRUE(p.process().waitForStarted());
  QThread::msleep(1500);  // well past the status box
  ASSERT_EQ(p.process().state(), QProcess::Running);
  p.process().terminate();
  ASSERT_TRUE(p.finish());
  EXPECT_EQ(p.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.process().exitCode(), 0);
  EXPECT_EQ(ReadAll(state), " 0 \r\n10\r\n");
}

TEST(EndToEnd, LoggerStoppedByAFileSizeLimitKeepsWholeLinesAndFailsAtTheEnd) {
  QTemporaryDir work;
  Write(work.filePath("kvnvb_DazEvo.set"), " 0 \r\n0\r\n");  // a record every tick
  const QString log = work.filePath("kvnvb_DazEvo.Log");
  constexpr rlim_t kLimit = 1500;
  Program p(KVN_EXECUTABLE, work.path(), {"/L"}, [] {
    struct rlimit limit {kLimit, kLimit};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  });
  ASSERT_TRUE(p.waitForError("could not be written")) << p.errors().constData();
  ASSERT_EQ(p.process().state(), QProcess::Running) << "it keeps scanning without a log";
  p.process().terminate();
  ASSERT_TRUE(p.finish());
  EXPECT_EQ(p.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.process().exitCode(), 2);
  const QList<QByteArray> errors = p.errors().trimmed().split('\n');
  EXPECT_TRUE(errors.last().contains("status 2")) << p.errors().constData();

  const QByteArray bytes = ReadAll(log);
  EXPECT_LE(bytes.size(), static_cast<qsizetype>(kLimit));
  EXPECT_TRUE(bytes.endsWith("\r\n")) << "no torn last line";
  EXPECT_GT(bytes.count(" > "), 3);
}

TEST(EndToEnd, CutDriverLibraryIsToldLikeAMissingOne) {
  QTemporaryDir work;
  QTemporaryDir bin;
  ASSERT_TRUE(QFile::copy(KVN_EXECUTABLE, bin.filePath("kvnvb_DazEvo")));
  const QString library = QFileInfo(KVN_EXECUTABLE).dir().filePath("libkvnapp_DazEvo.so");
  const QString cut = bin.filePath("libkvnapp_DazEvo.so");
  ASSERT_TRUE(QFile::copy(library, cut));
  QFile file(cut);
  ASSERT_TRUE(file.resize(file.size() / 2));
  Program p(bin.filePath("kvnvb_DazEvo"), work.path(), {"/L"});
  ASSERT_TRUE(p.finish());
  EXPECT_EQ(p.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.process().exitCode(), 1);
  EXPECT_TRUE(p.errors().contains("libkvnapp_DazEvo.so could not be loaded (the file is cut short"))
      << p.errors().constData();
  EXPECT_TRUE(p.errors().contains("Program did not properly start, exiting..."));
  EXPECT_EQ(ReadAll(work.filePath("kvnvb_DazEvo.set")), " 0 \r\n10\r\n");
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

// The first shown window whose title holds the text, waited for; empty on
// timeout.
QString WaitForWindow(const kvn::test::VirtualDisplay& display, const QString& title, int ms) {
  QElapsedTimer t;
  t.start();
  do {
    const auto ids = display.xdotool({"search", "--onlyvisible", "--name", title});
    if (ids && !ids->trimmed().isEmpty()) return QString::fromLatin1(ids->split('\n').first());
    QThread::msleep(100);
  } while (t.elapsed() < ms);
  return {};
}

TEST(EndToEnd, SimulatedBoardWithTheChartOpenQuitsOnSigterm) {
  if (!kvn::test::VirtualDisplay::Available()) GTEST_SKIP() << "needs Xvfb and xdotool";
  kvn::test::VirtualDisplay display(160);
  ASSERT_FALSE(display.name().isEmpty()) << "no free display for Xvfb";

  QTemporaryDir work;
  const QString state = work.filePath("kvnvb_DazEvo.set");
  Write(state, " 0 \r\n10\r\n");
  {
    // Dated in the past, to tell the file written back at the end.
    QFile f(state);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime(QDate(2001, 1, 1), QTime(0, 0)),
                              QFileDevice::FileModificationTime));
  }
  QProcessEnvironment env;
  env.insert("QT_QPA_PLATFORM", "xcb");
  env.insert("DISPLAY", display.name());
  Program p(KVN_EXECUTABLE, work.path(), {"/L"}, {}, env);

  const QString panel = WaitForWindow(display, "korvan", 60000);
  ASSERT_FALSE(panel.isEmpty()) << p.process().readAllStandardError().constData();
  // The Graph box, from the form's layout: the client area is 571 x 185 below
  // the menu bar; the Analog Information frame (anaFrame) lies at (144, 8) in
  // it and the box (Graph_chk) at (16, 144) in the frame, 17 high, its tick
  // square at the left.
  QMap<QString, int> geometry;
  const QByteArray shell =
      display.xdotool({"getwindowgeometry", "--shell", panel}).value_or("");
  for (const QByteArray& line : shell.split('\n')) {
    const QList<QByteArray> pair = line.split('=');
    if (pair.size() == 2) geometry[QString::fromLatin1(pair[0])] = pair[1].toInt();
  }
  ASSERT_GT(geometry.value("WIDTH"), 0) << shell.constData();
  const double scale = geometry.value("WIDTH") / 571.0;  // 1 unless QT_SCALE_FACTOR is set
  const double menuBar = geometry.value("HEIGHT") - 185 * scale;
  ASSERT_GT(menuBar, 0) << shell.constData();
  const int x = qRound((144 + 16 + 6) * scale), y = qRound(menuBar + (8 + 144 + 8) * scale);
  ASSERT_TRUE(display.xdotool({"mousemove", "--window", panel, QString::number(x),
                                                QString::number(y), "click", "1"}));
  ASSERT_FALSE(WaitForWindow(display, "StripChart", 20000).isEmpty())
      << "the Graph box opens the chart; clicked at " << x << "," << y << " in "
      << shell.constData();

  ASSERT_FALSE(p.finish(1000)) << "runs on with the chart drawing: " << p.errors().constData();
  p.process().terminate();
  ASSERT_TRUE(p.finish());
  EXPECT_EQ(p.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.process().exitCode(), 0) << p.errors().constData();
  const QString log = QString::fromLocal8Bit(ReadAll(work.filePath("kvnvb_DazEvo.Log")));
  EXPECT_TRUE(QRegularExpression(R"(# Log Closed by Program Exit\r\nLog Closed on \d\d-\d\d-\d{4} )"
                                 R"(at \d\d:\d\d:\d\d\r\n\z)")
                  .match(log)
                  .hasMatch())
      << log.toStdString();
  EXPECT_EQ(ReadAll(state), " 0 \r\n10\r\n");
  EXPECT_GT(QFileInfo(state).lastModified().date().year(), 2001) << "written back";
}

}  // namespace
