// Turns SIGINT and SIGTERM (Ctrl+C, a service manager stopping a headless
// logger) into a Qt signal on the window thread.
#pragma once

#include <QObject>

namespace kvn {

class TerminationSignals : public QObject {
  Q_OBJECT

 public:
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;

 signals:
  void received();

 private:
  void drain();
};

}  // namespace kvn
