// Handlers of the hand-operated board functions of the main panel:
// temperature and set points, analog inputs and their formats, thermostats,
// fan and relays, registers and LED, and the Help and About commands.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <optional>
#include <tuple>
#include <utility>

#include "common/num_forms.h"
#include "panel/board_logic.h"
#include "panel/env_form.h"
#include "shared/qt_text.h"
#include "ui_envForm.h"
#include "widgets/release_filter.h"

namespace kvn {

void EnvForm::connectBoardHandlers() {
  Ui::envForm& ui = *ui_;
  BoardDriver& driver = ctx_.driver;
  Dialogs& dialogs = ctx_.dialogs;

  // Temperature Information.
  connect(ui.tmpRead, &QPushButton::clicked, this, [this] { TemperatureRead(); });
  connect(ui.tmpSet, &QPushButton::clicked, this, [this] {
    if (auto refusal = WriteSetPoints(ctx_.driver, ctx_.values, S(ui_->tmpHigh->text()),
                                      S(ui_->tmpLow->text()), scan_.sensor()))
      ctx_.dialogs.messageBox(*refusal);
  });

  // Analog Information and Analog Format. A click on a value label edits its
  // channel's format; a click on the frame itself (not on anything inside
  // it) edits channel 0. A disabled label takes no clicks.
  connect(ui.anaRead, &QPushButton::clicked, this, [this] { AnalogRead(); });
  connect(ui.anaStart, &QLineEdit::textChanged, this, [this] { refreshAnalogRange(); });
  connect(ui.anaEnd, &QLineEdit::textChanged, this, [this] { refreshAnalogRange(); });
  connect(ui.anaTypeList, &QComboBox::activated, this, &EnvForm::onAnalogFormatChosen);
  for (int n = 0; n < kAnalogChannels; ++n) {
    QLabel* label = anaValue_[static_cast<std::size_t>(n)];
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
  // What each box wrote last is kept in the shared values.
  BoardOutputs& written = ctx_.values.outputs;
  const std::tuple<QCheckBox*, decltype(&SetRelay), OutputBit, std::optional<bool> BoardOutputs::*>
      outputs[] = {
          {ui.envDisableHighThermo, SetThermostatDisable, kHighThermostatOff,
           &BoardOutputs::highThermostatDisabled},
          {ui.envDisableLowThermo, SetThermostatDisable, kLowThermostatOff,
           &BoardOutputs::lowThermostatDisabled},
          {ui.envRelay0, SetRelay, kRelay0, &BoardOutputs::relay0},
          {ui.envRelay1, SetRelay, kRelay1, &BoardOutputs::relay1}};
  for (const auto& [box, set, bit, state] : outputs)
    connect(box, &QCheckBox::clicked, this,
            [&driver, &written, set = set, bit = bit, state = state](bool on) {
              set(driver, on, bit);
              written.*state = on;
            });
  connect(ui.envForceFan, &QCheckBox::clicked, this, [&driver, &written](bool ticked) {
    driver.dazEvo(ticked ? 1 : 0);
    written.fanForced = ticked;
  });

  // PC/104 Interface: registers and LED.
  connect(ui.brdRead, &QPushButton::clicked, this, [this] {
    ui_->brdValue->setText(Q(ReadRegister(ctx_.driver, S(ui_->brdOffset->currentText()))));
  });
  connect(ui.brdWrite, &QPushButton::clicked, this, [this] {
    if (auto refusal = WriteRegister(ctx_.driver, S(ui_->brdOffset->currentText()),
                                     S(ui_->brdValue->text())))
      ctx_.dialogs.messageBox(*refusal);
  });
  connect(ui.brdLEDOn, &QPushButton::clicked, this, [&driver] { driver.vbapp_LedOn(); });
  connect(ui.brdLEDOff, &QPushButton::clicked, this, [&driver] { driver.vbapp_LedOff(); });

  // Help and About. About, Products has nothing to show.
  const std::pair<QAction*, std::function<std::string()>> boxes[] = {
      {ui.brdQuickStart, QuickStartText},
      {ui.brdDLLTest, [&driver] { return DllTestText(driver.vbapp_Test(kDllTestValue)); }},
      {ui.brdDLLVersion, [&driver] { return DllVersionText(driver.vbapp_Version()); }}};
  for (const auto& [action, text] : boxes)
    connect(action, &QAction::triggered, this,
            [&dialogs, text = text] { dialogs.messageBox(text()); });
  connect(ui.brdContact, &QAction::triggered, this,
          [&dialogs] { dialogs.messageBox(ContactText(), kContactTitle); });

  refreshAnalogRange();
}

// ---- Analog inputs --------------------------------------------------------

void EnvForm::refreshAnalogRange() {
  // The same rule as the read, so the labels enabled are the channels read.
  const double start = NumValue(S(ui_->anaStart->text()));
  const double end = NumValue(S(ui_->anaEnd->text()));
  scan_.setAnalogRange(start, end);
  for (std::size_t n = 0; n < anaValue_.size(); ++n)
    anaValue_[n]->setEnabled(ChannelInRange(static_cast<int>(n), start, end));
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

}  // namespace kvn
