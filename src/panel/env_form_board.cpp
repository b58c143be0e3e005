// Handlers of the hand-operated board functions of the main panel:
// temperature and set points, analog inputs and their formats, thermostats,
// fan and relays, registers and LED, and the Help and About commands.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <functional>
#include <utility>

#include "common/num_forms.h"
#include "panel/board_logic.h"
#include "panel/env_form.h"
#include "shared/qt_text.h"
#include "ui_envForm.h"

namespace kvn {

namespace {

// Turns a left-button release on a watched widget into a call; the call says
// whether it took the click (which then goes no further).
class ReleaseFilter final : public QObject {
 public:
  using Handler = std::function<bool(QWidget* watched, QPoint pos)>;
  ReleaseFilter(QObject* parent, Handler handler)
      : QObject(parent), handler_(std::move(handler)) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::MouseButtonRelease || !watched->isWidgetType()) return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton) return false;
    return handler_(static_cast<QWidget*>(watched), mouse->position().toPoint());
  }

 private:
  Handler handler_;
};

// What the user is told about a set point that cannot be written.
std::string SetPointProblem(const char* field, SetPoint::Status status) {
  switch (status) {
    case SetPoint::Status::kNotANumber:
      return std::string(field) + " is not a number.";
    case SetPoint::Status::kOutOfRange:
      return std::string(field) + " is out of range.";
    case SetPoint::Status::kOk:
      break;
  }
  return {};
}

// Thermostat disables and relays: read the board's setting back, change the
// one bit, write the whole setting. The other bit stays as the board has it.
void SetThermostatDisable(BoardDriver& driver, bool ticked, OutputBit output) {
  const std::int32_t current = driver.envSetEnables(-1);
  driver.envSetEnables(NewOutputValue(current, ticked, output));
}

void SetRelay(BoardDriver& driver, bool ticked, OutputBit output) {
  const std::int32_t current = RelaysFromReadBack(driver.envSetDig(-1));
  driver.envSetDig(NewOutputValue(current, ticked, output));
}

}  // namespace

void EnvForm::connectBoardHandlers() {
  Ui::envForm& ui = *ui_;

  // Temperature Information.
  connect(ui.tmpRead, &QPushButton::clicked, this, [this] { TemperatureRead(); });
  connect(ui.tmpSet, &QPushButton::clicked, this, [this] { onTemperatureSet(); });

  // Analog Information and Analog Format. A click on a value label edits its
  // channel's format; a click on the frame itself (not on anything inside
  // it) edits channel 0. A disabled label takes no clicks.
  connect(ui.anaRead, &QPushButton::clicked, this, [this] { AnalogRead(); });
  connect(ui.anaStart, &QLineEdit::textChanged, this, [this] { refreshAnalogRange(); });
  connect(ui.anaEnd, &QLineEdit::textChanged, this, [this] { refreshAnalogRange(); });
  connect(ui.anaTypeList, &QComboBox::activated, this, &EnvForm::onAnalogFormatChosen);
  for (int n = 0; n < kAnalogChannels; ++n) {
    QLabel* label = analogValueLabel(n);
    label->installEventFilter(new ReleaseFilter(label, [this, n](QWidget* w, QPoint pos) {
      if (!w->isEnabled() || !w->rect().contains(pos)) return false;
      editAnalogFormat(n);
      return true;
    }));
  }
  ui.anaFrame->installEventFilter(new ReleaseFilter(ui.anaFrame, [this](QWidget* w, QPoint pos) {
    if (!w->rect().contains(pos) || w->childAt(pos) != nullptr) return false;
    editAnalogFormat(0);
    return true;
  }));

  // Board Function. A check box's click arrives after its value changed.
  BoardDriver& driver = ctx_.driver;
  connect(ui.envDisableHighThermo, &QCheckBox::clicked, this,
          [&driver](bool ticked) { SetThermostatDisable(driver, ticked, kHighThermostatOff); });
  connect(ui.envDisableLowThermo, &QCheckBox::clicked, this,
          [&driver](bool ticked) { SetThermostatDisable(driver, ticked, kLowThermostatOff); });
  connect(ui.envRelay0, &QCheckBox::clicked, this,
          [&driver](bool ticked) { SetRelay(driver, ticked, kRelay0); });
  connect(ui.envRelay1, &QCheckBox::clicked, this,
          [&driver](bool ticked) { SetRelay(driver, ticked, kRelay1); });
  connect(ui.envForceFan, &QCheckBox::clicked, this,
          [&driver](bool ticked) { driver.dazEvo(ticked ? 1 : 0); });

  // PC/104 Interface: registers and LED.
  connect(ui.brdRead, &QPushButton::clicked, this, [this] { onRegisterRead(); });
  connect(ui.brdWrite, &QPushButton::clicked, this, [this] { onRegisterWrite(); });
  connect(ui.brdLEDOn, &QPushButton::clicked, this, [&driver] { driver.vbapp_LedOn(); });
  connect(ui.brdLEDOff, &QPushButton::clicked, this, [&driver] { driver.vbapp_LedOff(); });

  // Help and About. About, Products has nothing to show.
  Dialogs& dialogs = ctx_.dialogs;
  connect(ui.brdQuickStart, &QAction::triggered, this,
          [&dialogs] { dialogs.messageBox(QuickStartText()); });
  connect(ui.brdDLLTest, &QAction::triggered, this, [&driver, &dialogs] {
    dialogs.messageBox(DllTestText(driver.vbapp_Test(kDllTestValue)));
  });
  connect(ui.brdDLLVersion, &QAction::triggered, this, [&driver, &dialogs] {
    dialogs.messageBox(DllVersionText(driver.vbapp_Version()));
  });
  connect(ui.brdContact, &QAction::triggered, this,
          [&dialogs] { dialogs.messageBox(ContactText(), kContactTitle); });

  refreshAnalogRange();
}

// ---- Temperature ----------------------------------------------------------

void EnvForm::TemperatureRead() {
  ProgramValues& v = ctx_.values;
  v.TempSensorNum = SensorNumber(S(ui_->tmpSensor->currentText()));
  ctx_.driver.envReadTemp(v.TempCurrent, v.TempHighSet, v.TempLowSet, v.TempFourth,
                          v.TempSensorNum);
  v.TempCurrent = SignCorrect(v.TempCurrent);
  ui_->tmpCurrent->setText(Q(HalfDegreesText(v.TempCurrent)));
  v.TempHighSet = SignCorrect(v.TempHighSet);
  ui_->tmpHigh->setText(Q(HalfDegreesText(v.TempHighSet)));
  v.TempLowSet = SignCorrect(v.TempLowSet);
  ui_->tmpLow->setText(Q(HalfDegreesText(v.TempLowSet)));
}

void EnvForm::onTemperatureSet() {
  const SetPoint high = ParseSetPoint(S(ui_->tmpHigh->text()));
  const SetPoint low = ParseSetPoint(S(ui_->tmpLow->text()));
  if (high.status != SetPoint::Status::kOk || low.status != SetPoint::Status::kOk) {
    // Nothing valid can be sent: say which field is wrong, write nothing and
    // leave the shared values as they were.
    std::string text;
    for (const std::string& problem : {SetPointProblem("High Temp", high.status),
                                       SetPointProblem("Low Temp", low.status)}) {
      if (!problem.empty()) text += problem + "\r\n";
    }
    text += "The set points were not written. Type each in degrees, for instance 30 or 25.5.";
    ctx_.dialogs.messageBox(text);
    return;
  }
  ProgramValues& v = ctx_.values;
  v.TempHighSet = high.halfDegrees;
  v.TempLowSet = low.halfDegrees;
  v.TempSensorNum = SensorNumber(S(ui_->tmpSensor->currentText()));
  ctx_.driver.envWriteTemp(v.TempHighSet, v.TempLowSet, v.TempSensorNum);
}

// ---- Analog inputs --------------------------------------------------------

// The value label of channel 0..8.
QLabel* EnvForm::analogValueLabel(int channel) const {
  using Ui::envForm;
  static constexpr QLabel* envForm::*kLabels[kAnalogChannels] = {
      &envForm::anaValue_0, &envForm::anaValue_1, &envForm::anaValue_2,
      &envForm::anaValue_3, &envForm::anaValue_4, &envForm::anaValue_5,
      &envForm::anaValue_6, &envForm::anaValue_7, &envForm::anaValue_8};
  return ui_.get()->*kLabels[channel];
}

void EnvForm::refreshAnalogRange() {
  // The same rule as the read, so the labels enabled are the channels read.
  const double start = NumValue(S(ui_->anaStart->text()));
  const double end = NumValue(S(ui_->anaEnd->text()));
  for (int n = 0; n < kAnalogChannels; ++n) {
    analogValueLabel(n)->setEnabled(ChannelInRange(n, start, end));
  }
}

void EnvForm::AnalogRead() {
  const double start = NumValue(S(ui_->anaStart->text()));
  const double end = NumValue(S(ui_->anaEnd->text()));
  for (const int n : ChannelsInRange(start, end)) {
    const auto format = ctx_.values.anaFormat[static_cast<std::size_t>(n)];
    const std::int32_t reading = ctx_.driver.envReadAna(AnalogChannelCode(format, n));
    analogValueLabel(n)->setText(Q(NumText(reading)));
  }
}

void EnvForm::editAnalogFormat(int channel) {
  ui_->anaFrame->hide();
  ui_->anaTypeFrame->show();
  anaEditChan_ = channel;
  ui_->anaChanLabel->setText(Q(ChannelCaption(channel)));
  // Selecting from the program stores the same format back, as a choice by
  // the user would; harmless, since the channel was set first.
  ui_->anaTypeList->setCurrentIndex(ctx_.values.anaFormat[static_cast<std::size_t>(channel)]);
  onAnalogFormatChosen(ui_->anaTypeList->currentIndex());
}

void EnvForm::onAnalogFormatChosen(int index) {
  if (index < 0 || index >= kAnalogFormats) return;
  if (anaEditChan_ < 0 || anaEditChan_ >= kAnalogChannels) return;
  ctx_.values.anaFormat[static_cast<std::size_t>(anaEditChan_)] = index;
}

// ---- Registers ------------------------------------------------------------

std::int32_t EnvForm::registerOffset() const {
  // "+7" gives 7; with nothing selected the text is empty and the offset 0.
  return ToInt32(NumValue(S(ui_->brdOffset->currentText())));
}

void EnvForm::onRegisterRead() {
  const std::int32_t value = ctx_.driver.vbapp_Read(registerOffset());
  ui_->brdValue->setText(Q("&H" + HexText(value)));
}

void EnvForm::onRegisterWrite() {
  const std::int32_t offset = registerOffset();
  const double value = NumValue(S(ui_->brdValue->text()));
  if (!FitsInt32(value)) {
    ctx_.dialogs.messageBox(
        "Data is out of range: a register takes -2147483648 to 2147483647 "
        "(&H0 to &HFFFFFFFF). Nothing was written.");
    return;
  }
  ctx_.driver.vbapp_Write(offset, ToInt32(value));
}

}  // namespace kvn
