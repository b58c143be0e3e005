// What the strip chart window works with: the board, the program-wide values
// and the platform's boxes and keyboard, and the chart's own values that
// outlive the window.
#pragma once

#include <cstdint>
#include <string>

#include "chart/channel_table.h"
#include "driver/board_driver.h"
#include "shared/platform.h"
#include "shared/program_values.h"

namespace kvn {

// Chart values that live for the whole run, whether the window is open or not.
struct ChartValues {
  ChanTable chanTable{};
  // The record the channel settings dialog edits; set by the Settings button.
  std::int16_t editChan = 0;
  // True in Global operation, false in Independent operation.
  bool globalScale = false;
};

struct ChartContext {
  BoardDriver& driver;
  ProgramValues& values;
  Dialogs& dialogs;
  KeyState& keys;
  ChartValues& chart;
  // The folder of Settings.txt and the export files: the one that holds the
  // executable, or the user's data folder when that one cannot be written.
  std::string filesDir;
};

}  // namespace kvn
