// The strip chart without its window: the sample store, the sliding window
// of drawn columns, the moving grid, and what one drawing tick shows.
//
// Each tick stores one new reading of every source at writePos, then
// describes the whole chart in a ChartFrame that the window paints. The store
// is a fixed array that is never shifted per tick: the drawn window (71
// columns, winStart..winEnd) slides right, and once winEnd reaches 500 the
// last 72 columns are copied back to the start.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "chart/channel_table.h"

namespace kvn {

// What a tick reads from the chart window's controls.
struct TickInputs {
  bool global = true;    // Global operation: channel 0's Y range for every trace
  bool offset = false;   // "Offset": traces stacked above one another
  int marginTop = 0;     // Scale Max bar, in data units above the range
  int marginBottom = 0;  // Scale Min bar, in data units below the range
  int intervalMs = 50;   // the tick interval, printed as the sample period
};

// One legend entry: a colour sample from (0, y) to (5, y), the text starting
// one unit above it (the legend box runs 0..20 both ways, Y upward).
struct LegendRow {
  double y = 0;
  std::uint32_t color = 0;  // 0x00BBGGRR
  std::string text;         // "<short name> = <value> units"
  std::size_t nameLength = 0;  // the short name's length at the start of text
};

// Everything one tick draws. It is meant to be kept and handed to every tick:
// a tick only overwrites it, so once it has been through a tick or two no
// memory is allocated for it any more.
struct ChartFrame {
  static constexpr int kTracePoints = 72;
  static constexpr int kGridRows = 8;
  static constexpr int kGridColumns = 17;
  static constexpr std::uint32_t kGridColor = 0xC000C0;   // 0x00BBGGRR
  static constexpr std::uint32_t kPlotColor = 0xFFFFFF;

  ChartFrame();

  // The data range, before the margins.
  double chartYMin = 0;
  double chartYMax = 5;
  // The plot's upper and lower edge in data units (range plus margins), as
  // the Y labels print them. A range from the settings file may give
  // top <= bottom.
  double top = 5;
  double bottom = 0;
  // The data values at the plot's top and bottom pixel rows. Always finite
  // and never equal, so mapping a value to a pixel never divides by zero;
  // their difference may exceed the largest double, the difference of their
  // halves never does. Normally top and bottom; see
  // StripChartModel::tick for a range with no height or upside down (then
  // viewTop < viewBottom and the painter maps with the signed difference).
  double viewTop = 5;
  double viewBottom = 0;
  // The X scale: samples 0 (left edge) to 70 (right edge).
  double xMin = 0;
  double xMax = 70;

  std::string title;
  // Y of the 8 horizontal grid lines, which run across the whole plot.
  std::array<double, kGridRows> gridY{};
  // X of the 17 vertical grid lines, which run from bottom to top.
  std::array<int, kGridColumns> gridX{};

  std::string xTitle;   // "Time(sec)", centred under the plot
  std::string xPeriod;  // the sample period in seconds, at the left end
  std::string xZero;    // " 0 ", near the right end
  std::string yBottom;  // bottom, at the foot of the Y strip
  std::string yTop;     // top, at its head

  std::vector<LegendRow> legend;

  // One polyline per channel in use, in channel order. Point i lies at
  // x = i; point 0 is the flat start, the last point (x = 71) lies one unit
  // beyond the right edge and is clipped by the painter.
  int traceCount = 0;
  std::array<int, kChartSources> traceChannel{};
  std::array<std::uint32_t, kChartSources> traceColor{};  // 0x00BBGGRR
  std::array<std::array<double, kTracePoints>, kChartSources> traceY{};
};

class StripChartModel {
 public:
  static constexpr int kChannels = 13;
  static constexpr int kColumns = 701;
  static constexpr int kSpan = 70;         // the X scale runs 0..kSpan
  static constexpr int kCompactAt = 500;   // winEnd at which the store is compacted
  static constexpr int kGridLines = 17;
  static constexpr int kGridWrapTo = 68;

  // A source's current reading (ReadChartValue bound to the board).
  using Reader = std::function<double(int)>;

  // As after a load whose readings were all 0. The store is about 73 KB:
  // keep the model on the heap.
  StripChartModel();

  // Starts the chart afresh: one reading of each source 0..11 fills columns
  // 0..69, so the chart starts as flat lines; the grid lines go back to
  // 4, 8, ..., 68.
  void load(const Reader& read);

  // One drawing tick: reads every source into the store, works out the
  // range, title, legend, grid, labels and traces into frame, then slides
  // the window and the grid on by one sample.
  void tick(const ChanTable& table, const TickInputs& in, const Reader& read, ChartFrame& frame);

  // Lowest and highest value of channel n over the drawn window
  // winStart..winEnd; (0, 0) for n outside 0..12.
  std::pair<double, double> Avg_Calc(int n) const;

  // One row per channel in use, in channel order, showing its newest value.
  // Rows are overwritten in place.
  void legendRows(const ChanTable& table, std::vector<LegendRow>& rows) const;

  // Whether the drawing timer runs: Stop and Start of the chart window.
  bool running() const { return running_; }
  void setRunning(bool running) { running_ = running; }

  int winStart() const { return winStart_; }
  int winEnd() const { return winEnd_; }
  int writePos() const { return writePos_; }
  // The stored value; 0 outside channel 0..12, column 0..700.
  double sample(int channel, int column) const;

 private:
  void storeReadings(const Reader& read);
  void compactStore();
  void traces(const ChanTable& table, bool offset, ChartFrame& frame);

  std::array<std::array<double, kColumns>, kChannels> sampleBuf_{};
  int winStart_ = 0;
  int winEnd_ = kSpan;
  int writePos_ = kSpan;
  std::array<int, kGridLines> gridPos_{};
  std::array<double, kChartSources> traceOffset_{};  // kept from tick to tick
  std::array<double, kChartSources> lastY_{};
  bool running_ = false;

  // A number's text form, made again only when the number or the form
  // changes: most readings stay the same from one tick to the next.
  class TextForm {
   public:
    using Form = std::string (*)(double);
    const std::string& of(double value, Form form);

   private:
    std::uint64_t bits_ = 0;
    Form form_ = nullptr;
    std::string text_;
  };
  mutable std::array<TextForm, kChartSources> legendValues_;
  TextForm xPeriod_, yBottom_, yTop_;
};

}  // namespace kvn
