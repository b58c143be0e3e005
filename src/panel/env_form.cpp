#include "panel/env_form.h"

#include <QMenuBar>
#include <QTimer>

#include "shared/delay.h"
#include "shared/qt_text.h"
#include "driver/card_ranges.h"
#include "ui_envForm.h"
#include "widgets/list_boxes.h"

namespace kvn {

namespace {

constexpr int kClientWidthPx = 571;   // 8565 twips at 15 twips a pixel
constexpr int kClientHeightPx = 185;  // 2775 twips

}  // namespace

EnvForm::EnvForm(PanelContext context, QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::envForm>()), ctx_(context) {
  ui_->setupUi(this);
  SetUpLists(*this);
  setCaption(false);
  // The client area is 8565 x 2775 twips below the menu bar.
  resize(kClientWidthPx, kClientHeightPx + menuBar()->sizeHint().height());

  // Lists start with nothing selected.
  ui_->tmpSensor->setCurrentIndex(-1);
  ui_->brdOffset->setCurrentIndex(-1);
  ui_->anaTypeList->setCurrentIndex(-1);
  ui_->brdAddrList->setCurrentIndex(-1);

  // The PC/104 Interface frame is in view when the window opens; the Logging
  // menu brings the Logging frame.
  showLoggingFrame(false);
  ui_->anaTypeFrame->hide();

  brdTimer1_ = new QTimer(this);
  brdTimer1_->setObjectName(QStringLiteral("brdTimer1"));
  connect(brdTimer1_, &QTimer::timeout, this, &EnvForm::scanTick);

  connectHandlers();
  connectBoardHandlers();
}

EnvForm::~EnvForm() = default;

void EnvForm::connectHandlers() {
  connect(ui_->brdQuitKey, &QPushButton::clicked, this, &EnvForm::quitRequested);
  connect(ui_->brdQuit, &QAction::triggered, this, &EnvForm::quitRequested);
  connect(ui_->brdAddrList, &QComboBox::activated, this, &EnvForm::onAddressChange);
  connectLoggingHandlers();
  connect(ui_->anaTypeReturn, &QPushButton::clicked, this, [this] { showAnalogInformation(); });
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


}  // namespace kvn
