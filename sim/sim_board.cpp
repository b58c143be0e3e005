#include "sim/sim_board.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace kvn::sim {
namespace {

// Thermal model. Each sensor sits on a body that warms towards `warm` with
// the fan off and cools towards `cool` with it running; the sensor follows
// its body with a short lag, which makes the readings overshoot the set
// points a little, as a real sensor does.
constexpr double kStartC[kSensors] = {24.0, 25.0};
constexpr double kWarmC[kSensors] = {35.0, 36.5};
constexpr double kCoolC[kSensors] = {18.0, 19.5};
constexpr double kHeatTau = 240.0;   // s, fan off
constexpr double kFanTau = 90.0;     // s, fan running
constexpr double kSensorTau = 45.0;  // s

// Integration step, and how much of a long gap between calls is integrated.
// After an hour the temperatures have settled (or are cycling the fan), so
// only the last hour of a longer gap is worked through; that keeps a jump of
// days as cheap as one of an hour.
constexpr double kStepSeconds = 0.25;
constexpr std::int64_t kMaxCatchUpNs = 3600LL * 1'000'000'000LL;

constexpr std::int64_t kNoiseTickNs = 100'000'000;  // noise changes every 100 ms
constexpr std::uint64_t kNoiseSeed = 0x6b766e5f73696d31ULL;

constexpr std::int32_t kUnipolarMin = 0;
constexpr std::int32_t kUnipolarMax = 255;
constexpr std::int32_t kBipolarMin = -128;
constexpr std::int32_t kBipolarMax = 127;

double Approach(double from, double to, double seconds, double tau) {
  return from + (to - from) * (1.0 - std::exp(-seconds / tau));
}

double Sine(double t, double period, double phase) {
  return std::sin(2.0 * std::numbers::pi * (t / period + phase));
}

// -1..1..-1 over one period.
double Triangle(double t, double period, double phase) {
  double x = t / period + phase;
  x -= std::floor(x);
  return x < 0.5 ? 4.0 * x - 1.0 : 3.0 - 4.0 * x;
}

std::uint64_t SplitMix64(std::uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

// -2..2 counts, mostly -1..1; the same for one channel within one tick.
int Noise(int channel, std::int64_t tick) {
  const std::uint64_t h = SplitMix64(kNoiseSeed ^ (static_cast<std::uint64_t>(tick) * 16u +
                                                   static_cast<std::uint64_t>(channel)));
  return static_cast<int>(h % 3) - 1 + static_cast<int>((h >> 32) % 3) - 1;
}

int Partner(int channel) { return channel == 8 ? 7 : channel ^ 1; }

bool ValidSensor(std::int32_t sensor) { return sensor >= 0 && sensor < kSensors; }

}  // namespace

std::int32_t EncodeHalfDegrees(std::int64_t halfDegrees) {
  const auto clamped = static_cast<std::int32_t>(std::clamp<std::int64_t>(halfDegrees, -256, 255));
  return clamped & 0x1FF;
}

std::int32_t DecodeHalfDegrees(std::int32_t raw) {
  const std::int32_t v = raw & 0x1FF;
  return v > 255 ? v - 512 : v;
}

SimBoard::SimBoard(Clock clock) : clock_(std::move(clock)) {
  last_ = clock_();
  for (int s = 0; s < kSensors; ++s) {
    sensors_[static_cast<std::size_t>(s)].body = kStartC[s];
    sensors_[static_cast<std::size_t>(s)].reading = kStartC[s];
  }
  updateThermostats();
}

void SimBoard::advance() {
  const SimTime now = clock_();
  if (now <= last_) return;  // a clock that stands still or steps back changes nothing
  // The difference of two int64 counts always fits in uint64.
  const std::uint64_t gap =
      static_cast<std::uint64_t>(now.count()) - static_cast<std::uint64_t>(last_.count());
  last_ = now;
  const auto maxElapsed = static_cast<std::uint64_t>(INT64_MAX - elapsedNs_);
  elapsedNs_ += static_cast<std::int64_t>(std::min(gap, maxElapsed));

  double remaining =
      static_cast<double>(std::min<std::uint64_t>(gap, kMaxCatchUpNs)) / 1e9;
  while (remaining > 0) {
    const double dt = std::min(remaining, kStepSeconds);
    step(dt);
    remaining -= dt;
  }
}

void SimBoard::step(double seconds) {
  updateThermostats();
  const bool fan = forced_ || thermostatCalls_;
  for (int s = 0; s < kSensors; ++s) {
    Sensor& sensor = sensors_[static_cast<std::size_t>(s)];
    sensor.body = Approach(sensor.body, fan ? kCoolC[s] : kWarmC[s], seconds,
                           fan ? kFanTau : kHeatTau);
    sensor.reading = Approach(sensor.reading, sensor.body, seconds, kSensorTau);
  }
  updateThermostats();
}

void SimBoard::updateThermostats() {
  const std::int32_t now = halfDegrees(0);
  const Sensor& s0 = sensors_[0];
  const bool highOn = (enables_ & kHighThermostatOff) == 0;
  const bool lowOn = (enables_ & kLowThermostatOff) == 0;
  const bool highCalls = highOn && now > DecodeHalfDegrees(s0.high);
  if (!lowOn || now < DecodeHalfDegrees(s0.low)) lowLatch_ = false;
  if (highCalls && lowOn) lowLatch_ = true;
  thermostatCalls_ = highCalls || lowLatch_;
}

std::int32_t SimBoard::halfDegrees(int sensor) const {
  const double half = std::round(sensors_[static_cast<std::size_t>(sensor)].reading * 2.0);
  return static_cast<std::int32_t>(std::clamp(half, -256.0, 255.0));
}

std::int32_t SimBoard::flags(int sensor) const {
  const Sensor& s = sensors_[static_cast<std::size_t>(sensor)];
  const std::int32_t now = halfDegrees(sensor);
  std::int32_t f = 0;
  if (now < DecodeHalfDegrees(s.low)) f |= kStatusBelowLow;
  if (now > DecodeHalfDegrees(s.high)) f |= kStatusAboveHigh;
  return f;
}

std::int32_t SimBoard::statusNow() const {
  std::int32_t v = flags(0);
  if (forced_ || thermostatCalls_) v |= kStatusFan;
  if ((relays_ & kRelay0) == 0) v |= kStatusInput0;
  if ((relays_ & kRelay1) == 0) v |= kStatusInput1;
  return v;
}

std::int32_t SimBoard::fanLedBits() const {
  std::int32_t v = 0;
  if (forced_) v |= kFanLedForced;
  if (forced_ || thermostatCalls_) v |= kFanLedRunning;
  if (led_) v |= kFanLedLed;
  return v;
}

std::int32_t SimBoard::open(std::int32_t card) {
  advance();
  if (open_) return kOpenAlreadyOpen;
  if (card != 0 && card != 1) return kOpenFailed;
  open_ = true;
  return kOpenOk;
}

std::int32_t SimBoard::close() {
  advance();
  open_ = false;
  return 0;
}

std::int32_t SimBoard::test(std::int32_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value) * 2u);
}

Ranges SimBoard::cardRanges() {
  Ranges r;
  r.cardAux = 1;  // cards found on the bus
  r.ioCount = 2;
  r.memCount = 0;
  r.ioBase[0] = 0x300;
  r.ioBase[1] = 0x340;
  r.ioExtent[0] = 16;
  r.ioExtent[1] = 16;
  r.ioAux[0] = 8;  // data width of the range, bits
  r.ioAux[1] = 8;
  return r;
}

void SimBoard::setLed(bool on) {
  advance();
  led_ = on;
}

std::int32_t SimBoard::readRegister(std::int32_t offset) {
  advance();
  switch (offset) {
    case kRegStatus: return statusNow();
    case kRegRelays: return relays_;
    case kRegEnables: return enables_;
    case kRegFanLed: return fanLedBits();
    case kRegTemp0: return EncodeHalfDegrees(halfDegrees(0));
    case kRegHigh0: return sensors_[0].high;
    case kRegLow0: return sensors_[0].low;
    case kRegTemp1: return EncodeHalfDegrees(halfDegrees(1));
    case kRegHigh1: return sensors_[1].high;
    case kRegLow1: return sensors_[1].low;
    default: break;
  }
  if (offset >= kRegScratchFirst && offset < kRegisters) {
    return scratch_[static_cast<std::size_t>(offset)];
  }
  return -1;
}

void SimBoard::writeRegister(std::int32_t offset, std::int32_t value) {
  advance();
  switch (offset) {
    case kRegRelays: relays_ = value & (kRelay0 | kRelay1); break;
    case kRegEnables: enables_ = value & 0xFF; break;
    case kRegFanLed:
      forced_ = (value & kFanLedForced) != 0;
      led_ = (value & kFanLedLed) != 0;
      break;
    case kRegHigh0: sensors_[0].high = value & 0x1FF; break;
    case kRegLow0: sensors_[0].low = value & 0x1FF; break;
    case kRegHigh1: sensors_[1].high = value & 0x1FF; break;
    case kRegLow1: sensors_[1].low = value & 0x1FF; break;
    default:
      if (offset >= kRegScratchFirst && offset < kRegisters) {
        scratch_[static_cast<std::size_t>(offset)] = value;
      }
      break;
  }
  updateThermostats();
}

std::int32_t SimBoard::readTemp(std::int32_t sensor, TempReading& out) {
  advance();
  out = TempReading{};
  if (!ValidSensor(sensor)) return -1;
  const auto s = static_cast<int>(sensor);
  const Sensor& sn = sensors_[static_cast<std::size_t>(s)];
  out.current = EncodeHalfDegrees(halfDegrees(s));
  out.high = sn.high;
  out.low = sn.low;
  out.flags = flags(s);
  return 0;
}

std::int32_t SimBoard::writeTemp(std::int32_t high, std::int32_t low, std::int32_t sensor) {
  advance();
  if (!ValidSensor(sensor)) return -1;
  Sensor& sn = sensors_[static_cast<std::size_t>(sensor)];
  sn.high = EncodeHalfDegrees(high);
  sn.low = EncodeHalfDegrees(low);
  updateThermostats();
  return 0;
}

std::int32_t SimBoard::initTemp(std::int32_t sensor) {
  advance();
  if (!ValidSensor(sensor)) return -1;
  Sensor& sn = sensors_[static_cast<std::size_t>(sensor)];
  sn.high = kDefaultHigh;
  sn.low = kDefaultLow;
  updateThermostats();
  return 0;
}

// The channel's input, in converter counts (19.5 mV each) with its noise,
// before the converter saturates it.
std::int32_t SimBoard::analogCounts(int channel) const {
  const double t = static_cast<double>(elapsedNs_) / 1e9;
  double v = 0;
  switch (channel) {
    case 0: v = 2.0 * sensors_[0].reading; break;
    case 1: v = 128 + 100 * Sine(t, 40, 0.00); break;
    case 2: v = 50 + 100 * Triangle(t, 75, 0.10); break;
    case 3: v = 115 + 25 * Sine(t, 300, 0.30); break;
    case 4: v = 100 * Sine(t, 30, 0.50); break;
    case 5: v = 128 + 102 * Triangle(t, 120, 0.20); break;
    case 6: v = 179 + 51 * Sine(t, 55, 0.70); break;
    case 7: v = 102 + 26 * Sine(t, 90, 0.40); break;
    case 8: v = 128 + 122 * Triangle(t, 200, 0.60); break;
    default: return 0;
  }
  return static_cast<std::int32_t>(std::round(v)) + Noise(channel, elapsedNs_ / kNoiseTickNs);
}

std::int32_t SimBoard::readAnalog(std::int32_t code) {
  advance();
  if (code < 128 || code > 255) return 0;
  const int format = (code >> 5) & 3;
  const int channel = code & 31;
  if (channel >= kAnalogChannels) return 0;
  std::int32_t counts = analogCounts(channel);
  if (format >= 2) counts -= analogCounts(Partner(channel));
  const bool bipolar = (format & 1) != 0;
  return bipolar ? std::clamp(counts, kBipolarMin, kBipolarMax)
                 : std::clamp(counts, kUnipolarMin, kUnipolarMax);
}

std::int32_t SimBoard::status() {
  advance();
  return statusNow();
}

std::int32_t SimBoard::setRelays(std::int32_t value) {
  advance();
  if (value != -1) relays_ = value & (kRelay0 | kRelay1);
  return relays_ << 4;
}

std::int32_t SimBoard::setEnables(std::int32_t value) {
  advance();
  if (value != -1) {
    enables_ = value & 0xFF;
    updateThermostats();
  }
  return enables_;
}

std::int32_t SimBoard::forceFan(std::int32_t value) {
  advance();
  forced_ = (value & 1) != 0;
  return forced_ ? 1 : 0;
}

std::int32_t SimBoard::readConfig() {
  advance();
  std::int32_t v = enables_ & (kLowThermostatOff | kHighThermostatOff);
  if (forced_) v |= 1 << 2;
  if (led_) v |= 1 << 3;
  v |= relays_ << 4;
  if (open_) v |= 1 << 8;
  return v;
}

std::int32_t SimBoard::diagLed(std::int32_t on) {
  advance();
  const std::int32_t before = led_ ? 1 : 0;
  led_ = on != 0;
  return before;
}

double SimBoard::temperature(int sensor) {
  advance();
  if (sensor < 0 || sensor >= kSensors) return 0;
  return sensors_[static_cast<std::size_t>(sensor)].reading;
}

bool SimBoard::fanRunning() {
  advance();
  return forced_ || thermostatCalls_;
}

double SimBoard::secondsSincePowerUp() {
  advance();
  return static_cast<double>(elapsedNs_) / 1e9;
}

}  // namespace kvn::sim
