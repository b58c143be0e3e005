#include "widgets/wheel_guard.h"

#include <QComboBox>
#include <QEvent>
#include <QWidget>

namespace kvn {

namespace {

class WheelGuard final : public QObject {
 public:
  using QObject::QObject;

  bool eventFilter(QObject* watched, QEvent* event) override {
    // The open list's own view takes the wheel there; what reaches the combo
    // box itself is a scroll over the closed list.
    if (event->type() == QEvent::Wheel && qobject_cast<QComboBox*>(watched) != nullptr) {
      event->ignore();
      return true;
    }
    return false;
  }
};

}  // namespace

void GuardListsFromWheel(QWidget& window) {
  auto* guard = new WheelGuard(&window);
  for (QComboBox* list : window.findChildren<QComboBox*>()) {
    // Without wheel focus the scroll does not take the focus either.
    list->setFocusPolicy(Qt::StrongFocus);
    list->installEventFilter(guard);
  }
}

}  // namespace kvn
