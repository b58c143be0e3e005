// The rules behind the main panel's board function controls, free of any
// window toolkit: temperature forms, analog channel codes and ranges, the
// read-modify-write of the relays and thermostat disables, and the texts of
// the Help and About boxes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/board_codes.h"
#include "driver/board_driver.h"
#include "shared/program_values.h"

namespace kvn {

// ---- Temperature ----------------------------------------------------------

// A set point typed in degrees, taken to half degrees.
struct SetPoint {
  enum class Status { kOk, kNotANumber, kOutOfRange };
  Status status = Status::kNotANumber;
  std::int32_t halfDegrees = 0;  // only meaningful with kOk
};

// Reads the text with the panel's number rule (ScanNumber), doubles it and
// rounds halves to the even neighbour (25.25 -> 50, 25.75 -> 52). A text
// counts as a number when its leading number holds at least one digit
// ("25", "-.5", " 30 C", "&H1E"); "", "abc", "-", "." and "&H" do not. A
// doubled value outside the 32-bit signed range is refused rather than
// clipped. No range check beyond that: the board gets what was typed.
SetPoint ParseSetPoint(std::string_view text);

// Set Hi/Lo: the set points typed in degrees, doubled, into the shared values
// and written to the board for the sensor. When either cannot be sent,
// nothing is written, the shared values stay as they were, and the message
// for the user says which field is wrong.
std::optional<std::string> WriteSetPoints(BoardDriver& driver, ProgramValues& values,
                                          std::string_view highText, std::string_view lowText,
                                          std::int32_t sensor);

// The sensor number from the text of the sensor list: 0 when nothing is
// selected, otherwise the number the text holds.
std::int32_t SensorNumber(std::string_view text);

// ---- Analog inputs --------------------------------------------------------

// Whether channel n lies in the Start..End range of the format frame, the
// range fields taken as numbers (NumValue) as they stand.
bool ChannelInRange(int channel, double start, double end);

// The channels 0..8 a read of Start..End covers, in ascending order: exactly
// those for which ChannelInRange holds. A range reaching beyond 0..8 is cut
// to it; fractional bounds cover the whole channels between them.
std::vector<int> ChannelsInRange(double start, double end);

// "Channel 3": the caption of the format frame for the channel it edits.
std::string ChannelCaption(std::int32_t channel);

// ---- Board function outputs -----------------------------------------------

// One output bit of envSetEnables or envSetDig: the bit value OR'ed in when
// its box is ticked, and the mask AND'ed in when it is cleared. The masks are
// 8-bit, so clearing also drops every bit from 8 up of what was read back.
struct OutputBit {
  std::int32_t bit;
  std::int32_t mask;
};
inline constexpr OutputBit kHighThermostatOff{2, 253};
inline constexpr OutputBit kLowThermostatOff{1, 254};
inline constexpr OutputBit kRelay0{2, 253};
inline constexpr OutputBit kRelay1{1, 254};

// The value to write: the current setting with the one bit set or cleared.
std::int32_t NewOutputValue(std::int32_t current, bool ticked, OutputBit output);

// envSetDig(-1) answers the relay bits four places higher.
std::int32_t RelaysFromReadBack(std::int32_t readBack);

// Thermostat disables and relays: read the board's setting back, change the
// one bit, write the whole setting. The other bit stays as the board has it.
void SetThermostatDisable(BoardDriver& driver, bool ticked, OutputBit output);
void SetRelay(BoardDriver& driver, bool ticked, OutputBit output);

// ---- Registers ------------------------------------------------------------

// The register offset from the text of the offset list ("+7" gives 7; empty
// text, nothing selected, gives 0).
std::int32_t RegisterOffset(std::string_view text);

// Read: the register's value as the Data field shows it ("&H1F").
std::string ReadRegister(BoardDriver& driver, std::string_view offsetText);

// Write: the Data field's number to the register. A number beyond 32 bits is
// not written; the message for the user says so.
std::optional<std::string> WriteRegister(BoardDriver& driver, std::string_view offsetText,
                                         std::string_view valueText);

// ---- Help and About -------------------------------------------------------

// The argument of vbapp_Test; an attached library answers twice it.
inline constexpr std::int32_t kDllTestValue = 25;

std::string DllTestText(std::int32_t result);

// "DLL Version: 1.00.03" from 10003: the first digit, the two from the
// third on, and the last two, cut short where the number is.
std::string DllVersionText(std::int32_t version);

// The Contact box: six lines of 26 characters, each ended by a carriage
// return alone.
inline constexpr const char* kContactTitle = "Contact Information";
inline constexpr std::size_t kContactWidth = 26;
std::string ContactText();

// The Help, Quick Start box.
std::string QuickStartText();

}  // namespace kvn
