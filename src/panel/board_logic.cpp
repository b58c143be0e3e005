#include "panel/board_logic.h"

#include "common/num_forms.h"

namespace kvn {

namespace {

// Blank-padded to the width, the text in the middle (one blank more on the
// right when the padding is odd). Text as wide or wider stands as it is.
std::string Centred(std::string_view text, std::size_t width) {
  if (text.size() >= width) return std::string(text);
  const std::size_t left = (width - text.size()) / 2;
  std::string out(left, ' ');
  out += text;
  out.append(width - out.size(), ' ');
  return out;
}

// What the user is told about a set point that cannot be written.
std::string SetPointProblem(const char* field, SetPoint::Status status) {
  switch (status) {
    case SetPoint::Status::kNotANumber:
      return std::string(field) + " is not a number.\r\n";
    case SetPoint::Status::kOutOfRange:
      return std::string(field) + " is out of range.\r\n";
    case SetPoint::Status::kOk:
      break;
  }
  return {};
}

}  // namespace

SetPoint ParseSetPoint(std::string_view text) {
  SetPoint out;
  const NumberScan scan = ScanNumber(text);
  if (!scan.hasDigits) {
    out.status = SetPoint::Status::kNotANumber;
    return out;
  }
  const double doubled = scan.value * 2.0;
  if (!FitsInt32(doubled)) {
    out.status = SetPoint::Status::kOutOfRange;
    return out;
  }
  out.status = SetPoint::Status::kOk;
  out.halfDegrees = ToInt32(doubled);
  return out;
}

std::optional<std::string> WriteSetPoints(BoardDriver& driver, ProgramValues& values,
                                          std::string_view highText, std::string_view lowText,
                                          std::int32_t sensor) {
  const SetPoint high = ParseSetPoint(highText);
  const SetPoint low = ParseSetPoint(lowText);
  if (high.status != SetPoint::Status::kOk || low.status != SetPoint::Status::kOk) {
    return SetPointProblem("High Temp", high.status) + SetPointProblem("Low Temp", low.status) +
           "The set points were not written. Type each in degrees, for instance 30 or 25.5.";
  }
  values.TempHighSet = high.halfDegrees;
  values.TempLowSet = low.halfDegrees;
  values.TempSensorNum = sensor;
  driver.envWriteTemp(values.TempHighSet, values.TempLowSet, values.TempSensorNum);
  return std::nullopt;
}

std::int32_t SensorNumber(std::string_view text) {
  return text.empty() ? 0 : ToInt32(NumValue(text));
}

bool ChannelInRange(int channel, double start, double end) {
  const double n = channel;
  return n >= start && n <= end;
}

std::vector<int> ChannelsInRange(double start, double end) {
  std::vector<int> out;
  for (int n = 0; n < kAnalogChannels; ++n) {
    if (ChannelInRange(n, start, end)) out.push_back(n);
  }
  return out;
}

std::string ChannelCaption(std::int32_t channel) { return "Channel" + SignedDecimal(channel); }

std::int32_t NewOutputValue(std::int32_t current, bool ticked, OutputBit output) {
  return ticked ? (current | output.bit) : (current & output.mask);
}

std::int32_t RelaysFromReadBack(std::int32_t readBack) { return readBack / 16; }

void SetThermostatDisable(BoardDriver& driver, bool ticked, OutputBit output) {
  const std::int32_t current = driver.envSetEnables(-1);
  driver.envSetEnables(NewOutputValue(current, ticked, output));
}

void SetRelay(BoardDriver& driver, bool ticked, OutputBit output) {
  const std::int32_t current = RelaysFromReadBack(driver.envSetDig(-1));
  driver.envSetDig(NewOutputValue(current, ticked, output));
}

std::int32_t RegisterOffset(std::string_view text) { return ToInt32(NumValue(text)); }

std::string ReadRegister(BoardDriver& driver, std::string_view offsetText) {
  return "&H" + HexText(driver.vbapp_Read(RegisterOffset(offsetText)));
}

std::optional<std::string> WriteRegister(BoardDriver& driver, std::string_view offsetText,
                                         std::string_view valueText) {
  const std::int32_t offset = RegisterOffset(offsetText);
  const double value = NumValue(valueText);
  if (!FitsInt32(value)) {
    return "Data is out of range: a register takes -2147483648 to 2147483647 "
           "(&H0 to &HFFFFFFFF). Nothing was written.";
  }
  driver.vbapp_Write(offset, ToInt32(value));
  return std::nullopt;
}

std::string DllTestText(std::int32_t result) {
  if (result == 2 * kDllTestValue) return "DLL Properly Attached";
  return "DLL Error O:" + NumText(kDllTestValue) + "  I:" + NumText(result);
}

std::string DllVersionText(std::int32_t version) {
  const std::string s = NumText(version);
  // The first character, two from the third on, the last two: each part cut
  // short (or empty) where s ends.
  const std::string first = s.substr(0, 1);
  const std::string middle = s.size() > 2 ? s.substr(2, 2) : std::string();
  const std::string last = s.size() > 2 ? s.substr(s.size() - 2) : s;  // all of a short s
  return "DLL Version: " + first + "." + middle + "." + last;
}

std::string ContactText() {
  const char* const lines[] = {
      "korvan Environmental Board",
      "       Version 1.00.03    ",
      "",
      "www.korvan.example",
      "Tel. (555) 555-0142",
      "Anytown, ZZ, Nowhere",
  };
  std::string out;
  for (const char* line : lines) {
    out += Centred(line, kContactWidth);
    out += '\r';
  }
  return out;
}

std::string QuickStartText() {
  return "Quick Start\r\n"
         "\r\n"
         "Temperature Information: pick the sensor, click Read for the temperature "
         "and set points in degrees; type new High and Low set points and click "
         "Set Hi/Lo to write them. Hi and Lo tick while the board reports the "
         "temperature beyond a set point.\r\n"
         "\r\n"
         "Analog Information: Analog Read reads the channels from Start to End. "
         "Click a reading (or the frame) to choose that channel's input format "
         "and the Start and End channels; Return goes back.\r\n"
         "\r\n"
         "Board Function: the boxes act at once on the thermostats, the fan and "
         "the relays; Input 0 and Input 1 show the board's inputs.\r\n"
         "\r\n"
         "PC/104 Interface: LED On and LED Off switch the diagnostic LED; Read and "
         "Write move the Data value (&H for hexadecimal) from or to the register "
         "at the chosen Offset.\r\n"
         "\r\n"
         "Function: Continuous Scan keeps the readings current; Logging writes "
         "them to kvnvb_DazEvo.Log.";
}

}  // namespace kvn
