// The real executable as a child process of a test: started on the
// offscreen platform in a folder of the test's, its standard error kept.
#pragma once

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QThread>
#include <functional>

namespace kvn::test {

inline QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void Write(const QString& path, const QByteArray& bytes) {
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

// Waits until the log holds n data records.
inline bool WaitForRecords(const QString& log, int n) {
  QElapsedTimer t;
  t.start();
  while (ReadAll(log).count(" > ") < n) {
    if (t.elapsed() > 60000) return false;
    QThread::msleep(50);
  }
  return true;
}

}  // namespace kvn::test
