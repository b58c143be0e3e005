// The scan timer's tick, Continuous Scan, the Graph box, and the logging
// controls of the main panel.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "common/num_forms.h"
#include "logging/log_record.h"
#include "panel/env_form.h"
#include "shared/qt_text.h"
#include "ui_envForm.h"

namespace kvn {

namespace {

const char* const kDataHeader =
    "TempCurrent TempHighSet, TempLowSet, Analog0, Analog1, Analog2, Analog3";

// The tick counter is 16 bits wide: a longer period is taken as the longest
// it can count.
constexpr double kMaxLogPeriodTicks = 32767;

std::string Text(const QLineEdit* box) { return S(box->text()); }
std::string Text(const QLabel* label) { return S(label->text()); }

}  // namespace

void EnvForm::connectLoggingHandlers() {
  connect(ui_->Graph_chk, &QCheckBox::clicked, this, &EnvForm::onGraphClick);
  // Continuous Scan only toggles its check mark, which the tick reads.
  connect(ui_->brdLogging, &QAction::triggered, this,
          [this](bool checkedNow) { loggingMenu(!checkedNow); });
  connect(ui_->logStop, &QPushButton::clicked, this, &EnvForm::onLogStop);
  connect(ui_->logPause, &QPushButton::clicked, this, &EnvForm::onLogPause);
  connect(ui_->logFlush, &QPushButton::clicked, this, &EnvForm::onLogFlush);
  connect(ui_->logMsg, &QPushButton::clicked, this, &EnvForm::onLogMessage);
  connect(ui_->logClear, &QPushButton::clicked, this, &EnvForm::onLogClear);
  connect(ui_->logReturn, &QPushButton::clicked, this, [this] { showLoggingFrame(false); });
}

void EnvForm::scanTick() {
  const std::int32_t status = ctx_.driver.envReadDig();
  ui_->tmpAboveHigh->setChecked((status & 2) != 0);
  ui_->tmpBelowLow->setChecked((status & 1) != 0);
  // The inputs count inverted: on while their bit is clear.
  ui_->envInput0->setChecked((status & 16) == 0);
  ui_->envInput1->setChecked((status & 32) == 0);

  const bool logging = ui_->brdLogging->isChecked();
  if (!logging) {
    if (ui_->brdContinuousScan->isChecked()) {
      TemperatureRead();
      AnalogRead();
    }
    return;
  }

  TemperatureRead();
  AnalogRead();
  const double period = std::min(NumValue(Text(ui_->logTime)), kMaxLogPeriodTicks);
  if (period > logTick_) {
    ++logTick_;
    return;
  }
  logTick_ = 0;
  if (ctx_.values.logState != kLogRecording) return;

  std::string line;
  LogBuild(line, Text(ui_->tmpCurrent));
  LogBuild(line, Text(ui_->tmpHigh));
  LogBuild(line, Text(ui_->tmpLow));
  LogBuild(line, Text(ui_->anaValue_0));
  LogBuild(line, Text(ui_->anaValue_1));
  LogBuild(line, Text(ui_->anaValue_2));
  LogBuild(line, Text(ui_->anaValue_3));
  runLog(ctx_.values.logState, line);
}

void EnvForm::onGraphClick() {
  // The box works as a button: it never stays ticked, and each click that
  // ticked it brings up the strip chart.
  if (!ui_->Graph_chk->isChecked()) return;
  ui_->Graph_chk->setChecked(false);
  emit chartRequested();
}

LogWriter& EnvForm::logWriter() {
  if (!logWriter_) logWriter_ = std::make_unique<LogWriter>(ctx_.clock, ctx_.values.logFilePath());
  return *logWriter_;
}

bool EnvForm::runLog(std::int16_t& state, const std::string& text) {
  LogWriter& writer = logWriter();
  const bool wasOpen = writer.isOpen();
  const std::int16_t request = state;
  const bool ok = writer.LoggingFunction(state, text);
  ui_->logCounter->setText(Q(NumText(writer.lines())));
  if (!ok) {
    logFailed_ = true;
    // A log that this failure closed, or one that could not be started,
    // shows as closed; a failed Clear with no log open leaves the controls
    // as they were.
    if (!writer.isOpen() && (wasOpen || request == kLogStart)) showLogClosed();
    ctx_.dialogs.messageBox(writer.error());
  }
  return ok;
}

void EnvForm::showLogClosed() {
  ctx_.values.logState = kLogNone;
  ui_->brdLogging->setChecked(false);
  ui_->logStop->setText(QStringLiteral("Start Log"));
}

void EnvForm::startLoggingFromCommandLine() {
  ui_->brdLogging->setChecked(false);
  loggingMenu(false);
}

void EnvForm::loggingMenu(bool hadCheckMark) {
  if (hadCheckMark) {
    ui_->brdLogging->setChecked(true);  // the click toggled it; the mark stays
    showLoggingFrame(true);
    return;
  }
  bool on = true;
  if (ctx_.values.logState == kLogNone) {
    ctx_.values.logState = kLogStart;
    on = runLog(ctx_.values.logState, kDataHeader);
    if (on) ui_->logStop->setText(QStringLiteral("Stop Log"));
  }
  ui_->brdLogging->setChecked(on);
  showLoggingFrame(true);
}

void EnvForm::onLogStop() {
  if (ctx_.values.logState != kLogNone) {
    ctx_.values.logState = kLogClose;
    runLog(ctx_.values.logState, {});
    showLogClosed();
    return;
  }
  ctx_.values.logState = kLogStart;
  if (runLog(ctx_.values.logState, {})) {
    ui_->brdLogging->setChecked(true);
    ui_->logStop->setText(QStringLiteral("Stop Log"));
  }
}

void EnvForm::onLogPause() {
  std::int16_t& state = ctx_.values.logState;
  if (state == kLogPaused) {
    state = kLogResume;
    runLog(state, {});
  } else if (state > kLogNone && state != kLogPause) {
    state = kLogPause;
    runLog(state, {});
  }
}

void EnvForm::onLogFlush() {
  if (ctx_.values.logState != kLogRecording) return;
  ctx_.values.logState = kLogFlush;
  runLog(ctx_.values.logState, {});
}

void EnvForm::onLogMessage() {
  const std::string answer = ctx_.dialogs.inputBox("User Message:", "Log Message from User");
  if (answer.empty()) return;
  if (ctx_.values.logState == kLogNone) {
    ctx_.dialogs.messageBox("No log is open, so the message was not written. Start a log first.");
    return;
  }
  ctx_.values.logState = kLogMessage;
  runLog(ctx_.values.logState, answer);
}

void EnvForm::onLogClear() {
  const std::string answer = ctx_.dialogs.inputBox(
      "Type 'Clear Log' at entry to empty log and restart if previously enabled",
      "Verify Log Clear");
  if (answer != "Clear Log") return;
  std::int16_t request = kLogClear;  // the panel's own state is kept
  runLog(request, {});
}

void EnvForm::closeLogForExit() {
  if (ctx_.values.logState <= kLogNone) return;
  std::int16_t request = kLogMessage;  // copies: the panel's state is kept
  if (!runLog(request, "Log Closed by Program Exit")) return;
  request = kLogClose;
  runLog(request, {});
}

}  // namespace kvn
