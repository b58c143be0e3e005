// A simulated environmental board: two temperature sensors with set points,
// a fan driven by two thermostats (or forced on), two relays looped back to
// the two digital inputs, a diagnostic LED, nine analog inputs on an 8-bit
// converter and sixteen registers.
//
// The model is plain C++ with no toolkit. Time comes from an injected clock;
// every board operation first brings the model up to the clock's "now", so a
// test can drive minutes of simulated time with a hand-set clock, and the
// shared library runs the same model on the steady clock.
//
// Temperatures and set points are 9-bit two's complement half degrees
// (0..255 = 0..127.5 C, 256..511 = -128..-0.5 C).
//
// Sensor 0 is the one that matters: its reading against its set points gives
// the status bits and drives the thermostats. Sensor 1 sits a little warmer
// on the same heat path and only reports against its own set points.
//
// Fan: runs while forced on, or while an enabled thermostat calls for it. The
// high thermostat (unless disabled by bit 1 of the enables) calls while
// sensor 0 reads above the high set point. The low thermostat (unless
// disabled by bit 0) keeps the fan running, once the high one has started
// it, until sensor 0 reads below the low set point.
//
// Status word (status()):
//   bit 0  sensor 0 below its low set point
//   bit 1  sensor 0 above its high set point
//   bit 2  fan running (forced or by a thermostat)
//   bit 4  input 0: clear while relay 0 is on, set otherwise
//   bit 5  input 1: clear while relay 1 is on, set otherwise
//   other bits are 0.
//
// Analog inputs: code = 128 + 32 * format + channel (bit 7 set, bits 6..5
// format, bits 4..0 channel 0..8). Anything else reads 0. Formats, all at
// 19.5 mV per count:
//   0 single-ended unipolar    0..255   (0 .. 5 V)
//   1 single-ended bipolar  -128..127   (-2.5 .. 2.5 V)
//   2 differential unipolar    0..255   (channel minus its partner)
//   3 differential bipolar  -128..127   (channel minus its partner)
// Partners: 0/1, 2/3, 4/5, 6/7 both ways round (1 reads 1 minus 0), and 8
// reads 8 minus 7. A reading beyond its format's range saturates.
// Inputs: 0 temperature of sensor 0 (2 counts per degree), 1..2, 4..8 test
// waveforms with periods from 30 s to 200 s (2 and 4 swing below 0 V), 3 the
// humidity sensor (slow, five minutes). Every reading carries up to +/-2
// counts of repeatable pseudo-noise that changes every 100 ms.
//
// Register map (offset: meaning; RO = writes ignored):
//   +0  status word as above                                            RO
//   +1  relays: bit 1 relay 0, bit 0 relay 1; a write sets them
//   +2  thermostat disables (low byte; bit 0 low, bit 1 high off); a write sets them
//   +3  bit 0 fan forced, bit 1 fan running (RO), bit 2 LED; a write sets bits 0 and 2
//   +4  sensor 0 temperature, raw 9-bit                                 RO
//   +5  sensor 0 high set point, raw 9-bit; a write stores value & 0x1FF
//   +6  sensor 0 low set point, raw 9-bit; a write stores value & 0x1FF
//   +7  sensor 1 temperature, raw 9-bit                                 RO
//   +8  sensor 1 high set point, as +5
//   +9  sensor 1 low set point, as +6
//   +10..+15  general purpose: keep the full 32-bit value written, 0 at power-up
//   any other offset reads -1 (nothing answers on the bus) and ignores writes.
//
// The board answers whether or not it has been opened: opening only picks
// one of its two I/O ranges, the way the real card's decoder would.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>

namespace kvn::sim {

// Time on the injected clock. Only differences matter; the first reading is
// the board's power-up.
using SimTime = std::chrono::nanoseconds;
using Clock = std::function<SimTime()>;

struct Ranges {
  static constexpr int kMax = 8;
  std::int32_t cardAux = 0;
  std::int32_t ioCount = 0;
  std::int32_t memCount = 0;
  std::array<std::int32_t, kMax> ioBase{};
  std::array<std::int32_t, kMax> ioExtent{};
  std::array<std::int32_t, kMax> ioAux{};
  std::array<std::int32_t, kMax> memBase{};
  std::array<std::int32_t, kMax> memExtent{};
  std::array<std::int32_t, kMax> memAux{};
};

// One temperature read, all raw 9-bit except `flags`: bit 0 this sensor
// below its low set point, bit 1 above its high set point.
struct TempReading {
  std::int32_t current = 0;
  std::int32_t high = 0;
  std::int32_t low = 0;
  std::int32_t flags = 0;
};

// Results of open().
inline constexpr std::int32_t kOpenAlreadyOpen = 0;
inline constexpr std::int32_t kOpenFailed = 1;
inline constexpr std::int32_t kOpenOk = 2;

inline constexpr std::int32_t kVersion = 10003;  // 1.00.03
inline constexpr int kSensors = 2;
inline constexpr int kAnalogChannels = 9;
inline constexpr int kRegisters = 16;

// Status word bits.
inline constexpr std::int32_t kStatusBelowLow = 1 << 0;
inline constexpr std::int32_t kStatusAboveHigh = 1 << 1;
inline constexpr std::int32_t kStatusFan = 1 << 2;
inline constexpr std::int32_t kStatusInput0 = 1 << 4;
inline constexpr std::int32_t kStatusInput1 = 1 << 5;

// Bits of setRelays() and register +1.
inline constexpr std::int32_t kRelay0 = 1 << 1;
inline constexpr std::int32_t kRelay1 = 1 << 0;

// Bits of setEnables() and register +2.
inline constexpr std::int32_t kLowThermostatOff = 1 << 0;
inline constexpr std::int32_t kHighThermostatOff = 1 << 1;

// Register offsets.
enum Reg : std::int32_t {
  kRegStatus = 0,
  kRegRelays = 1,
  kRegEnables = 2,
  kRegFanLed = 3,
  kRegTemp0 = 4,
  kRegHigh0 = 5,
  kRegLow0 = 6,
  kRegTemp1 = 7,
  kRegHigh1 = 8,
  kRegLow1 = 9,
  kRegScratchFirst = 10,
};
// Bits of register +3.
inline constexpr std::int32_t kFanLedForced = 1 << 0;
inline constexpr std::int32_t kFanLedRunning = 1 << 1;
inline constexpr std::int32_t kFanLedLed = 1 << 2;

// Set points at power-up: 30 C high, 20 C low, so that the default
// thermostats visibly cycle the fan between them.
inline constexpr std::int32_t kDefaultHigh = 60;
inline constexpr std::int32_t kDefaultLow = 40;

// Signed half degrees to the 9-bit form. Values beyond -128..127.5 C
// saturate instead of wrapping round to the other end of the scale.
std::int32_t EncodeHalfDegrees(std::int64_t halfDegrees);
// The 9-bit form (bits above 8 ignored) to signed half degrees.
std::int32_t DecodeHalfDegrees(std::int32_t raw);

class SimBoard {
 public:
  explicit SimBoard(Clock clock);

  // Connection: kOpenOk for card 0 or 1 (the two I/O ranges), kOpenFailed
  // for any other, kOpenAlreadyOpen while open. close() always returns 0.
  std::int32_t open(std::int32_t card);
  std::int32_t close();
  bool isOpen() const { return open_; }

  static std::int32_t test(std::int32_t value);  // 2 * value, wrapping in 32 bits
  static std::int32_t version() { return kVersion; }
  static Ranges cardRanges();

  void setLed(bool on);

  std::int32_t readRegister(std::int32_t offset);
  void writeRegister(std::int32_t offset, std::int32_t value);

  // Sensors other than 0 and 1 read all zeros and ignore writes; the result
  // is then -1, otherwise 0. Set points are signed half degrees.
  std::int32_t readTemp(std::int32_t sensor, TempReading& out);
  std::int32_t writeTemp(std::int32_t high, std::int32_t low, std::int32_t sensor);
  // Puts a sensor's set points back to their power-up values.
  std::int32_t initTemp(std::int32_t sensor);

  std::int32_t readAnalog(std::int32_t code);
  std::int32_t status();

  // -1 reads; any other value sets. Both return the state afterwards in the
  // read form: relays four places higher (bit 5 relay 0, bit 4 relay 1);
  // enables as stored (low byte).
  std::int32_t setRelays(std::int32_t value);
  std::int32_t setEnables(std::int32_t value);

  // Bit 0 forces the fan on (1) or releases it (0). Returns the forced state.
  std::int32_t forceFan(std::int32_t value);

  // Configuration word: bits 0..1 thermostat disables, bit 2 fan forced,
  // bit 3 LED, bit 4 relay 1, bit 5 relay 0, bit 8 open.
  std::int32_t readConfig();
  // Non-zero lights the LED. Returns the LED state before the call (0 or 1).
  std::int32_t diagLed(std::int32_t on);

  // The model's own view, for tests.
  double temperature(int sensor);  // degrees C, before quantisation
  bool fanRunning();
  double secondsSincePowerUp();

 private:
  struct Sensor {
    double body = 0;     // heat sink the sensor is mounted on, C
    double reading = 0;  // the sensor itself, lagging the body, C
    std::int32_t high = kDefaultHigh;
    std::int32_t low = kDefaultLow;
  };

  void advance();
  void step(double seconds);
  void updateThermostats();
  std::int32_t halfDegrees(int sensor) const;
  std::int32_t flags(int sensor) const;
  std::int32_t statusNow() const;
  std::int32_t fanLedBits() const;
  std::int32_t analogCounts(int channel) const;

  Clock clock_;
  SimTime last_{};
  std::int64_t elapsedNs_ = 0;

  std::array<Sensor, kSensors> sensors_{};
  bool forced_ = false;
  bool lowLatch_ = false;       // low thermostat holding the fan on
  bool thermostatCalls_ = false;
  std::int32_t relays_ = 0;
  std::int32_t enables_ = 0;
  bool led_ = false;
  bool open_ = false;
  std::array<std::int32_t, kRegisters> scratch_{};
};

}  // namespace kvn::sim
