#include "app/chart_host.h"

#include <QScreen>
#include <QWidget>

#include "app/lifecycle.h"
#include "chart/strip_chart_window.h"
#include "panel/env_form.h"

namespace kvn {

namespace {

constexpr int kGapPx = 8;

// Puts the window to the right of the anchor, or below it when the screen has
// no room there, so that the anchor stays in view.
void PlaceBeside(QWidget& window, const QWidget& anchor) {
  const QRect at = anchor.frameGeometry();
  QPoint to(at.right() + 1 + kGapPx, at.top());
  if (const QScreen* screen = anchor.screen()) {
    const QRect room = screen->availableGeometry();
    if (to.x() + window.width() > room.right()) to = QPoint(at.left(), at.bottom() + 1 + kGapPx);
  }
  window.move(to);
}

}  // namespace

ChartHost::ChartHost(ChartContext context, EnvForm& form, Lifecycle& lifecycle)
    : ctx_(context), form_(form) {
  connect(&form, &EnvForm::chartRequested, this, &ChartHost::open);
  connect(&lifecycle, &Lifecycle::closingWindows, this, &ChartHost::closeAll);
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
