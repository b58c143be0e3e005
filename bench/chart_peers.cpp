// The strip-chart picture of one chart tick, drawn with two other Qt plotting
// libraries, so that our own chart tick can be set against them in the same
// binary. Each benchmark iteration is one tick of a live strip chart:
//
//   - every one of the 12 traces (71 samples, x = 0..70) drops its oldest
//     sample and takes a new one;
//   - the 17 vertical grid lines (4 samples apart) move left by one sample,
//     a line that reaches the left edge coming back in at 68;
//   - the whole picture is drawn into a 377 x 225 ARGB32_Premultiplied image
//     through a QPainter: white background, the 12 traces as 2 px lines,
//     8 horizontal grid lines (the last on the top edge) and the vertical
//     ones in RGB(192, 0, 192), 1 px, the Y labels at the top and bottom
//     value, and "Time(sec)" with the sample period (.05) and 0 under the
//     X axis.
//
// Both libraries draw aliased, as our own chart does; text keeps QPainter's
// default (antialiased) rendering in both.
//
// Which of the two libraries are compiled in is decided by
// bench/chart_peers.cmake (KVN_HAVE_QCUSTOMPLOT, KVN_HAVE_QTCHARTS). The
// binary's main creates the QApplication before any benchmark runs.
#include <benchmark/benchmark.h>

#include <QBrush>
#include <QColor>
#include <QImage>
#include <QList>
#include <QMargins>
#include <QPainter>
#include <QPen>
#include <QPointF>
#include <QString>
#include <QVector>

#include <array>
#include <string>
#include <cmath>
#include <cstdint>
#include <numbers>

#if KVN_HAVE_QCUSTOMPLOT
#include <qcustomplot.h>
#endif

#if KVN_HAVE_QTCHARTS
#include <QCoreApplication>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#endif

namespace {

[[maybe_unused]] constexpr int kWidth = 377;
[[maybe_unused]] constexpr int kHeight = 225;
constexpr int kTraces = 12;
constexpr int kSpan = 70;  // the X scale runs 0..kSpan, one point per sample
[[maybe_unused]] constexpr int kPoints = kSpan + 1;
[[maybe_unused]] constexpr double kYMin = -7;
[[maybe_unused]] constexpr double kYMax = 23;
[[maybe_unused]] constexpr int kGridRows = 8;
constexpr int kGridColumns = 17;
constexpr int kGridSpacing = 4;
constexpr int kGridWrapTo = 68;
[[maybe_unused]] constexpr QRgb kGridRgb = 0xFFC000C0;

[[maybe_unused]] constexpr std::array<QRgb, kTraces> kTraceRgb = {
    0xFFFF0000, 0xFF00A000, 0xFF0000FF, 0xFF008080, 0xFFFF8000, 0xFF800000,
    0xFF000080, 0xFF808000, 0xFF00C0FF, 0xFF404040, 0xFFFF0080, 0xFF80C000};

// A cheap deterministic reading: a sine from a small table, walked at a
// different pace per channel, plus a per-channel offset that spreads the
// traces over the Y range (-6.5..19.5).
class SampleSource {
 public:
  SampleSource() {
    for (std::size_t i = 0; i < table_.size(); ++i) {
      table_[i] = 2.0 * std::sin(2.0 * std::numbers::pi * static_cast<double>(i) /
                                 static_cast<double>(table_.size()));
    }
  }
  // Channel n's reading for sample number k.
  double value(int n, std::int64_t k) const {
    const auto step = static_cast<std::uint64_t>(k) * static_cast<std::uint64_t>(n + 1) +
                      static_cast<std::uint64_t>(5 * n);
    return table_[step % table_.size()] + 2.0 * n - 4.5;
  }

 private:
  std::array<double, 64> table_{};
};

// The vertical grid: 17 sample positions, 4 apart, in 1..68.
class MovingGrid {
 public:
  MovingGrid() {
    for (int i = 0; i < kGridColumns; ++i) pos_[static_cast<std::size_t>(i)] = kGridSpacing * (i + 1);
  }
  // One sample to the left; a line reaching the left edge comes back in at 68.
  void step() {
    for (int& x : pos_) {
      if (--x == 0) x = kGridWrapTo;
    }
  }
  const std::array<int, kGridColumns>& positions() const { return pos_; }

 private:
  std::array<int, kGridColumns> pos_{};
};

// True when the picture holds every trace colour and the grid colour.
[[maybe_unused]] bool PictureComplete(const QImage& image) {
  std::array<bool, kTraces> seen{};
  bool grid = false;
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      if (line[x] == kGridRgb) grid = true;
      for (std::size_t n = 0; n < kTraceRgb.size(); ++n) {
        if (line[x] == kTraceRgb[n]) seen[n] = true;
      }
    }
  }
  for (bool s : seen) {
    if (!s) return false;
  }
  return grid;
}

// One tick and one picture of a peer's strip chart per iteration, after a
// check that its picture really holds the traces and the grid.
template <typename Chart>
void RunPicture(benchmark::State& state, const char* library) {
  Chart chart;
  QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
  chart.tick();
  chart.render(image);
  if (!PictureComplete(image)) {
    state.SkipWithError((std::string(library) + " drew no traces or no grid").c_str());
    return;
  }
  for (auto _ : state) {
    chart.tick();
    chart.render(image);
    benchmark::DoNotOptimize(image.pixel(kWidth / 2, kHeight / 2));
    benchmark::ClobberMemory();
  }
}

}  // namespace

#if KVN_HAVE_QCUSTOMPLOT

namespace {

// QCustomPlot set up as a live strip chart. Samples keep their own key (the
// sample number): each tick appends the new sample, drops the oldest with
// removeBefore (which only moves the container's start, no copying) and
// slides the X range, the way the library's real-time examples do it.
//
// Defaults changed: antialiasing is switched off for every element
// (setNotAntialiasedElements(aeAll); graph lines are antialiased by default),
// the axis rect's top and right margins are fixed instead of automatic (so
// the top Y label and the right X label have room), the grid's zero line
// pen is cleared so that no line is drawn differently, and the label axes'
// tick marks get no length and no pen (the axis only draws tick labels
// where it draws ticks, so they cannot simply be switched off).
//
// toPainter draws everything afresh, without the label cache, and strokes
// each graph as one polyline (the faster segment-by-segment drawing of
// QCP::phFastPolylines only applies to replot's buffers).
//
// The grid lines belong to the top and right axes (shown with no line, ticks
// or labels), the labels to the bottom and left axes (shown with no grid), so
// that each set of lines and labels sits at its own positions.
class QcpStripChart {
 public:
  QcpStripChart() {
    plot_.resize(kWidth, kHeight);
    plot_.setBackground(QBrush(Qt::white));
    plot_.setNotAntialiasedElements(QCP::aeAll);

    QCPAxisRect* rect = plot_.axisRect();
    rect->setAutoMargins(QCP::msLeft | QCP::msBottom);
    rect->setMargins(QMargins(0, 8, 8, 0));

    const QPen gridPen(QColor::fromRgb(kGridRgb), 1);

    QCPAxis* time = plot_.xAxis;
    time->setTicker(timeLabels_);
    time->setTickLength(0, 0);
    time->setTickPen(Qt::NoPen);
    time->setSubTicks(false);
    time->grid()->setVisible(false);
    time->setLabel(QStringLiteral("Time(sec)"));

    QCPAxis* value = plot_.yAxis;
    auto valueLabels = QSharedPointer<QCPAxisTickerText>::create();
    valueLabels->addTick(kYMin, QStringLiteral("-7"));
    valueLabels->addTick(kYMax, QStringLiteral("23"));
    value->setTicker(valueLabels);
    value->setTickLength(0, 0);
    value->setTickPen(Qt::NoPen);
    value->setSubTicks(false);
    value->grid()->setVisible(false);
    value->setRange(kYMin, kYMax);

    QCPAxis* columns = plot_.xAxis2;
    columns->setVisible(true);
    columns->setTicker(gridColumns_);
    columns->setTicks(false);
    columns->setSubTicks(false);
    columns->setTickLabels(false);
    columns->setBasePen(Qt::NoPen);
    columns->grid()->setVisible(true);
    columns->grid()->setPen(gridPen);
    columns->grid()->setZeroLinePen(Qt::NoPen);

    QCPAxis* rows = plot_.yAxis2;
    auto gridRows = QSharedPointer<QCPAxisTickerText>::create();
    for (int k = 1; k <= kGridRows; ++k) {
      gridRows->addTick(kYMin + k * (kYMax - kYMin) / kGridRows, QString());
    }
    rows->setVisible(true);
    rows->setTicker(gridRows);
    rows->setTicks(false);
    rows->setSubTicks(false);
    rows->setTickLabels(false);
    rows->setBasePen(Qt::NoPen);
    rows->setRange(kYMin, kYMax);
    rows->grid()->setVisible(true);
    rows->grid()->setPen(gridPen);
    rows->grid()->setZeroLinePen(Qt::NoPen);

    gridLabels_.fill(QString(), kGridColumns);
    gridKeys_.resize(kGridColumns);
    for (int n = 0; n < kTraces; ++n) {
      QCPGraph* graph = plot_.addGraph();
      graph->setPen(QPen(QColor::fromRgb(kTraceRgb[static_cast<std::size_t>(n)]), 2));
      for (int k = 0; k <= kSpan; ++k) graph->addData(k, source_.value(n, k));
      graphs_[static_cast<std::size_t>(n)] = graph;
    }
    setWindow();
  }

  void tick() {
    ++first_;
    const std::int64_t newest = first_ + kSpan;
    for (int n = 0; n < kTraces; ++n) {
      QCPGraph* graph = graphs_[static_cast<std::size_t>(n)];
      graph->addData(static_cast<double>(newest), source_.value(n, newest));
      graph->data()->removeBefore(static_cast<double>(first_));
    }
    grid_.step();
    setWindow();
  }

  void render(QImage& image) {
    QCPPainter painter(&image);
    plot_.toPainter(&painter, kWidth, kHeight);
  }

 private:
  // X range, X labels and vertical grid for the window first_..first_ + 70.
  void setWindow() {
    const auto left = static_cast<double>(first_);
    const double right = left + kSpan;
    plot_.xAxis->setRange(left, right);
    plot_.xAxis2->setRange(left, right);
    timeLabels_->clear();
    timeLabels_->addTick(left, QStringLiteral(".05"));
    timeLabels_->addTick(right, QStringLiteral("0"));
    for (int i = 0; i < kGridColumns; ++i) {
      gridKeys_[i] = left + grid_.positions()[static_cast<std::size_t>(i)];
    }
    gridColumns_->setTicks(gridKeys_, gridLabels_);
  }

  QCustomPlot plot_;
  std::array<QCPGraph*, kTraces> graphs_{};
  QSharedPointer<QCPAxisTickerText> timeLabels_ = QSharedPointer<QCPAxisTickerText>::create();
  QSharedPointer<QCPAxisTickerText> gridColumns_ = QSharedPointer<QCPAxisTickerText>::create();
  QVector<double> gridKeys_;
  QVector<QString> gridLabels_;
  SampleSource source_;
  MovingGrid grid_;
  std::int64_t first_ = 0;  // sample number at the left edge
};

}  // namespace

static void BM_QCustomPlotPicture(benchmark::State& state) {
  RunPicture<QcpStripChart>(state, "QCustomPlot");
}
BENCHMARK(BM_QCustomPlotPicture)->Unit(benchmark::kMicrosecond);

#endif  // KVN_HAVE_QCUSTOMPLOT

#if KVN_HAVE_QTCHARTS

namespace {

// Qt Charts set up as a live strip chart: a QChart alone in a QGraphicsScene,
// one QLineSeries per trace fed each tick with QLineSeries::replace from a
// prepared point list (x fixed at 0..70, the Y values shifted by one), the
// scene rendered into the image.
//
// Defaults changed: legend hidden, background roundness 0 and no background
// pen, chart margins and layout margins narrowed to fit the small plot.
// Antialiasing needs no change: Qt Charts leaves it to the painter, and a
// QPainter on a QImage starts without QPainter::Antialiasing (only a
// QChartView would switch it on).
//
// The labels come from a category axis (X: ".05" at 0, "0" at 70, with the
// title) and a value axis with two ticks (Y: -7 and 23), both without grid.
// The grid comes from two more value axes on the top and right, shown with
// no line and no labels: the vertical one with dynamic ticks 4 apart whose
// anchor moves each tick, the horizontal one with dynamic ticks anchored at
// the top. Dynamic ticks cover the whole range, so at the range ends they
// may add a line on an edge that our chart would not draw.
class ChartsStripChart {
 public:
  ChartsStripChart() : chart_(new QChart) {
    scene_.addItem(chart_);  // the scene owns the chart
    chart_->setGeometry(0, 0, kWidth, kHeight);
    chart_->legend()->hide();
    chart_->setBackgroundRoundness(0);
    chart_->setBackgroundBrush(QBrush(Qt::white));
    chart_->setBackgroundPen(Qt::NoPen);
    chart_->setMargins(QMargins(0, 6, 8, 0));
    chart_->layout()->setContentsMargins(0, 0, 0, 0);

    const QPen gridPen(QColor::fromRgb(kGridRgb), 1);

    auto* time = new QCategoryAxis;
    time->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    time->setStartValue(-1);
    time->append(QStringLiteral(".05"), 0);
    time->append(QStringLiteral("0"), kSpan);
    time->setRange(0, kSpan);
    time->setGridLineVisible(false);
    time->setTitleText(QStringLiteral("Time(sec)"));
    chart_->addAxis(time, Qt::AlignBottom);

    auto* value = new QValueAxis;
    value->setRange(kYMin, kYMax);
    value->setTickCount(2);
    value->setLabelFormat(QStringLiteral("%.0f"));
    value->setGridLineVisible(false);
    chart_->addAxis(value, Qt::AlignLeft);

    columns_ = new QValueAxis;
    columns_->setRange(0, kSpan);
    columns_->setTickType(QValueAxis::TicksDynamic);
    columns_->setTickInterval(kGridSpacing);
    columns_->setLabelsVisible(false);
    columns_->setLineVisible(false);
    columns_->setGridLinePen(gridPen);
    chart_->addAxis(columns_, Qt::AlignTop);

    auto* rows = new QValueAxis;
    rows->setRange(kYMin, kYMax);
    rows->setTickType(QValueAxis::TicksDynamic);
    rows->setTickAnchor(kYMax);
    rows->setTickInterval((kYMax - kYMin) / kGridRows);
    rows->setLabelsVisible(false);
    rows->setLineVisible(false);
    rows->setGridLinePen(gridPen);
    chart_->addAxis(rows, Qt::AlignRight);

    for (int n = 0; n < kTraces; ++n) {
      const auto t = static_cast<std::size_t>(n);
      auto* series = new QLineSeries;
      series->setPen(QPen(QColor::fromRgb(kTraceRgb[t]), 2));
      chart_->addSeries(series);
      series->attachAxis(time);
      series->attachAxis(value);
      QList<QPointF>& points = points_[t];
      points.reserve(kPoints);
      for (int k = 0; k <= kSpan; ++k) points.append(QPointF(k, source_.value(n, k)));
      series->replace(points);
      series_[t] = series;
    }
    setGrid();
  }

  void tick() {
    ++first_;
    const std::int64_t newest = first_ + kSpan;
    for (int n = 0; n < kTraces; ++n) {
      const auto t = static_cast<std::size_t>(n);
      QList<QPointF>& points = points_[t];
      for (int k = 0; k < kSpan; ++k) points[k].setY(points[k + 1].y());
      points[kSpan].setY(source_.value(n, newest));
      series_[t]->replace(points);
    }
    grid_.step();
    setGrid();
  }

  void render(QImage& image) {
    // Axis changes are laid out on the next pass of the event loop; a live
    // chart gets that pass before it is painted.
    QCoreApplication::sendPostedEvents();
    QPainter painter(&image);
    const QRectF area(0, 0, kWidth, kHeight);
    scene_.render(&painter, area, area, Qt::IgnoreAspectRatio);
  }

 private:
  void setGrid() { columns_->setTickAnchor(grid_.positions()[0]); }

  QGraphicsScene scene_;
  QChart* chart_;
  QValueAxis* columns_ = nullptr;
  std::array<QLineSeries*, kTraces> series_{};
  std::array<QList<QPointF>, kTraces> points_;
  SampleSource source_;
  MovingGrid grid_;
  std::int64_t first_ = 0;  // sample number at the left edge
};

}  // namespace

static void BM_QtChartsPicture(benchmark::State& state) {
  RunPicture<ChartsStripChart>(state, "Qt Charts");
}
BENCHMARK(BM_QtChartsPicture)->Unit(benchmark::kMicrosecond);

#endif  // KVN_HAVE_QTCHARTS
