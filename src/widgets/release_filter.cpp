#include "widgets/release_filter.h"

#include <QMouseEvent>
#include <QWidget>
#include <utility>

namespace kvn {

ReleaseFilter::ReleaseFilter(QObject* parent, Handler handler)
    : QObject(parent), handler_(std::move(handler)) {}

bool ReleaseFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::MouseButtonRelease || !watched->isWidgetType()) return false;
  const auto* mouse = static_cast<QMouseEvent*>(event);
  if (mouse->button() != Qt::LeftButton) return false;
  return handler_(static_cast<QWidget*>(watched), mouse->position().toPoint());
}

}  // namespace kvn
