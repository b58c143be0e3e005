#include "support/fake_driver.h"

#include <algorithm>

namespace kvn::test {

FakeDriver::FakeDriver() {
  defaults_["vbapp_Open"] = kDriverOpened;
  ranges.ioCount = 2;
  ranges.ioBase[0] = 0x300;
  ranges.ioBase[1] = 0x340;
  ranges.ioExtent[0] = 16;
  ranges.ioExtent[1] = 16;
}

void FakeDriver::script(const std::string& function, std::vector<std::int32_t> results) {
  auto& q = scripted_[function];
  q.insert(q.end(), results.begin(), results.end());
}

void FakeDriver::setDefault(const std::string& function, std::int32_t result) {
  defaults_[function] = result;
}

int FakeDriver::count(const std::string& function) const {
  return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) {
    return c.compare(0, function.size() + 1, function + "(") == 0;
  }));
}

std::vector<std::string> FakeDriver::callsTo(const std::string& function) const {
  std::vector<std::string> out;
  for (const auto& c : calls)
    if (c.compare(0, function.size() + 1, function + "(") == 0) out.push_back(c);
  return out;
}

std::int32_t FakeDriver::record(const std::string& function,
                                const std::vector<std::int32_t>& args) {
  std::string text = function + "(";
  for (std::size_t i = 0; i < args.size(); ++i)
    text += (i ? "," : "") + std::to_string(args[i]);
  calls.push_back(text + ")");
  auto& q = scripted_[function];
  if (!q.empty()) {
    const std::int32_t r = q.front();
    q.pop_front();
    return r;
  }
  const auto d = defaults_.find(function);
  return d == defaults_.end() ? 0 : d->second;
}

std::int32_t FakeDriver::vbapp_Open(std::int32_t card) { return record("vbapp_Open", {card}); }
std::int32_t FakeDriver::vbapp_Close() { return record("vbapp_Close", {}); }
std::int32_t FakeDriver::vbapp_LedOn() { return record("vbapp_LedOn", {}); }
std::int32_t FakeDriver::vbapp_LedOff() { return record("vbapp_LedOff", {}); }
std::int32_t FakeDriver::vbapp_Read(std::int32_t offset) { return record("vbapp_Read", {offset}); }
std::int32_t FakeDriver::vbapp_Write(std::int32_t offset, std::int32_t value) {
  return record("vbapp_Write", {offset, value});
}
std::int32_t FakeDriver::vbapp_Test(std::int32_t value) { return record("vbapp_Test", {value}); }
std::int32_t FakeDriver::vbapp_Version() { return record("vbapp_Version", {}); }
std::int32_t FakeDriver::vbapp_CardRangesL(CardRanges& out) {
  out = ranges;
  return record("vbapp_CardRangesL", {});
}
std::int32_t FakeDriver::envReadTemp(std::int32_t& current, std::int32_t& high,
                                     std::int32_t& low, std::int32_t& fourth,
                                     std::int32_t sensor) {
  current = tempCurrent;
  high = tempHigh;
  low = tempLow;
  fourth = tempFourth;
  return record("envReadTemp", {sensor});
}
std::int32_t FakeDriver::envWriteTemp(std::int32_t high, std::int32_t low, std::int32_t sensor) {
  return record("envWriteTemp", {high, low, sensor});
}
std::int32_t FakeDriver::envReadAna(std::int32_t code) { return record("envReadAna", {code}); }
std::int32_t FakeDriver::envReadDig() { return record("envReadDig", {}); }
std::int32_t FakeDriver::envSetDig(std::int32_t value) { return record("envSetDig", {value}); }
std::int32_t FakeDriver::envSetEnables(std::int32_t value) {
  return record("envSetEnables", {value});
}
std::int32_t FakeDriver::dazEvo(std::int32_t value) { return record("dazEvo", {value}); }

}  // namespace kvn::test
