#include "chart/chart_model.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <limits>

#include "common/num_forms.h"

namespace kvn {

namespace {

constexpr std::size_t kSources = kChartSources;

// Every value that is stored or drawn is kept within a quarter of the double
// range, so that sums and differences of two of them (offsets, the view's
// height, a painter's mapping) stay finite. Readings from the board are
// 32-bit integers or half degrees and never come near it.
constexpr double kLimit = std::numeric_limits<double>::max() / 4;

double Finite(double v) {
  if (std::isnan(v)) return 0;
  return std::clamp(v, -kLimit, kLimit);
}

// The view and its grid span the whole range the labels give, up to the
// largest double; only their halves are subtracted.
double Bounded(double v) {
  constexpr double kMax = std::numeric_limits<double>::max();
  if (std::isnan(v)) return 0;
  return std::clamp(v, -kMax, kMax);
}

std::size_t At(int i) { return static_cast<std::size_t>(i); }

bool InUse(const ChanSetting& c) { return c.InUse != 0; }

// Chooses what the plot's pixel rows show. Normally that is top..bottom as
// the range and margins give them; an upside-down range (top < bottom, e.g.
// YMin above YMax in the settings file) is drawn upside down, matching its
// labels. A range with no height (top == bottom: YMin == YMax and no
// margins), or one too thin for the doubles to map onto pixels, gets a band
// of 1 above and below its middle (wider for values too large for 1 to
// count), so its flat data is drawn across the middle of the plot.
void SetView(ChartFrame& f) {
  const double top = Bounded(f.top);
  const double bottom = Bounded(f.bottom);
  const double scale = std::max({1.0, std::abs(top), std::abs(bottom)});
  if (std::abs(top / 2 - bottom / 2) > scale * 0.5e-12) {
    f.viewTop = top;
    f.viewBottom = bottom;
    return;
  }
  const double middle = top / 2 + bottom / 2;
  const double half = std::max(1.0, std::abs(middle) * 1e-9);
  f.viewTop = middle + half;
  f.viewBottom = middle - half;
}

}  // namespace

ChartFrame::ChartFrame() {
  legend.reserve(kSources);
  title.reserve(64);
}

StripChartModel::StripChartModel() {
  for (int i = 0; i < kGridLines; ++i) gridPos_[At(i)] = 4 * (i + 1);
}

void StripChartModel::load(const Reader& read) {
  winStart_ = 0;
  winEnd_ = kSpan;
  for (std::size_t g = 0; g < kSources; ++g) {
    const double v = Finite(read(static_cast<int>(g)));
    std::fill_n(sampleBuf_[g].begin(), kSpan, v);
  }
  for (int i = 0; i < kGridLines; ++i) gridPos_[At(i)] = 4 * (i + 1);
  writePos_ = kSpan;
}

void StripChartModel::storeReadings(const Reader& read) {
  for (std::size_t n = 0; n < kSources; ++n) {
    sampleBuf_[n][At(writePos_)] = Finite(read(static_cast<int>(n)));
  }
}

namespace {

// Data range: channel 0's in Global operation (whether it is shown or not),
// else from the lowest YMin to the highest YMax of the channels in use; 0..5
// when none is.
std::pair<double, double> DataRange(const ChanTable& table, bool global) {
  if (global) return {table[0].YMin, table[0].YMax};
  double yMin = 0;
  double yMax = 5;
  bool first = true;
  for (std::size_t n = 0; n < kSources; ++n) {
    const ChanSetting& c = table[n];
    if (!InUse(c)) continue;
    if (first || c.YMin < yMin) yMin = c.YMin;
    if (first || c.YMax > yMax) yMax = c.YMax;
    first = false;
  }
  return {yMin, yMax};
}

// Title: the one channel's Title, or the short names joined by " vs ".
void SetTitle(const ChanTable& table, std::string& title) {
  title.clear();
  const ChanSetting* firstShown = nullptr;
  int shown = 0;
  for (std::size_t n = 0; n < kSources; ++n) {
    const ChanSetting& c = table[n];
    if (!InUse(c)) continue;
    if (shown == 0) {
      title = c.Title;
      firstShown = &c;
    } else {
      if (shown == 1) title = firstShown->Abbrev;
      title += " vs ";
      title += c.Abbrev;
    }
    ++shown;
  }
}

// Horizontal grid: 8 lines, the last on the top edge. The step is taken from
// the eighths' difference so that it cannot overflow; divided by 8 it is the
// same number. Each line is bottom + k * step rounded once, which stays
// within the range even where k * step alone would not. Where k * step
// overflows, the sum is taken at half scale (exact for numbers that large),
// so that it holds with a multiply-add that is not fused, as MinGW's is not.
void SetGridRows(ChartFrame& frame) {
  const double step = std::abs(frame.top / 8 - frame.bottom / 8);
  for (int k = 1; k <= ChartFrame::kGridRows; ++k) {
    const double y = std::isfinite(k * step) ? std::fma(k, step, frame.bottom)
                                             : 2 * std::fma(k, step / 2, frame.bottom / 2);
    frame.gridY[At(k - 1)] = Bounded(y);
  }
}

}  // namespace

void StripChartModel::tick(const ChanTable& table, const TickInputs& in, const Reader& read,
                           ChartFrame& frame) {
  const auto [yMin, yMax] = DataRange(table, in.global);
  frame.chartYMin = yMin;
  frame.chartYMax = yMax;
  SetTitle(table, frame.title);

  storeReadings(read);
  legendRows(table, frame.legend);

  frame.top = yMax + in.marginTop;
  frame.bottom = yMin - in.marginBottom;
  frame.xMin = 0;
  frame.xMax = kSpan;
  SetView(frame);

  compactStore();
  // A grid line that reached the left edge comes back in at the right.
  for (int& x : gridPos_) {
    if (x == 0) x = kGridWrapTo;
  }
  SetGridRows(frame);
  std::copy(gridPos_.begin(), gridPos_.end(), frame.gridX.begin());

  frame.xTitle = "Time(sec)";
  frame.xZero = FileForm(0);
  frame.xPeriod = xPeriod_.of(in.intervalMs / 1000.0, FileForm);
  frame.yBottom = yBottom_.of(frame.bottom, FileForm);
  frame.yTop = yTop_.of(frame.top, FileForm);

  traces(table, in.offset, frame);

  ++winStart_;
  ++winEnd_;
  ++writePos_;
  for (int& x : gridPos_) --x;
}

void StripChartModel::compactStore() {
  // Once the window reaches the compaction column, the last 72 columns go
  // back to the start.
  if (winEnd_ != kCompactAt) return;
  constexpr int kFrom = kCompactAt - (kSpan + 1);
  for (std::size_t n = 0; n < kSources; ++n) {
    auto& row = sampleBuf_[n];
    std::copy(row.begin() + kFrom, row.begin() + kCompactAt + 1, row.begin());
  }
  winStart_ = 0;
  winEnd_ = kSpan;
  writePos_ = kSpan + 1;
}

void StripChartModel::traces(const ChanTable& table, bool offset, ChartFrame& frame) {
  for (std::size_t n = 0; n < kSources; ++n) {
    lastY_[n] = Finite(sampleBuf_[n][At(winStart_)] + (offset ? traceOffset_[n] : 0));
  }
  frame.traceCount = 0;
  double stackBase = 0;
  for (std::size_t n = 0; n < kSources; ++n) {
    if (!InUse(table[n])) continue;
    const auto& row = sampleBuf_[n];
    if (offset) {
      // Stacked upward in channel order: this trace's lowest point goes 2
      // units above the previous trace's highest.
      const auto [winLow, winHigh] = Avg_Calc(static_cast<int>(n));
      traceOffset_[n] = Finite(stackBase - winLow);
      stackBase = Finite(traceOffset_[n] + winHigh + 2);
      // The flat start takes this tick's offset too, so that it stays level
      // with the first sample on a tick where the stacking changes.
      lastY_[n] = Finite(row[At(winStart_)] + traceOffset_[n]);
    }
    const double shift = offset ? traceOffset_[n] : 0;
    const auto t = At(frame.traceCount++);
    frame.traceChannel[t] = static_cast<int>(n);
    frame.traceColor[t] = DrawColor(table[n].Color);
    auto& points = frame.traceY[t];
    points[0] = lastY_[n];
    std::size_t i = 1;
    for (int j = winStart_; j <= winEnd_ && i < points.size(); ++j, ++i) {
      points[i] = Finite(row[At(j)] + shift);
    }
    lastY_[n] = points[i - 1];
  }
}

std::pair<double, double> StripChartModel::Avg_Calc(int n) const {
  if (n < 0 || n >= kChannels) return {0, 0};
  const auto& row = sampleBuf_[At(n)];
  double low = row[At(winStart_)];
  double high = low;
  for (int j = winStart_; j <= winEnd_; ++j) {
    const double v = row[At(j)];
    if (v > high) high = v;
    if (v < low) low = v;
  }
  return {low, high};
}

void StripChartModel::legendRows(const ChanTable& table, std::vector<LegendRow>& rows) const {
  std::size_t k = 0;
  for (std::size_t c = 0; c < kSources; ++c) {
    if (!InUse(table[c])) continue;
    if (k == rows.size()) rows.emplace_back();
    LegendRow& row = rows[k];
    row.y = 18 - 2.0 * static_cast<double>(k);
    row.color = DrawColor(table[c].Color);
    row.text = table[c].Abbrev;
    row.nameLength = row.text.size();
    row.text += " = ";
    row.text += legendValues_[c].of(sampleBuf_[c][At(writePos_)], NumTextWithZero);
    row.text += " units";
    ++k;
  }
  rows.resize(k);
}

const std::string& StripChartModel::TextForm::of(double value, Form form) {
  // By the bits, so that -0 and 0, or NaNs, each keep their own text.
  const auto bits = std::bit_cast<std::uint64_t>(value);
  if (form != form_ || bits != bits_) {
    form_ = form;
    bits_ = bits;
    text_ = form(value);
  }
  return text_;
}

double StripChartModel::sample(int channel, int column) const {
  if (channel < 0 || channel >= kChannels || column < 0 || column >= kColumns) return 0;
  return sampleBuf_[At(channel)][At(column)];
}

}  // namespace kvn
