// A board driver for tests: records every call as text ("vbapp_Open(2)") and
// returns scripted results.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "driver/board_driver.h"

namespace kvn::test {

class FakeDriver : public BoardDriver {
 public:
  FakeDriver();

  // Results handed out one by one for the named function; after the queue is
  // used up, the function returns its default result.
  void script(const std::string& function, std::vector<std::int32_t> results);
  void setDefault(const std::string& function, std::int32_t result);

  // Calls recorded so far, and how many of them went to one function.
  std::vector<std::string> calls;
  int count(const std::string& function) const;
  // The calls to one function only, in order.
  std::vector<std::string> callsTo(const std::string& function) const;

  // What vbapp_CardRangesL writes, and what envReadTemp writes.
  CardRanges ranges;
  std::int32_t tempCurrent = 0, tempHigh = 0, tempLow = 0, tempFourth = 0;
  bool simulated = false;

  std::int32_t vbapp_Open(std::int32_t card) override;
  std::int32_t vbapp_Close() override;
  std::int32_t vbapp_LedOn() override;
  std::int32_t vbapp_LedOff() override;
  std::int32_t vbapp_Read(std::int32_t offset) override;
  std::int32_t vbapp_Write(std::int32_t offset, std::int32_t value) override;
  std::int32_t vbapp_Test(std::int32_t value) override;
  std::int32_t vbapp_Version() override;
  std::int32_t vbapp_CardRangesL(CardRanges& out) override;
  std::int32_t envReadTemp(std::int32_t& current, std::int32_t& high, std::int32_t& low,
                           std::int32_t& fourth, std::int32_t sensor) override;
  std::int32_t envWriteTemp(std::int32_t high, std::int32_t low, std::int32_t sensor) override;
  std::int32_t envReadAna(std::int32_t code) override;
  std::int32_t envReadDig() override;
  std::int32_t envSetDig(std::int32_t value) override;
  std::int32_t envSetEnables(std::int32_t value) override;
  std::int32_t dazEvo(std::int32_t value) override;
  bool isSimulated() const override { return simulated; }

 private:
  std::int32_t record(const std::string& function, const std::vector<std::int32_t>& args);
  std::map<std::string, std::deque<std::int32_t>> scripted_;
  std::map<std::string, std::int32_t> defaults_;
};

}  // namespace kvn::test
