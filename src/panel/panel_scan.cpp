#include "panel/panel_scan.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "logging/log_record.h"
#include "panel/board_logic.h"

namespace kvn {

namespace {

// The tick counter is 16 bits wide: a longer period is taken as the longest
// it can count.
constexpr double kMaxLogPeriodTicks = 32767;

}  // namespace

PanelScan::PanelScan(BoardDriver& driver, ProgramValues& values, Clock& clock)
    : driver_(driver), values_(values), clock_(clock) {}

void PanelScan::setAnalogRange(double start, double end) {
  rangeStart_ = start;
  rangeEnd_ = end;
}

void PanelScan::addRecordTaker(RecordTaker taker) { takers_.push_back(std::move(taker)); }

void PanelScan::addReadingsListener(ReadingsListener listener) {
  listeners_.push_back(std::move(listener));
}

LogWriter& PanelScan::log() {
  if (!log_) log_ = std::make_unique<LogWriter>(clock_, values_.logFilePath());
  return *log_;
}

void PanelScan::readTemperature() {
  takeTemperature(clock_.wallTime());
  tell({.temperature = true});
}

void PanelScan::readAnalog() { tell({.analog = takeAnalog(clock_.wallTime())}); }

void PanelScan::takeTemperature(Readings::Time now) {
  ProgramValues& v = values_;
  v.TempSensorNum = sensor_;
  driver_.envReadTemp(v.TempCurrent, v.TempHighSet, v.TempLowSet, v.TempFourth, v.TempSensorNum);
  v.TempCurrent = SignCorrect(v.TempCurrent);
  v.TempHighSet = SignCorrect(v.TempHighSet);
  v.TempLowSet = SignCorrect(v.TempLowSet);
  readings_.temperature = Readings::Temperature{v.TempSensorNum, v.TempCurrent, v.TempHighSet,
                                                v.TempLowSet};
  readings_.temperatureRead = now;
}

std::uint16_t PanelScan::takeAnalog(Readings::Time now) {
  std::uint16_t read = 0;
  for (const int n : ChannelsInRange(rangeStart_, rangeEnd_)) {
    read |= static_cast<std::uint16_t>(1U << n);
    const std::int32_t format = values_.anaFormat[static_cast<std::size_t>(n)];
    const std::int32_t value = driver_.envReadAna(AnalogChannelCode(format, n));
    readings_.analog[static_cast<std::size_t>(n)] = Readings::Analog{value, format};
  }
  readings_.analogRead = now;
  return read;
}

void PanelScan::tick() {
  const Readings::Time now = clock_.wallTime();
  readings_.status = Readings::Status{driver_.envReadDig()};
  readings_.statusRead = now;

  const bool pacing = logState() != LogState::kClosed || !takers_.empty();
  if (!pacing && !continuous_) {
    tell({.status = true});
    return;
  }
  takeTemperature(now);
  const ReadGroups groups{.status = true, .temperature = true, .analog = takeAnalog(now)};
  tell(groups);
  if (pacing) paceRecord(groups);
}

void PanelScan::paceRecord(ReadGroups groups) {
  const double period = std::min(logPeriod_, kMaxLogPeriodTicks);
  if (period > logTick_) {
    ++logTick_;
    return;
  }
  logTick_ = 0;
  const LogState state = logState();
  if (state == LogState::kPaused) return;
  if (state == LogState::kClosed) {
    for (const RecordTaker& taker : takers_) taker(readings_, groups);
    return;
  }
  const LogResult result = log().record(DataRecordText(readings_));
  if (!result) ++recordsWritten_;
  // Before the log's own listener, whose box about a failed write may wait
  // for the user: the reading goes out whether or not the log took it.
  for (const RecordTaker& taker : takers_) taker(readings_, groups);
  if (onRecord_) onRecord_(result);
}

void PanelScan::tell(ReadGroups groups) {
  for (const ReadingsListener& listener : listeners_) listener(readings_, groups);
}

}  // namespace kvn
