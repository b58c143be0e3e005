// The values that live for the whole run of the program and are shared by
// its windows, the scan, the log and the chart.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "common/text_file.h"
#include "driver/board_codes.h"
#include "driver/board_driver.h"

namespace kvn {

inline constexpr const char* kAppName = "kvnvb_DazEvo";
// Title of every message box that does not name its own.
inline constexpr const char* kAppTitle = "kvnvb_DazEvo";
inline constexpr const char* kMainCaption = "korvan PC/104 Environmental Fan Access Panel";
inline constexpr const char* kSimulatedSuffix = " (simulated board)";

// The board function outputs as the panel last wrote them, each absent until
// it first did: what was sent, not what the board reads back.
struct BoardOutputs {
  std::optional<bool> highThermostatDisabled;
  std::optional<bool> lowThermostatDisabled;
  std::optional<bool> relay0;
  std::optional<bool> relay1;
  std::optional<bool> fanForced;
};

struct ProgramValues {
  // The working directory at start-up: home of the state file and the log.
  std::string appDir;
  std::string appName = kAppName;

  // Board connection.
  std::int32_t brdStatus = 0;     // result of the latest vbapp_Open
  std::int32_t brdAddrIndex = 0;  // selected bus address entry = card index
  CardRanges cardRanges;

  // Temperature, in half degrees, and the sensor they belong to.
  std::int32_t TempCurrent = 0;
  std::int32_t TempHighSet = 0;
  std::int32_t TempLowSet = 0;
  std::int32_t TempFourth = 0;  // fourth output of envReadTemp; nothing reads it
  std::int32_t TempSensorNum = 0;

  // Input format 0..3 of each analog channel 0..8.
  std::array<std::int32_t, kAnalogChannels> anaFormat{};

  BoardOutputs outputs;

  std::string stateFilePath() const { return JoinPath(appDir, appName + ".set"); }
  std::string logFilePath() const { return JoinPath(appDir, appName + ".Log"); }
};

}  // namespace kvn
