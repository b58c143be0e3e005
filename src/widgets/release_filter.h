// A left-button click on a widget that has no clicked signal of its own.
#pragma once

#include <QObject>
#include <QPoint>
#include <functional>

class QWidget;

namespace kvn {

// Turns a left-button release on a watched widget into a call; the call says
// whether it took the click (which then goes no further).
class ReleaseFilter final : public QObject {
 public:
  using Handler = std::function<bool(QWidget* watched, QPoint pos)>;
  ReleaseFilter(QObject* parent, Handler handler);
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  Handler handler_;
};

}  // namespace kvn
