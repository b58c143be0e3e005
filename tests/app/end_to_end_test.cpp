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
#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <optional>

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <unistd.h>

#include "support/program.h"
#include "support/virtual_display.h"

namespace {

using kvn::test::Program;
using kvn::test::ReadAll;
using kvn::test::WaitForRecords;
using kvn::test::Write;

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

// The log of the scripted board, whose readings follow its calls and not the
// time, with its dates, times and path masked: the same bytes as the
// recorded log that the Windows build's log is held to as well.
QByteArray MaskedLog(const QByteArray& log, int lines) {
  QByteArray masked;
  const QRegularExpression date(R"(\d\d-\d\d-\d{4})"), time(R"(\d\d:\d\d:\d\d)");
  for (const QByteArray& line : log.split('\n').mid(0, lines)) {
    QString text = QString::fromLatin1(line);
    text.replace(date, "<date>").replace(time, "<time>");
    if (text.startsWith("Log File: ")) text = "Log File: <path>\r";
    masked += text.toLatin1() + '\n';
  }
  return masked;
}

TEST(EndToEnd, ScriptedBoardLogsTheRecordedBytes) {
  QTemporaryDir work;
  ASSERT_TRUE(QFile::copy(KVN_EXECUTABLE, work.filePath("kvnvb_DazEvo")));
  ASSERT_TRUE(QFile::copy(KVN_SCRIPTED_BOARD, work.filePath("libkvnapp_DazEvo.so")));
  Write(work.filePath("kvnvb_DazEvo.set"), " 0 \r\n0\r\n");  // a record every tick
  const QString log = work.filePath("kvnvb_DazEvo.Log");
  Program p(work.filePath("kvnvb_DazEvo"), work.path(), {"/L"});
  ASSERT_TRUE(WaitForRecords(log, 8));
  p.process().terminate();
  ASSERT_TRUE(p.finish());
  const QByteArray recorded = ReadAll(KVN_SCRIPTED_LOG);
  ASSERT_EQ(recorded.count("\r\n"), 11);
  EXPECT_EQ(MaskedLog(ReadAll(log), 11), recorded);
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

TEST(EndToEnd, HelpPrintsTheOptionsWithoutADisplayAndTouchesNothing) {
  QTemporaryDir work;
  // No display, and a platform that would need one: the usage text is
  // printed before Qt starts.
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) env.remove(name);
  env.insert("QT_QPA_PLATFORM", "xcb");
  for (const QStringList& args : {QStringList{"--help"}, QStringList{"/L", "/?"}}) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(work.path());
    p.start(KVN_EXECUTABLE, args);
    ASSERT_TRUE(p.waitForFinished(30000)) << args.join(' ').toStdString();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    const QByteArray out = p.readAllStandardOutput();
    EXPECT_TRUE(out.startsWith("Usage: kvnvb_DazEvo [/L] [/M[=ADDRESS:PORT]] [/Q[=URL]]\n")) << out.constData();
    EXPECT_TRUE(out.contains("\n  /?, -h, --help ")) << out.constData();
    EXPECT_EQ(p.readAllStandardError(), QByteArray());
  }
  // Neither the state file nor a log: the board was never opened.
  EXPECT_TRUE(QDir(work.path()).isEmpty());
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

// A window's size on the display, from xdotool.
QMap<QString, int> WindowGeometry(const kvn::test::VirtualDisplay& display, const QString& window) {
  QMap<QString, int> geometry;
  const QByteArray shell =
      display.xdotool({"getwindowgeometry", "--shell", window}).value_or("");
  for (const QByteArray& line : shell.split('\n')) {
    const QList<QByteArray> pair = line.split('=');
    if (pair.size() == 2) geometry[QString::fromLatin1(pair[0])] = pair[1].toInt();
  }
  return geometry;
}

// The program on the display, its chart opened with the Graph box.
class ChartOnDisplay {
 public:
  ChartOnDisplay(const kvn::test::VirtualDisplay& display, const QString& executable,
                 const QString& workDir, std::function<void()> childSetUp = {},
                 const QProcessEnvironment& environment = {})
      : display_(display),
        program_(executable, workDir, {"/L"}, std::move(childSetUp),
                 Environment(display, environment)) {}

  static QProcessEnvironment Environment(const kvn::test::VirtualDisplay& display,
                                         const QProcessEnvironment& more = {}) {
    QProcessEnvironment env = more;
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", display.name());
    return env;
  }

  // Clicks the Graph box and waits for the chart; its window, or an empty
  // text with the reason in `why`.
  QString openChart(std::string& why) {
    const QString panel = WaitForWindow(display_, "korvan", 60000);
    if (panel.isEmpty()) {
      why = "no panel: " + program_.process().readAllStandardError().toStdString();
      return {};
    }
    // The Graph box, from the form's layout: the client area is 571 x 185
    // below the menu bar; the Analog Information frame (anaFrame) lies at
    // (144, 8) in it and the box (Graph_chk) at (16, 144) in the frame, 17
    // high, its tick square at the left.
    const QMap<QString, int> geometry = WindowGeometry(display_, panel);
    scale_ = geometry.value("WIDTH") / 571.0;  // 1 unless QT_SCALE_FACTOR is set
    const double menuBar = geometry.value("HEIGHT") - 185 * scale_;
    if (geometry.value("WIDTH") <= 0 || menuBar <= 0) {
      why = "no geometry of the panel";
      return {};
    }
    click(panel, 144 + 16 + 6, menuBar / scale_ + 8 + 144 + 8);
    const QString chart = WaitForWindow(display_, "StripChart", 20000);
    if (chart.isEmpty()) why = "the Graph box opens the chart";
    return chart;
  }

  // A click at (x, y) of the window's layout.
  bool click(const QString& window, double x, double y) {
    return display_.xdotool({"mousemove", "--window", window, QString::number(qRound(x * scale_)),
                             QString::number(qRound(y * scale_)), "click", "1"})
        .has_value();
  }

  Program& program() { return program_; }

 private:
  const kvn::test::VirtualDisplay& display_;
  Program program_;
  double scale_ = 1;
};

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
  ChartOnDisplay run(display, KVN_EXECUTABLE, work.path());
  Program& p = run.program();
  std::string why;
  ASSERT_FALSE(run.openChart(why).isEmpty()) << why;

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

// Waits until the file exists and holds at least minBytes.
QByteArray WaitForFile(const QString& path, qsizetype minBytes) {
  QElapsedTimer t;
  t.start();
  QByteArray bytes = ReadAll(path);
  while (bytes.size() < minBytes && t.elapsed() < 20000) {
    QThread::msleep(100);
    bytes = ReadAll(path);
  }
  return bytes;
}

// The executable and the simulated board, copied into a folder of the test's
// own: the chart's files go beside them.
void CopyProgramInto(const QTemporaryDir& bin) {
  ASSERT_TRUE(QFile::copy(KVN_EXECUTABLE, bin.filePath("kvnvb_DazEvo")));
  ASSERT_TRUE(QFile::copy(QFileInfo(KVN_EXECUTABLE).dir().filePath("libkvnapp_DazEvo.so"),
                          bin.filePath("libkvnapp_DazEvo.so")));
}

// The chart's Settings button, the dialog's Apply, the chart's settings Save
// and its data Save, as a user clicks them; then both files beside the
// executable are read.
TEST(EndToEnd, ChartSettingsAppliedSavedAndDataExportedBesideTheExecutable) {
  if (!kvn::test::VirtualDisplay::Available()) GTEST_SKIP() << "needs Xvfb and xdotool";
  kvn::test::VirtualDisplay display(200);
  ASSERT_FALSE(display.name().isEmpty()) << "no free display for Xvfb";

  QTemporaryDir work;
  QTemporaryDir bin;  // the program's own folder, where both files go
  ASSERT_NO_FATAL_FAILURE(CopyProgramInto(bin));
  ChartOnDisplay run(display, bin.filePath("kvnvb_DazEvo"), work.path());
  std::string why;
  const QString chart = run.openChart(why);
  ASSERT_FALSE(chart.isEmpty()) << why;

  // In the chart's layout the Change Settings frame (Frame3) lies at
  // (440, 304), its Settings button at (8, 40) and its Save (setsave_cmd) at
  // (64, 40); the Pause/Store frame (Frame2) at (352, 304) holds the data
  // Save (Save_cmd) at (8, 40).
  ASSERT_TRUE(run.click(chart, 440 + 8 + 20, 304 + 40 + 10));
  const QString dialog = WaitForWindow(display, "^Settings$", 20000);
  ASSERT_FALSE(dialog.isEmpty()) << "the Settings button opens the dialog";
  // In the dialog: Title_txt at (56, 96), Apply_cmd at (64, 200).
  ASSERT_TRUE(run.click(dialog, 56 + 40, 96 + 9));
  ASSERT_TRUE(display.xdotool({"key", "--clearmodifiers", "ctrl+a"}));
  ASSERT_TRUE(display.xdotool({"type", "--delay", "20", "Room air"}));
  ASSERT_TRUE(run.click(dialog, 64 + 20, 200 + 10));
  ASSERT_TRUE(run.click(chart, 440 + 64 + 20, 304 + 40 + 10));
  ASSERT_TRUE(run.click(chart, 352 + 8 + 20, 304 + 40 + 8));

  const QByteArray settings = WaitForFile(bin.filePath("Settings.txt"), 1);
  const QByteArray exported = WaitForFile(bin.filePath("Ana1.txt"), 71 * 4);
  Program& p = run.program();
  p.process().terminate();
  ASSERT_TRUE(p.finish());
  EXPECT_EQ(p.process().exitCode(), 0) << p.errors().constData();

  EXPECT_TRUE(settings.startsWith("Ana1\r\n 0 \r\n 10 \r\n 0 \r\nRoom air\r\nVolts*5/256\r\nV\r\n"))
      << settings.constData();
  EXPECT_EQ(settings.count("\r\n"), 84);
  const QList<QByteArray> lines = exported.split('\n');
  ASSERT_EQ(lines.size(), 72) << exported.constData();
  EXPECT_TRUE(lines.last().isEmpty());
  const QRegularExpression fileForm(R"(^( |-)(\d*\.)?\d+ \r$)");
  for (qsizetype i = 0; i + 1 < lines.size(); ++i)
    EXPECT_TRUE(fileForm.match(QString::fromLatin1(lines[i])).hasMatch()) << lines[i].constData();
  EXPECT_FALSE(QFile::exists(work.filePath("Ana1.txt"))) << "beside the executable only";
  EXPECT_TRUE(ReadAll(work.filePath("kvnvb_DazEvo.Log")).contains("# Log Closed by Program Exit"));
}

// As for a user of the program installed under /opt: a program folder that
// the user cannot write. The chart reads and writes its files in the user's
// data folder instead.
TEST(EndToEnd, ChartFilesGoToTheUsersDataFolderWhenTheProgramFolderCannotBeWritten) {
  if (!kvn::test::VirtualDisplay::Available()) GTEST_SKIP() << "needs Xvfb and xdotool";
  kvn::test::VirtualDisplay display(240);
  ASSERT_FALSE(display.name().isEmpty()) << "no free display for Xvfb";

  QTemporaryDir work, bin, home;
  ASSERT_NO_FATAL_FAILURE(CopyProgramInto(bin));
  const QString data = home.filePath("kvnvb_DazEvo");
  ASSERT_TRUE(QDir().mkpath(data));
  // Record 0 only; the others keep their built-in settings.
  Write(data + "/Settings.txt", "Room\r\n 0 \r\n 10 \r\n 0 \r\nRoom air\r\nVolts\r\nV\r\n");

  const auto everybody = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                         QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
  ASSERT_TRUE(QFile::setPermissions(bin.path(), everybody));
  // The system's administrator can write anywhere: run as "nobody" then,
  // with the folders that user needs made its own.
  std::function<void()> asUser;
  if (geteuid() == 0) {
    constexpr uid_t kNobody = 65534;
    for (const QString& own : {work.path(), home.path(), data, data + "/Settings.txt"})
      ASSERT_EQ(chown(QFile::encodeName(own).constData(), kNobody, kNobody), 0);
    asUser = [] {
      if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(126);
    };
  }
  QProcessEnvironment env;
  env.insert("XDG_DATA_HOME", home.path());
  ChartOnDisplay run(display, bin.filePath("kvnvb_DazEvo"), work.path(), asUser, env);
  std::string why;
  const QString chart = run.openChart(why);
  ASSERT_FALSE(chart.isEmpty()) << why << run.program().errors().constData();
  // The settings Save, then the data Save (see the test above).
  ASSERT_TRUE(run.click(chart, 440 + 64 + 20, 304 + 40 + 10));
  ASSERT_TRUE(run.click(chart, 352 + 8 + 20, 304 + 40 + 8));

  const QByteArray exported = WaitForFile(data + "/Room.txt", 71 * 4);
  QElapsedTimer t;
  t.start();
  while (ReadAll(data + "/Settings.txt").count("\r\n") < 84 && t.elapsed() < 20000)
    QThread::msleep(50);
  Program& p = run.program();
  p.process().terminate();
  ASSERT_TRUE(p.finish());
  EXPECT_EQ(p.process().exitCode(), 0) << p.errors().constData();
  EXPECT_FALSE(p.errors().contains("kvnvb_DazEvo:")) << "no failure box: " << p.errors().constData();

  EXPECT_EQ(exported.count('\n'), 71) << "the export named by the user's settings";
  const QByteArray settings = ReadAll(data + "/Settings.txt");
  EXPECT_TRUE(settings.startsWith("Room\r\n 0 \r\n 10 \r\n 0 \r\nRoom air\r\n")) << settings.constData();
  EXPECT_EQ(settings.count("\r\n"), 84);
  EXPECT_EQ(QDir(bin.path()).entryList(QDir::Files | QDir::Hidden),
            QStringList({"kvnvb_DazEvo", "libkvnapp_DazEvo.so"}))
      << "nothing written in the program folder";
  ASSERT_TRUE(QFile::setPermissions(bin.path(), everybody | QFile::WriteOwner));
}

// At twice the size on a 1280 x 900 screen neither the chart nor its settings
// dialog fits beside or below the window it opens from: each still opens
// wholly on the screen.
TEST(EndToEnd, ChartAndSettingsOpenWhollyOnAScreenTooSmallForThemBeside) {
  if (!kvn::test::VirtualDisplay::Available()) GTEST_SKIP() << "needs Xvfb and xdotool";
  kvn::test::VirtualDisplay display(280, QStringLiteral("1280x900"));
  ASSERT_FALSE(display.name().isEmpty()) << "no free display for Xvfb";

  QTemporaryDir work, bin;
  ASSERT_NO_FATAL_FAILURE(CopyProgramInto(bin));
  QProcessEnvironment env;
  env.insert("QT_SCALE_FACTOR", "2");
  ChartOnDisplay run(display, bin.filePath("kvnvb_DazEvo"), work.path(), {}, env);
  std::string why;
  const QString chart = run.openChart(why);
  ASSERT_FALSE(chart.isEmpty()) << why;
  ASSERT_TRUE(run.click(chart, 440 + 8 + 20, 304 + 40 + 10));  // Settings (see above)
  const QString dialog = WaitForWindow(display, "^Settings$", 20000);
  ASSERT_FALSE(dialog.isEmpty()) << "the Settings button opens the dialog";

  const QRect screen(0, 0, 1280, 900);
  for (const QString& window : {chart, dialog}) {
    const QMap<QString, int> g = WindowGeometry(display, window);
    const QRect at(g.value("X"), g.value("Y"), g.value("WIDTH"), g.value("HEIGHT"));
    EXPECT_GT(at.width(), 500) << "drawn at twice the size";
    EXPECT_TRUE(screen.contains(at)) << window.toStdString() << " at " << at.x() << "," << at.y()
                                     << " " << at.width() << "x" << at.height();
  }
}

// The colour chooser blocks only the settings dialog that opened it: while it
// is open, the chart's Stop pauses the chart and its data Save still writes,
// the same samples each time.
TEST(EndToEnd, ColourChooserLeavesTheChartWorking) {
  if (!kvn::test::VirtualDisplay::Available()) GTEST_SKIP() << "needs Xvfb and xdotool";
  kvn::test::VirtualDisplay display(320);
  ASSERT_FALSE(display.name().isEmpty()) << "no free display for Xvfb";

  QTemporaryDir work, bin;
  ASSERT_NO_FATAL_FAILURE(CopyProgramInto(bin));
  ChartOnDisplay run(display, bin.filePath("kvnvb_DazEvo"), work.path());
  std::string why;
  const QString chart = run.openChart(why);
  ASSERT_FALSE(chart.isEmpty()) << why;
  ASSERT_TRUE(run.click(chart, 440 + 8 + 20, 304 + 40 + 10));  // Settings
  const QString dialog = WaitForWindow(display, "^Settings$", 20000);
  ASSERT_FALSE(dialog.isEmpty()) << "the Settings button opens the dialog";
  ASSERT_TRUE(run.click(dialog, 56 + 12, 160 + 8));  // "....", Color_cmd at (56, 160)
  const QString chooser = WaitForWindow(display, "^Color$", 20000);
  ASSERT_FALSE(chooser.isEmpty()) << "the colour button opens the chooser";
  // Out of the way of the chart's buttons.
  ASSERT_TRUE(display.xdotool({"windowmove", chooser, "0", "460"}));

  // Stop (Stop_cmd) at (8, 16) in the Pause/Store frame, Save (Save_cmd) at
  // (8, 40); the frame lies at (352, 304).
  const QString exported = bin.filePath("Ana1.txt");
  ASSERT_TRUE(run.click(chart, 352 + 8 + 20, 304 + 16 + 8));
  ASSERT_TRUE(run.click(chart, 352 + 8 + 20, 304 + 40 + 8));
  const QByteArray first = WaitForFile(exported, 71 * 4);
  ASSERT_EQ(first.count('\n'), 71) << "the chart's Save works while the chooser is open";
  ASSERT_TRUE(QFile::remove(exported));
  QThread::msleep(500);  // ten ticks of a running chart
  ASSERT_TRUE(run.click(chart, 352 + 8 + 20, 304 + 40 + 8));
  EXPECT_EQ(WaitForFile(exported, 71 * 4), first) << "Stop paused the chart";
  EXPECT_FALSE(WaitForWindow(display, "^Color$", 1000).isEmpty()) << "the chooser is still open";

  Program& p = run.program();
  p.process().terminate();
  ASSERT_TRUE(p.finish());
  EXPECT_EQ(p.process().exitCode(), 0) << p.errors().constData();
}

}  // namespace
