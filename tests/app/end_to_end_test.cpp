// The real executable on the offscreen platform: with the simulated board
// beside it, and with no driver library at all.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
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
