#include "app/chart_host.h"

#include <QScreen>
#include <QWidget>

#include "app/lifecycle.h"
#include "chart/strip_chart_window.h"
#include "panel/env_form.h"

namespace kvn {

namespace {

constexpr int kGapPx = 8;

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
    // Beside the main panel, or below it when the screen has no room there.
    const QRect panel = form_.frameGeometry();
    QPoint at(panel.right() + 1 + kGapPx, panel.top());
    if (const QScreen* screen = form_.screen()) {
      const QRect room = screen->availableGeometry();
      if (at.x() + window_->width() > room.right())
        at = QPoint(panel.left(), panel.bottom() + 1 + kGapPx);
    }
    window_->move(at);
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
    if (window_) {
      const QRect chart = window_->frameGeometry();
      settings_->move(chart.center() - settings_->rect().center());
    }
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
