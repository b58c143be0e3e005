// The main panel without its window: the scan timer's tick, the reads of the
// temperature and the analog inputs, the latest Readings, and the pacing of
// the log's data records. The window sets the inputs from its controls,
// forwards its Read buttons and shows what the listeners are told.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "driver/board_driver.h"
#include "logging/log_writer.h"
#include "shared/platform.h"
#include "shared/program_values.h"
#include "shared/readings.h"

namespace kvn {

class PanelScan {
 public:
  // Told after each tick and each read by hand, with the groups just read.
  using ReadingsListener = std::function<void(const Readings&, ReadGroups)>;
  // Told after each data record the scan wrote or tried to write.
  using RecordListener = std::function<void(const LogResult&)>;
  // Told of each record with the readings and the groups its tick read, when
  // the log writes one and, while no log is open, at the same pace.
  using RecordTaker = std::function<void(const Readings&, ReadGroups)>;

  // The board, the shared values and the clock must outlive the scan.
  PanelScan(BoardDriver& driver, ProgramValues& values, Clock& clock);

  // The inputs, as the panel's controls set them.
  void setSensor(std::int32_t sensor) { sensor_ = sensor; }
  std::int32_t sensor() const { return sensor_; }
  // The Start..End range of the analog read (see ChannelsInRange).
  void setAnalogRange(double start, double end);
  void setContinuousScan(bool on) { continuous_ = on; }
  // The logging period in scan ticks (the logging period field's number).
  void setLogPeriod(double ticks) { logPeriod_ = ticks; }

  // Sensor and set points into the shared values and the readings.
  void readTemperature();
  // The channels of the Start..End range, each in its format.
  void readAnalog();

  // One tick of the scan timer: the status bits; while Continuous Scan or
  // logging is on, the temperature and the analog range; while a log is
  // open, every period + 1 ticks, one data record if it is recording.
  void tick();

  const Readings& readings() const { return readings_; }
  void addReadingsListener(ReadingsListener listener);
  void setRecordListener(RecordListener listener) { onRecord_ = std::move(listener); }
  // With a taker the scan reads the sensors on every tick, as while logging,
  // and paces records whether or not a log is open.
  void addRecordTaker(RecordTaker taker);

  // The log, made on first use at the log file of the shared values.
  LogWriter& log();
  LogState logState() const { return log_ ? log_->state() : LogState::kClosed; }
  bool logFailed() const { return log_ && log_->failed(); }
  // Data records written to the log since the program started.
  std::uint64_t recordsWritten() const { return recordsWritten_; }

 private:
  void takeTemperature(Readings::Time now);
  // The analog inputs read, as ReadGroups::analog gives them.
  std::uint16_t takeAnalog(Readings::Time now);
  void tell(ReadGroups groups);
  void paceRecord(ReadGroups groups);

  BoardDriver& driver_;
  ProgramValues& values_;
  Clock& clock_;
  Readings readings_;
  std::vector<ReadingsListener> listeners_;
  RecordListener onRecord_;
  std::vector<RecordTaker> takers_;
  std::unique_ptr<LogWriter> log_;

  std::int32_t sensor_ = 0;
  double rangeStart_ = 0;
  double rangeEnd_ = 0;
  bool continuous_ = false;
  double logPeriod_ = 0;
  // Scan ticks counted since the latest data record.
  std::int16_t logTick_ = 0;
  std::uint64_t recordsWritten_ = 0;
};

}  // namespace kvn
