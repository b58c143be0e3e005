#include "app/chart_host.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "app/lifecycle.h"
#include "chart/strip_chart_window.h"
#include "panel/env_form.h"

namespace kvn {

namespace {

constexpr int kGapPx = 8;

// Where a window of the given frame size goes beside the anchor's frame, on
// the available part of a screen: to the right when it fits there, else below,
// else where it stays whole on the screen, as close to the right of the anchor
// as it can (over the anchor if it must).
QPoint PlaceBeside(QRect anchor, QSize window, QRect room) {
  const auto fits = [&](QPoint at) { return room.contains(QRect(at, window)); };
  const QPoint right(anchor.right() + 1 + kGapPx, anchor.top());
  if (fits(right)) return right;
  const QPoint below(anchor.left(), anchor.bottom() + 1 + kGapPx);
  if (fits(below)) return below;
  // A window larger than the room keeps its top-left corner in view.
  const int x = std::max(room.left(), std::min(right.x(), room.right() + 1 - window.width()));
  const int y = std::max(room.top(), std::min(right.y(), room.bottom() + 1 - window.height()));
  return {x, y};
}

// Moves the window beside the anchor, on the anchor's screen. The window is
// not shown yet, so its frame is taken to be as wide as the anchor's.
void PlaceBeside(QWidget& window, const QWidget& anchor) {
  const QRect at = anchor.frameGeometry();
  const QSize frame = window.size() + (at.size() - anchor.size());
  const QScreen* screen = anchor.screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  window.move(PlaceBeside(at, frame, screen->availableGeometry()));
}

}  // namespace

ChartHost::ChartHost(ChartContext context, EnvForm& form, Lifecycle& lifecycle)
    : ctx_(context), form_(form) {
  connect(&form, &EnvForm::chartRequested, this, &ChartHost::open);
  connect(&lifecycle, &Lifecycle::closing, this, &ChartHost::closeAll);
}

ChartHost::~ChartHost() {
  delete settings_.data();
  delete window_.data();
}

void ChartHost::open() {
  if (!window_) {
    window_ = new StripChartWindow(ctx_);
    window_->setAttribute(Qt::WA_DeleteOnClose);
    PlaceBeside(*window_, form_);
    connect(window_, &StripChartWindow::settingsRequested, this, &ChartHost::openSettings);
    window_->load();
  }
  window_->show();
  window_->raise();
  window_->activateWindow();
}

void ChartHost::openSettings() {
  if (!settings_) {
    // Not a child of the chart: the dialog stays open when the chart closes.
    settings_ = new SettingsDialog(ctx_.chart.chanTable, ctx_.chart.editChan, ctx_.dialogs);
    settings_->setAttribute(Qt::WA_DeleteOnClose);
    // Beside the chart, whose preview it shows.
    if (window_) PlaceBeside(*settings_, *window_);
  }
  settings_->show();
  settings_->raise();
  settings_->activateWindow();
}

void ChartHost::closeAll() {
  if (settings_) settings_->close();
  if (window_) window_->close();
}

}  // namespace kvn
