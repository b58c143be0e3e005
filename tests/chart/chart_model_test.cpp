// The strip chart's drawing tick: range, title, labels, grid, traces,
// compaction and legend, as the frame describes them.
#include "chart/chart_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace kvn {
namespace {

ChanTable DefaultTable(std::initializer_list<int> inUse) {
  ChanTable t;
  for (int n = 0; n < kChartSources; ++n) SetChannelDefaults(t, n);
  for (int n : inUse) t[static_cast<std::size_t>(n)].InUse = -1;
  return t;
}

StripChartModel::Reader Constant(double v) {
  return [v](int) { return v; };
}

std::pair<double, double> TraceRange(const ChartFrame& f, int t) {
  const auto& y = f.traceY[static_cast<std::size_t>(t)];
  const auto [lo, hi] = std::minmax_element(y.begin(), y.end());
  return {*lo, *hi};
}

class ChartModelTest : public ::testing::Test {
 protected:
  void Tick(const ChanTable& t, const TickInputs& in, const StripChartModel::Reader& read) {
    model->tick(t, in, read, frame);
  }
  std::unique_ptr<StripChartModel> model = std::make_unique<StripChartModel>();
  ChartFrame frame;
};

TEST_F(ChartModelTest, RangeTitleAndLabels) {
  ChanTable t = DefaultTable({1});
  t[1].YMin = -3;
  Tick(t, {.global = true}, Constant(0));
  EXPECT_EQ(frame.chartYMin, 0);  // channel 0's range, shown or not
  EXPECT_EQ(frame.chartYMax, 10);
  EXPECT_EQ(frame.title, "Analog Sensor 2");
  EXPECT_EQ(frame.xTitle, "Time(sec)");
  EXPECT_EQ(frame.xPeriod, " .05 ");
  EXPECT_EQ(frame.xZero, " 0 ");

  t = DefaultTable({0, 8});
  t[8].YMin = -5;
  Tick(t, {.global = false, .marginTop = 3, .marginBottom = 2}, Constant(0));
  EXPECT_EQ(frame.chartYMin, -5);
  EXPECT_EQ(frame.chartYMax, 20);
  EXPECT_EQ(frame.top, 23);
  EXPECT_EQ(frame.bottom, -7);
  EXPECT_EQ(frame.yTop, " 23 ");
  EXPECT_EQ(frame.yBottom, "-7 ");
  EXPECT_EQ(frame.title, "Ana1 vs Hum");

  t = DefaultTable({0, 1, 8});
  Tick(t, {.global = false}, Constant(0));
  EXPECT_EQ(frame.title, "Ana1 vs Ana2 vs Hum");
  EXPECT_EQ(frame.traceCount, 3);

  t = DefaultTable({});
  Tick(t, {.global = false, .intervalMs = 500}, Constant(0));
  EXPECT_EQ(frame.chartYMin, 0);
  EXPECT_EQ(frame.chartYMax, 5);
  EXPECT_EQ(frame.title, "");
  EXPECT_EQ(frame.traceCount, 0);
  EXPECT_TRUE(frame.legend.empty());
  EXPECT_EQ(frame.gridY.back(), 5);
  EXPECT_EQ(frame.xPeriod, " .5 ");
}

TEST_F(ChartModelTest, GridStepAndWrap) {
  ChanTable t = DefaultTable({0});
  t[0].YMin = -10;
  t[0].YMax = -2;
  Tick(t, {}, Constant(0));
  for (int k = 0; k < 8; ++k) EXPECT_EQ(frame.gridY[static_cast<std::size_t>(k)], -9 + k);

  // The first line starts at 4: drawn at 3, 2, 1, then moved to 68.
  std::vector<int> firstLine{frame.gridX[0]};
  for (int i = 0; i < 300; ++i) {
    Tick(t, {}, Constant(0));
    if (i < 4) firstLine.push_back(frame.gridX[0]);
    for (int x : frame.gridX) ASSERT_TRUE(x >= 1 && x <= 68) << x;
  }
  EXPECT_EQ(firstLine, (std::vector<int>{4, 3, 2, 1, 68}));
}

TEST_F(ChartModelTest, CompactionKeepsTheDrawnValuesInPlace) {
  const ChanTable t = DefaultTable({0});
  int tickNo = 0;
  // Channel 0 tells the ticks apart; channel 5 holds 4..6 on ticks 361..431
  // and 1000 elsewhere.
  const auto read = [&](int n) -> double {
    if (n == 5) return tickNo >= 361 && tickNo <= 431 ? 4 + tickNo % 3 : 1000;
    return n == 0 ? tickNo : 0;
  };
  model->load(read);
  ChartFrame before;
  for (tickNo = 1; tickNo <= 431; ++tickNo) {
    if (tickNo == 431) before = frame;
    Tick(t, {}, read);
  }
  EXPECT_EQ(frame.traceY[0], before.traceY[0]);
  EXPECT_EQ(frame.traceY[0][71], 430);
  EXPECT_EQ(model->winStart(), 1);
  EXPECT_EQ(model->winEnd(), 71);
  EXPECT_EQ(model->writePos(), 72);
  EXPECT_EQ(model->sample(0, 71), 431);
  EXPECT_EQ(model->Avg_Calc(5), std::make_pair(4.0, 6.0));  // the window only

  // From now on the trace ends one sample before the legend's value.
  Tick(t, {}, read);
  EXPECT_EQ(frame.traceY[0][71], 431);
  EXPECT_EQ(frame.legend[0].text, "Ana1 = 432 units");

  // Every later compaction (winEnd back at 500) keeps the picture too.
  for (++tickNo; model->winEnd() != 500; ++tickNo) Tick(t, {}, read);
  before = frame;
  Tick(t, {}, read);
  EXPECT_EQ(frame.traceY[0], before.traceY[0]);
  EXPECT_LE(model->writePos(), 501);
}

TEST_F(ChartModelTest, OffsetDisplayStacksTracesUpward) {
  const ChanTable t = DefaultTable({0, 1});
  model->load([](int n) { return n == 0 ? 1.0 : 10.0; });
  Tick(t, {.offset = true}, [](int n) { return n == 0 ? 3.0 : 12.0; });
  ASSERT_EQ(frame.traceCount, 2);
  EXPECT_EQ(TraceRange(frame, 0), std::make_pair(0.0, 2.0));
  EXPECT_EQ(TraceRange(frame, 1), std::make_pair(4.0, 6.0));
  EXPECT_EQ(frame.traceY[1][0], frame.traceY[1][1]);  // a level start
  EXPECT_EQ(frame.traceColor[1], 0xFF0000u);

  Tick(t, {.offset = false}, Constant(11));
  EXPECT_EQ(TraceRange(frame, 0), std::make_pair(1.0, 11.0));
}

TEST_F(ChartModelTest, LegendShowsChannelsInUseInChannelOrder) {
  const ChanTable t = DefaultTable({9, 2});
  Tick(t, {}, [](int n) { return n == 2 ? -3 : 0.25; });
  ASSERT_EQ(frame.legend.size(), 2u);
  EXPECT_EQ(frame.legend[0].y, 18);
  EXPECT_EQ(frame.legend[0].text, "Ana3 = -3 units");
  EXPECT_EQ(frame.legend[0].color, 0x00FFFFu);
  EXPECT_EQ(frame.legend[1].y, 16);
  EXPECT_EQ(frame.legend[1].text, "CTmp = 0.25 units");
  Tick(DefaultTable({2}), {}, Constant(10));
  ASSERT_EQ(frame.legend.size(), 1u);
  EXPECT_EQ(frame.legend[0].text, "Ana3 = 10 units");
  // A reading that stays, then changes, then comes back.
  for (const auto& [reading, text] : {std::pair{10.0, "Ana3 = 10 units"}, {0.5, "Ana3 = 0.5 units"},
                                      {-0.0, "Ana3 = 0 units"}, {10.0, "Ana3 = 10 units"}}) {
    Tick(DefaultTable({2}), {}, Constant(reading));
    EXPECT_EQ(frame.legend[0].text, text) << reading;
  }
}

TEST_F(ChartModelTest, DegenerateRangesStayDrawable) {
  const auto expectDrawable = [this](const char* what) {
    EXPECT_TRUE(std::isfinite(frame.viewTop) && std::isfinite(frame.viewBottom)) << what;
    EXPECT_NE(frame.viewTop / 2 - frame.viewBottom / 2, 0) << what;
    for (double y : frame.gridY) EXPECT_TRUE(std::isfinite(y)) << what;
    for (int i = 0; i < frame.traceCount; ++i)
      for (double y : frame.traceY[static_cast<std::size_t>(i)]) EXPECT_TRUE(std::isfinite(y)) << what;
  };
  ChanTable t = DefaultTable({0});
  t[0].YMin = t[0].YMax = 7;
  Tick(t, {}, Constant(7));
  expectDrawable("flat");
  EXPECT_EQ(frame.viewTop, 8);
  EXPECT_EQ(frame.viewBottom, 6);
  EXPECT_EQ(frame.gridY, (std::array<double, 8>{7, 7, 7, 7, 7, 7, 7, 7}));
  EXPECT_EQ(frame.yTop, " 7 ");

  t[0].YMin = 10;
  t[0].YMax = 0;
  Tick(t, {}, Constant(5));
  expectDrawable("upside down");
  EXPECT_EQ(frame.viewTop, 0);
  EXPECT_EQ(frame.viewBottom, 10);

  constexpr double kMax = std::numeric_limits<double>::max();
  t[0].YMin = -kMax;
  t[0].YMax = kMax;
  t[1].InUse = -1;
  constexpr int kHuge = std::numeric_limits<int>::max();
  Tick(t, {.offset = true, .marginTop = kHuge, .marginBottom = kHuge},
       [](int n) { return n == 0 ? std::nan("") : -std::numeric_limits<double>::infinity(); });
  Tick(t, {.offset = true, .marginTop = kHuge, .marginBottom = kHuge}, Constant(kMax));
  expectDrawable("huge");

  // The whole range of the doubles is in view, with its eight grid rows
  // evenly spread up to the top edge.
  t[1].InUse = 0;
  Tick(t, {}, Constant(0));
  expectDrawable("largest");
  EXPECT_EQ(frame.viewTop, kMax);
  EXPECT_EQ(frame.viewBottom, -kMax);
  for (int k = 1; k <= ChartFrame::kGridRows; ++k)
    EXPECT_DOUBLE_EQ(frame.gridY[static_cast<std::size_t>(k - 1)], (k - 4) * (kMax / 4)) << k;
}

}  // namespace
}  // namespace kvn
