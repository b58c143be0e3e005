// The simulated board on a hand-set clock.
#include "sim/sim_board.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>

namespace kvn::sim {
namespace {

using namespace std::chrono_literals;

class SimBoardTest : public ::testing::Test {
 protected:
  SimTime now_{123s};
  SimBoard board_{[this] { return now_; }};

  void wait(std::chrono::milliseconds d) { now_ += d; }
  TempReading temp(std::int32_t sensor = 0) {
    TempReading t;
    board_.readTemp(sensor, t);
    return t;
  }
  std::int32_t inputs() { return board_.status() & (kStatusInput0 | kStatusInput1); }
};

TEST_F(SimBoardTest, AnswersOpenCloseTestVersionAndRanges) {
  EXPECT_EQ(board_.open(2), kOpenFailed);
  EXPECT_EQ(board_.open(1), kOpenOk);
  EXPECT_EQ(board_.open(0), kOpenAlreadyOpen);
  EXPECT_EQ(board_.close(), 0);
  EXPECT_EQ(board_.open(0), kOpenOk);

  EXPECT_EQ(SimBoard::test(25), 50);
  EXPECT_EQ(SimBoard::test(INT32_MAX), -2);
  EXPECT_EQ(SimBoard::test(INT32_MIN), 0);
  EXPECT_EQ(SimBoard::version(), 10003);

  const Ranges r = SimBoard::cardRanges();
  EXPECT_EQ(r.ioCount, 2);
  EXPECT_EQ(r.memCount, 0);
  EXPECT_EQ(r.ioBase[0], 0x300);
  EXPECT_EQ(r.ioBase[1], 0x340);
  EXPECT_EQ(r.ioExtent[0] + r.ioExtent[1], 32);
}

TEST_F(SimBoardTest, SetPointsReadBackPerSensorAndSaturate) {
  board_.writeTemp(60, -20, 0);
  board_.writeTemp(51, 7, 1);
  EXPECT_EQ(temp(0).high, 60);
  EXPECT_EQ(temp(0).low, 492);  // -10 C
  EXPECT_EQ(temp(1).high, 51);
  EXPECT_EQ(temp(1).low, 7);

  // 200 C and -150 C do not wrap round to the other end of the scale.
  board_.writeTemp(400, -300, 0);
  EXPECT_EQ(temp(0).high, 255);
  EXPECT_EQ(temp(0).low, 256);

  TempReading t{1, 2, 3, 4};
  EXPECT_EQ(board_.readTemp(2, t), -1);
  EXPECT_EQ(t.current + t.high + t.low + t.flags, 0);
  EXPECT_EQ(board_.writeTemp(10, 10, -1), -1);
  EXPECT_EQ(temp(1).high, 51);
}

// Over a forced cool-down and a free warm-up the status bits always match the
// reading against the set points, and both are seen.
TEST_F(SimBoardTest, StatusBitsFollowTheTemperature) {
  board_.setEnables(kHighThermostatOff);
  int seen = 0;
  for (int i = 0; i < 360; ++i, wait(5s)) {
    board_.forceFan(i < 120 ? 1 : 0);
    const TempReading t = temp();
    const std::int32_t now = DecodeHalfDegrees(t.current);
    const std::int32_t s = board_.status();
    EXPECT_EQ((s & kStatusBelowLow) != 0, now < kDefaultLow) << now;
    EXPECT_EQ((s & kStatusAboveHigh) != 0, now > kDefaultHigh) << now;
    EXPECT_EQ(t.flags, s & (kStatusBelowLow | kStatusAboveHigh));
    seen |= s;
  }
  EXPECT_EQ(seen & (kStatusBelowLow | kStatusAboveHigh), kStatusBelowLow | kStatusAboveHigh);
}

TEST_F(SimBoardTest, ForcedFanCoolsAndReleaseWarms) {
  double last = board_.temperature(0);
  EXPECT_GT(board_.temperature(1), last);  // sensor 1 runs a little warmer
  board_.forceFan(1);
  for (int minute = 1; minute <= 10; ++minute, wait(60s)) {
    EXPECT_TRUE(board_.status() & kStatusFan);
    EXPECT_LE(board_.temperature(0), last) << minute;
    last = board_.temperature(0);
  }
  EXPECT_LT(last, 19.0);
  EXPECT_GT(last, 17.0);

  board_.forceFan(0);
  wait(3min);
  EXPECT_FALSE(board_.fanRunning());
  EXPECT_GT(board_.temperature(0), last + 5.0);
}

TEST_F(SimBoardTest, ThermostatsDecideWhetherTheFanRuns) {
  // Both enabled: started above 30 C, kept on down to below 20 C, then off.
  bool onInBetween = false;
  bool offAfterwards = false;
  double hottest = 0;
  for (int i = 0; i < 2400; ++i, wait(1s)) {
    const std::int32_t now = DecodeHalfDegrees(temp().current);
    hottest = std::max(hottest, board_.temperature(0));
    onInBetween |= board_.fanRunning() && now < kDefaultHigh - 4 && now >= kDefaultLow;
    offAfterwards |= onInBetween && !board_.fanRunning();
  }
  EXPECT_TRUE(onInBetween);
  EXPECT_TRUE(offAfterwards);
  EXPECT_LT(hottest, 32.0);

  // Low one off: its hold is dropped at once, and the fan runs exactly while
  // the reading is above the high set point.
  for (int i = 0; i < 900 && !(board_.fanRunning() && temp().flags == 0); ++i) wait(1s);
  ASSERT_TRUE(board_.fanRunning());
  board_.setEnables(kLowThermostatOff);
  EXPECT_FALSE(board_.fanRunning());
  for (int i = 0; i < 600; ++i, wait(1s)) {
    const std::int32_t s = board_.status();
    EXPECT_EQ((s & kStatusFan) != 0, (s & kStatusAboveHigh) != 0);
  }
  // High one off as well: nothing starts the fan and it gets warm.
  board_.setEnables(kLowThermostatOff | kHighThermostatOff);
  for (int i = 0; i < 30; ++i, wait(1min)) EXPECT_FALSE(board_.fanRunning());
  EXPECT_GT(board_.temperature(0), 33.0);
}

// The panel's own read-modify-write sequences.
TEST_F(SimBoardTest, RelaysLoopBackToInputsAndReadBack) {
  EXPECT_EQ(board_.setRelays(-1), 0);
  EXPECT_EQ(inputs(), kStatusInput0 | kStatusInput1);
  board_.setRelays(2);
  EXPECT_EQ(board_.setRelays(-1), 32);
  EXPECT_EQ(inputs(), kStatusInput1);
  board_.setRelays(board_.setRelays(-1) / 16 | 1);
  EXPECT_EQ(board_.setRelays(-1), 48);
  EXPECT_EQ(inputs(), 0);
  board_.setRelays(board_.setRelays(-1) / 16 & 253);
  EXPECT_EQ(board_.setRelays(-1), 16);
  EXPECT_EQ(inputs(), kStatusInput0);

  board_.setEnables(0x1FF);
  EXPECT_EQ(board_.setEnables(-1), 0xFF);
}

TEST_F(SimBoardTest, AnalogReadingsStayInRangeAndMove) {
  auto ana = [&](int format, int ch) { return board_.readAnalog(128 + 32 * format + ch); };
  std::array<std::array<int, 4>, kAnalogChannels> lo, hi;
  for (auto& a : lo) a.fill(INT_MAX);
  for (auto& a : hi) a.fill(INT_MIN);
  for (int i = 0; i < 3000; ++i, wait(700ms)) {
    for (int ch = 0; ch < kAnalogChannels; ++ch) {
      for (int f = 0; f < 4; ++f) {
        const auto c = static_cast<std::size_t>(ch), fi = static_cast<std::size_t>(f);
        lo[c][fi] = std::min(lo[c][fi], ana(f, ch));
        hi[c][fi] = std::max(hi[c][fi], ana(f, ch));
      }
    }
    // Channels 6, 7 and 8 stay inside the unipolar range, so a difference is
    // exactly the difference of the single-ended readings.
    const int d67 = ana(0, 6) - ana(0, 7);
    EXPECT_EQ(ana(2, 6), std::clamp(d67, 0, 255));
    EXPECT_EQ(ana(3, 7), std::clamp(-d67, -128, 127));
    EXPECT_EQ(ana(3, 8), std::clamp(ana(0, 8) - ana(0, 7), -128, 127));
    EXPECT_LE(std::abs(ana(0, 0) - DecodeHalfDegrees(temp().current)), 2);  // 2 counts per degree
  }
  for (std::size_t ch = 0; ch < kAnalogChannels; ++ch) {
    EXPECT_TRUE(lo[ch][0] >= 0 && lo[ch][2] >= 0 && hi[ch][0] <= 255 && hi[ch][2] <= 255) << ch;
    EXPECT_TRUE(lo[ch][1] >= -128 && lo[ch][3] >= -128 && hi[ch][1] <= 127 && hi[ch][3] <= 127);
    EXPECT_GT(hi[ch][0] - lo[ch][0], 10) << ch;
  }
  EXPECT_LT(lo[4][1], -50);  // a bipolar input reads below zero
  EXPECT_EQ(lo[4][0], 0);    // and saturates at zero when read unipolar

  for (std::int32_t code : {0, 127, 128 + 9, 128 + 31, 256, -1, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(board_.readAnalog(code), 0) << code;
  }
}

TEST_F(SimBoardTest, RegistersReflectStateAndKeepWrittenValues) {
  for (std::int32_t off = kRegScratchFirst; off < kRegisters; ++off) {
    board_.writeRegister(off, INT32_MIN + off);
    EXPECT_EQ(board_.readRegister(off), INT32_MIN + off);
  }
  for (std::int32_t off : {-1, 16, INT32_MIN, INT32_MAX}) {
    board_.writeRegister(off, 3);
    EXPECT_EQ(board_.readRegister(off), -1);
  }

  board_.setRelays(2);
  board_.setLed(true);
  board_.forceFan(1);
  EXPECT_EQ(board_.readRegister(kRegStatus), board_.status());
  EXPECT_EQ(board_.readRegister(kRegRelays), 2);
  EXPECT_EQ(board_.readRegister(kRegFanLed), kFanLedForced | kFanLedRunning | kFanLedLed);
  EXPECT_EQ(board_.readRegister(kRegTemp1), temp(1).current);
  board_.writeRegister(kRegTemp0, 0);  // read-only: ignored
  EXPECT_EQ(board_.readRegister(kRegTemp0), temp(0).current);

  board_.writeRegister(kRegRelays, 1);
  EXPECT_EQ(board_.setRelays(-1), 16);
  board_.writeRegister(kRegFanLed, 0);
  EXPECT_FALSE(board_.fanRunning());
  board_.writeRegister(kRegLow1, 492);
  board_.writeRegister(kRegHigh0, 0x7FFFFE00 | 70);
  EXPECT_EQ(temp(1).low, 492);
  EXPECT_EQ(temp(0).high, 70);
}

TEST_F(SimBoardTest, WildArgumentsAndClockJumpsAreHarmless) {
  const std::int32_t wild[] = {INT32_MIN, -513, -2, -1, 0, 1, 2, 3, 255, 256, 511, INT32_MAX};
  for (std::int32_t a : wild) {
    for (std::int32_t b : wild) {
      board_.writeTemp(a, b, a);
      board_.writeRegister(a, b);
    }
    TempReading t;
    board_.readTemp(a, t);
    board_.open(a);
    board_.readRegister(a);
    board_.readAnalog(a);
    board_.setRelays(a);
    board_.setEnables(a);
    board_.forceFan(a);
    board_.diagLed(a);
    board_.initTemp(a);
  }
  board_.setEnables(0);
  board_.initTemp(0);
  board_.forceFan(0);

  now_ += std::chrono::hours(24 * 400);  // a long sleep: settled, still cycling
  for (int s = 0; s < kSensors; ++s) {
    EXPECT_GT(board_.temperature(s), 15.0);
    EXPECT_LT(board_.temperature(s), 40.0);
  }
  const double t = board_.secondsSincePowerUp();
  now_ -= 1h;  // a clock stepping back changes nothing
  EXPECT_EQ(board_.secondsSincePowerUp(), t);
  now_ = SimTime::max();
  EXPECT_TRUE(std::isfinite(board_.temperature(0)));
}

}  // namespace
}  // namespace kvn::sim
