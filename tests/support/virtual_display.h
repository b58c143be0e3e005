// An X server of the test's own (Xvfb) and xdotool to press keys and click
// in it, for the tests that need a real display.
#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <optional>

namespace kvn::test {

// Xvfb on the first free display from `first`, with a screen of the given
// size ("WxH"), stopped when this goes.
class VirtualDisplay {
 public:
  explicit VirtualDisplay(int first, const QString& screen = QStringLiteral("1280x1024")) {
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    if (xvfb.isEmpty()) return;
    server_.setStandardErrorFile(QProcess::nullDevice());
    for (int n = first; n < first + 40 && name_.isEmpty(); ++n) {
      if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) ||
          QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
        continue;
      // The server writes its display number on standard output once it
      // takes connections (its socket is there well before), and ends at
      // once when another server has taken the display.
      server_.start(xvfb, {QStringLiteral(":%1").arg(n), "-displayfd", "1", "-nolisten", "tcp",
                           "-screen", "0", screen + "x24"});
      QByteArray told;
      QElapsedTimer t;
      t.start();
      while (!told.contains('\n') && server_.state() != QProcess::NotRunning &&
             t.elapsed() < 10000) {
        server_.waitForReadyRead(100);
        told += server_.readAllStandardOutput();
      }
      if (told.trimmed() == QByteArray::number(n))
        name_ = QStringLiteral(":%1").arg(n);
      else
        stop();
    }
  }
  ~VirtualDisplay() { stop(); }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // Empty when no server could be started.
  const QString& name() const { return name_; }

  // True when Xvfb and xdotool are both installed.
  static bool Available() {
    return !QStandardPaths::findExecutable("Xvfb").isEmpty() &&
           !QStandardPaths::findExecutable("xdotool").isEmpty();
  }

  // Runs xdotool on this display: its standard output, or nothing when it
  // failed.
  std::optional<QByteArray> xdotool(const QStringList& args) const {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", name_);
    p.setProcessEnvironment(env);
    p.start(QStandardPaths::findExecutable("xdotool"), args);
    if (!p.waitForFinished(10000)) {
      p.kill();
      p.waitForFinished(5000);
      return std::nullopt;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return std::nullopt;
    return p.readAllStandardOutput();
  }

 private:
  void stop() {
    if (server_.state() == QProcess::NotRunning) return;
    server_.terminate();
    if (!server_.waitForFinished(5000)) {
      server_.kill();
      server_.waitForFinished(5000);
    }
  }

  QProcess server_;
  QString name_;
};

}  // namespace kvn::test
