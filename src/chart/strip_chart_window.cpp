#include "chart/strip_chart_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <array>

#include "chart/chart_export.h"
#include "chart/chart_sampling.h"
#include "common/text_file.h"
#include "shared/qt_text.h"
#include "ui_StripChart_frm.h"
#include "widgets/list_boxes.h"

namespace kvn {

namespace {

constexpr int kTraces = 8;
constexpr int kStartIntervalMs = 50;

std::array<QComboBox*, kTraces> SourceLists(Ui::StripChart_frm& ui) {
  return {ui.Chnsrc_lst_0, ui.Chnsrc_lst_1, ui.Chnsrc_lst_2, ui.Chnsrc_lst_3,
          ui.Chnsrc_lst_4, ui.Chnsrc_lst_5, ui.Chnsrc_lst_6, ui.Chnsrc_lst_7};
}

std::array<QLabel*, kTraces> TraceLabels(Ui::StripChart_frm& ui) {
  return {ui.Chan_lbl_0, ui.Chan_lbl_1, ui.Chan_lbl_2, ui.Chan_lbl_3,
          ui.Chan_lbl_4, ui.Chan_lbl_5, ui.Chan_lbl_6, ui.Chan_lbl_7};
}

}  // namespace

StripChartWindow::StripChartWindow(ChartContext context, QWidget* parent)
    : QWidget(parent, Qt::Window),
      ui_(std::make_unique<Ui::StripChart_frm>()),
      ctx_(context),
      model_(std::make_unique<StripChartModel>()),
      reader_([this](int n) { return readSource(n); }) {
  ui_->setupUi(this);
  setFixedSize(size());
  SetUpLists(*this);
  Timer1_.setInterval(kStartIntervalMs);
  ui_->Graph_pic->showFrame(frame_);
  connectHandlers();
}

StripChartWindow::~StripChartWindow() = default;

double StripChartWindow::readSource(int n) { return ReadChartValue(ctx_.driver, ctx_.values, n); }

void StripChartWindow::connectHandlers() {
  connect(&Timer1_, &TickTimer::timeout, this, &StripChartWindow::tick);
  for (QComboBox* list : SourceLists(*ui_))
    connect(list, &QComboBox::currentIndexChanged, this, &StripChartWindow::onSourceListClick);
  connect(ui_->Glob_rad, &QRadioButton::clicked, this, [this] {
    if (ui_->Glob_rad->isChecked()) ctx_.chart.globalScale = true;
  });
  connect(ui_->Ind_rad, &QRadioButton::clicked, this, [this] { ctx_.chart.globalScale = false; });
  connect(ui_->Settings, &QPushButton::clicked, this, &StripChartWindow::onSettingsClick);
  connect(ui_->Stop_cmd, &QPushButton::clicked, this, &StripChartWindow::onStopClick);
  connect(ui_->setsave_cmd, &QPushButton::clicked, this, &StripChartWindow::onSettingsSave);
  connect(ui_->Save_cmd, &QPushButton::clicked, this, &StripChartWindow::onExport);
  connect(ui_->Quit_cmd, &QPushButton::clicked, this, &QWidget::close);
  connect(ui_->speed_scroll, &QScrollBar::valueChanged, this,
          [this](int ms) { Timer1_.setInterval(ms); });
  connect(ui_->ScaleMax_Scroll, &QScrollBar::valueChanged, this, [this](int v) {
    if (scaleLinked_) ui_->ScaleMin_Scroll->setValue(v);
  });
  connect(ui_->ScaleMin_Scroll, &QScrollBar::valueChanged, this, [this](int v) {
    if (scaleLinked_) ui_->ScaleMax_Scroll->setValue(v);
  });
}

void StripChartWindow::load() {
  listsLoading_ = true;
  scaleLinked_ = false;

  ChanTable& table = ctx_.chart.chanTable;
  const std::string settingsFile = SettingsFilePath(ctx_.filesDir);
  // A Save or an export killed part way leaves its temporary file in the
  // chart's folder; nothing else would ever remove it.
  RemoveStaleTemporaries(settingsFile);
  if (auto problem = LoadChannelSettings(table, settingsFile)) ctx_.dialogs.messageBox(*problem);

  const auto lists = SourceLists(*ui_);
  for (int i = 0; i < kChartSources; ++i) {
    ui_->Chann_lst->addItem(QStringLiteral("Chan%1").arg(i));
    const QString abbrev = Q(table[static_cast<std::size_t>(i)].Abbrev);
    for (QComboBox* list : lists) list->addItem(abbrev);
  }
  const auto labels = TraceLabels(*ui_);
  for (int i = 0; i < kTraces; ++i) {
    labels[static_cast<std::size_t>(i)]->setText(QStringLiteral("Chan%1").arg(i));
    QComboBox* list = lists[static_cast<std::size_t>(i)];
    // Selecting raises the list's handler, which during loading only clears
    // the InUse flags. (A list selects its first entry as it is filled.)
    if (list->currentIndex() == 0) onSourceListClick();
    list->setCurrentIndex(0);
  }
  table[0].InUse = -1;
  ui_->Chann_lst->setCurrentIndex(0);

  updateLegend();

  Timer1_.stop();
  model_->load(reader_);
  listsLoading_ = false;

  ui_->Glob_rad->setChecked(true);
  ctx_.chart.globalScale = true;
  setRunning(true);
}

void StripChartWindow::onSourceListClick() {
  ChanTable& table = ctx_.chart.chanTable;
  for (int i = 0; i < kChartSources; ++i) table[static_cast<std::size_t>(i)].InUse = 0;
  if (listsLoading_) return;
  for (QComboBox* list : SourceLists(*ui_)) {
    const int c = list->currentIndex();
    if (c >= 0 && c < kChartSources) table[static_cast<std::size_t>(c)].InUse = -1;
  }
}

void StripChartWindow::onSettingsClick() {
  ui_->ScaleMax_Scroll->setValue(0);
  if (ctx_.chart.globalScale) {
    ctx_.chart.editChan = 0;
  } else {
    // Chan0..Chan7 are the traces: their source channel is edited. Chan8 to
    // Chan11 name no trace; they edit channels 8..11 themselves.
    const int t = ui_->Chann_lst->currentIndex();
    const auto lists = SourceLists(*ui_);
    int channel = t;
    if (t >= 0 && t < kTraces) channel = lists[static_cast<std::size_t>(t)]->currentIndex();
    if (channel < 0 || channel >= kChartSources) return;
    ctx_.chart.editChan = static_cast<std::int16_t>(channel);
  }
  emit settingsRequested();
}

void StripChartWindow::onStopClick() { setRunning(!model_->running()); }

void StripChartWindow::setRunning(bool running) {
  model_->setRunning(running);
  if (running) {
    Timer1_.start();
  } else {
    Timer1_.stop();
  }
  ui_->Stop_cmd->setText(running ? QStringLiteral("Stop") : QStringLiteral("Start"));
}

void StripChartWindow::onSettingsSave() {
  if (auto error = SaveChannelSettings(ctx_.chart.chanTable, SettingsFilePath(ctx_.filesDir)))
    ctx_.dialogs.messageBox(*error);
}

void StripChartWindow::onExport() {
  if (auto problems = ExportShownSamples(ctx_.chart.chanTable, *model_, ctx_.filesDir))
    ctx_.dialogs.messageBox(*problems);
}

void StripChartWindow::updateLegend() {
  model_->legendRows(ctx_.chart.chanTable, frame_.legend);
  ui_->legend_pic->setRows(frame_.legend);
}

void StripChartWindow::tick() {
  // Ctrl+L links the two margin bars, Ctrl+U unlinks them, whichever window
  // has the keyboard.
  KeyState& keys = ctx_.keys;
  if ((keys.GetAsyncKeyState(kVkL) & keys.GetAsyncKeyState(kVkControl)) != 0) scaleLinked_ = true;
  if ((keys.GetAsyncKeyState(kVkU) & keys.GetAsyncKeyState(kVkControl)) != 0) scaleLinked_ = false;

  TickInputs in;
  in.global = ctx_.chart.globalScale;
  in.offset = ui_->Off_chk->isChecked();
  in.marginTop = ui_->ScaleMax_Scroll->value();
  in.marginBottom = ui_->ScaleMin_Scroll->value();
  in.intervalMs = Timer1_.interval();
  model_->tick(ctx_.chart.chanTable, in, reader_, frame_);

  if (frame_.title != shownTitle_) {
    shownTitle_ = frame_.title;
    ui_->graphtitle_lbl->setText(Q(shownTitle_));
    // The label ends a long title in an ellipsis; the whole one is here.
    ui_->graphtitle_lbl->setToolTip(ui_->graphtitle_lbl->text());
  }
  ui_->legend_pic->setRows(frame_.legend);
  ui_->y_pic->setLabels(frame_.top, frame_.bottom);
  ui_->x_pic->setLabels(frame_.xPeriod, frame_.xTitle, frame_.xZero);
  ui_->Graph_pic->frameChanged();
}

void StripChartWindow::closeEvent(QCloseEvent* event) {
  setRunning(false);
  emit closed();
  QWidget::closeEvent(event);
}

}  // namespace kvn
