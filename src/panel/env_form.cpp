#include "panel/env_form.h"

#include <QMenuBar>
#include <QTimer>

#include "common/num_forms.h"
#include "driver/card_ranges.h"
#include "logging/log_record.h"
#include "panel/board_logic.h"
#include "shared/delay.h"
#include "shared/qt_text.h"
#include "ui_envForm.h"
#include "widgets/list_boxes.h"
#include "widgets/tick_timer.h"

namespace kvn {

EnvForm::EnvForm(PanelContext context, QWidget* parent)
    : QMainWindow(parent),
      ui_(std::make_unique<Ui::envForm>()),
      ctx_(context),
      scan_(context.driver, context.values, context.clock) {
  ui_->setupUi(this);
  SetUpLists(*this);
  setCaption(false);
  // The client area is 8565 x 2775 twips below the menu bar, at 15 a pixel.
  resize(571, 185 + menuBar()->sizeHint().height());

  // Lists start with nothing selected.
  for (QComboBox* list : {ui_->tmpSensor, ui_->brdOffset, ui_->anaTypeList, ui_->brdAddrList})
    list->setCurrentIndex(-1);
  for (std::size_t n = 0; n < anaValue_.size(); ++n)
    anaValue_[n] = findChild<QLabel*>(QStringLiteral("anaValue_%1").arg(n));

  // The PC/104 Interface frame is in view when the window opens; the Logging
  // menu brings the Logging frame.
  showLoggingFrame(false);
  ui_->anaTypeFrame->hide();

  // Ticks on time: the log's records are paced by them.
  brdTimer1_ = new TickTimer(this);
  brdTimer1_->setObjectName(QStringLiteral("brdTimer1"));
  connect(brdTimer1_, &TickTimer::timeout, this, &EnvForm::scanTick);
  scan_.addReadingsListener(
      [this](const Readings& readings, ReadGroups groups) { showReadings(readings, groups); });
  scan_.setRecordListener(
      [this](const LogResult& result) { showLog(result, LogState::kRecording); });

  connectHandlers();
  connectBoardHandlers();
}

EnvForm::~EnvForm() = default;

void EnvForm::connectHandlers() {
  connect(ui_->brdQuitKey, &QPushButton::clicked, this, &EnvForm::quitRequested);
  connect(ui_->brdQuit, &QAction::triggered, this, &EnvForm::quitRequested);
  connect(ui_->brdAddrList, &QComboBox::activated, this, &EnvForm::onAddressChange);
  connect(ui_->anaTypeReturn, &QPushButton::clicked, this, [this] { showAnalogInformation(); });
  // The Graph box works as a button: it never stays ticked, and each click
  // that ticked it brings up the strip chart.
  connect(ui_->Graph_chk, &QCheckBox::clicked, this, [this] {
    if (!ui_->Graph_chk->isChecked()) return;
    ui_->Graph_chk->setChecked(false);
    emit chartRequested();
  });

  // The scan's inputs follow their controls.
  connect(ui_->tmpSensor, &QComboBox::currentTextChanged, this,
          [this](const QString& text) { scan_.setSensor(SensorNumber(S(text))); });
  connect(ui_->brdContinuousScan, &QAction::toggled, this,
          [this](bool on) { scan_.setContinuousScan(on); });
  connect(ui_->logTime, &QLineEdit::textChanged, this,
          [this](const QString& text) { scan_.setLogPeriod(NumValue(S(text))); });
  scan_.setSensor(SensorNumber(S(ui_->tmpSensor->currentText())));
  scan_.setLogPeriod(NumValue(S(ui_->logTime->text())));
  connectLogging();
}

void EnvForm::setCaption(bool simulated) {
  QString caption = QString::fromLatin1(kMainCaption);
  if (simulated) caption += QString::fromLatin1(kSimulatedSuffix);
  setWindowTitle(caption);
}

void EnvForm::ReadRanges() {
  ctx_.driver.vbapp_CardRangesL(ctx_.values.cardRanges);
  const RangeTexts t = FormatRanges(ctx_.values.cardRanges);

  // The frame has four fields of each kind; further ranges still get their
  // entry in the bus address list.
  auto field = [this](const char* array, std::size_t n) {
    return findChild<QLineEdit*>(QString::fromLatin1(array) + QLatin1Char('_') +
                                 QString::number(n));
  };
  for (std::size_t n = 0; n < t.ioBase.size(); ++n) {
    if (auto* f = field("Base_IO", n)) f->setText(Q(t.ioBase[n]));
    ui_->brdAddrList->addItem(Q(t.ioBase[n]));
    if (auto* f = field("Extent_IO", n)) f->setText(Q(t.ioExtent[n]));
  }
  for (std::size_t n = 0; n < t.memBase.size(); ++n) {
    if (auto* f = field("Base_MEM", n)) f->setText(Q(t.memBase[n]));
    if (auto* f = field("Extent_Mem", n)) f->setText(Q(t.memExtent[n]));
  }
}

void EnvForm::selectAddressEntry(int index) {
  brdAddrSuppress_ = true;
  ui_->brdAddrList->setCurrentIndex(index >= 0 && index < ui_->brdAddrList->count() ? index
                                                                                     : -1);
  brdAddrSuppress_ = false;
}

void EnvForm::onAddressChange(int index) {
  if (brdAddrSuppress_) return;
  ctx_.driver.vbapp_Close();
  DelaySeconds(ctx_.clock, 0.25f);
  ctx_.values.brdStatus = ctx_.driver.vbapp_Open(index);
  ctx_.dialogs.messageBox("Address change, " + OpenStatusText(ctx_.values.brdStatus));
  ctx_.values.brdAddrIndex = index;
}

void EnvForm::showAnalogInformation() {
  ui_->anaTypeFrame->hide();
  ui_->anaFrame->show();
}

void EnvForm::setAnalogRange(const QString& start, const QString& end) {
  ui_->anaStart->setText(start);
  ui_->anaEnd->setText(end);
}

QString EnvForm::logTimeText() const { return ui_->logTime->text(); }
void EnvForm::setLogTimeText(const QString& text) { ui_->logTime->setText(text); }

void EnvForm::showLoggingFrame(bool show) {
  ui_->logFrame->setVisible(show);
  ui_->brdFrame->setVisible(!show);
}

void EnvForm::showReadings(const Readings& r, ReadGroups groups) {
  if (groups.status && r.status) {
    ui_->tmpAboveHigh->setChecked(r.status->aboveHigh());
    ui_->tmpBelowLow->setChecked(r.status->belowLow());
    ui_->envInput0->setChecked(r.status->input0());
    ui_->envInput1->setChecked(r.status->input1());
  }
  if (groups.temperature && r.temperature) {
    ui_->tmpCurrent->setText(Q(HalfDegreesText(r.temperature->current)));
    ui_->tmpHigh->setText(Q(HalfDegreesText(r.temperature->high)));
    ui_->tmpLow->setText(Q(HalfDegreesText(r.temperature->low)));
  }
  for (std::size_t n = 0; n < anaValue_.size(); ++n) {
    const auto& a = r.analog[n];
    if (a && groups.hasAnalog(static_cast<int>(n))) anaValue_[n]->setText(Q(NumText(a->value)));
  }
}

// ---- Logging --------------------------------------------------------------

void EnvForm::connectLogging() {
  // The log is made on first use: its folder is known once start-up has run.
  const auto log = [this]() -> LogWriter& { return scan_.log(); };
  connect(ui_->brdLogging, &QAction::triggered, this, [this] { loggingMenu(); });
  connect(ui_->logStop, &QPushButton::clicked, this, [this, log] {
    const LogState before = log().state();
    if (before != LogState::kClosed) return showLog(log().close(), before);
    showLog(log().start({}), before, true);
  });
  connect(ui_->logPause, &QPushButton::clicked, this, [this, log] {
    const LogState before = log().state();
    if (before == LogState::kPaused) showLog(log().resume(), before);
    if (before == LogState::kRecording) showLog(log().pause(), before);
  });
  connect(ui_->logFlush, &QPushButton::clicked, this, [this, log] {
    if (log().state() == LogState::kRecording) showLog(log().flush(), LogState::kRecording);
  });
  connect(ui_->logMsg, &QPushButton::clicked, this, [this, log] {
    const std::string answer = ctx_.dialogs.inputBox("User Message:", "Log Message from User");
    if (answer.empty()) return;
    const LogState before = log().state();
    if (before != LogState::kClosed) return showLog(log().message(answer), before);
    ctx_.dialogs.messageBox("No log is open, so the message was not written. Start a log first.");
  });
  connect(ui_->logClear, &QPushButton::clicked, this, [this, log] {
    const std::string answer = ctx_.dialogs.inputBox(
        "Type 'Clear Log' at entry to empty log and restart if previously enabled",
        "Verify Log Clear");
    const LogState before = log().state();
    if (answer == "Clear Log") showLog(log().clear(), before);
  });
  connect(ui_->logReturn, &QPushButton::clicked, this, [this] { showLoggingFrame(false); });
}

void EnvForm::showLog(const LogResult& result, LogState before, bool start) {
  ui_->logCounter->setText(Q(NumText(scan_.log().lines())));
  const LogState now = scan_.logState();
  if (start || now != before) {
    const bool open = now != LogState::kClosed;
    ui_->brdLogging->setChecked(open);
    ui_->logStop->setText(open ? QStringLiteral("Stop Log") : QStringLiteral("Start Log"));
  }
  if (result) ctx_.dialogs.messageBox(*result);
}

void EnvForm::loggingMenu() {
  if (scan_.logState() == LogState::kClosed) {
    showLog(scan_.log().start(kDataHeader), LogState::kClosed, true);
  } else {
    ui_->brdLogging->setChecked(true);  // the click took the mark off; it stays
  }
  showLoggingFrame(true);
}

void EnvForm::logNote(const std::string& text) {
  if (scan_.logState() == LogState::kRecording)
    showLog(scan_.log().message(text), LogState::kRecording);
}

void EnvForm::closeLogForExit() {
  const LogState before = scan_.logState();
  if (before == LogState::kClosed) return;
  const LogResult result = scan_.log().message("Log Closed by Program Exit");
  showLog(result, before);
  if (!result) showLog(scan_.log().close(), LogState::kRecording);
}

}  // namespace kvn
