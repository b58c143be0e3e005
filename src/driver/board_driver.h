// The board operations, as one C++ interface used by every part of the panel.
//
// Method names are the driver library's own function names. The real
// implementation calls the loaded library (LibraryDriver); tests use a fake
// that records calls and returns scripted results.
#pragma once

#include <array>
#include <cstdint>

namespace kvn {

// Resource ranges of one card, as the library reports them.
struct CardRanges {
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

// Results of vbapp_Open.
enum BoardStatus : std::int32_t {
  kDriverNotClosed = 0,
  kDriverDidNotOpen = 1,
  kDriverOpened = 2,
};

class BoardDriver {
 public:
  virtual ~BoardDriver() = default;

  virtual std::int32_t vbapp_Open(std::int32_t card) = 0;
  virtual std::int32_t vbapp_Close() = 0;
  virtual std::int32_t vbapp_LedOn() = 0;
  virtual std::int32_t vbapp_LedOff() = 0;
  virtual std::int32_t vbapp_Read(std::int32_t offset) = 0;
  virtual std::int32_t vbapp_Write(std::int32_t offset, std::int32_t value) = 0;
  virtual std::int32_t vbapp_Test(std::int32_t value) = 0;
  virtual std::int32_t vbapp_Version() = 0;
  virtual std::int32_t vbapp_CardRangesL(CardRanges& ranges) = 0;
  virtual std::int32_t envReadTemp(std::int32_t& current, std::int32_t& high, std::int32_t& low,
                                   std::int32_t& fourth, std::int32_t sensor) = 0;
  virtual std::int32_t envWriteTemp(std::int32_t high, std::int32_t low, std::int32_t sensor) = 0;
  virtual std::int32_t envReadAna(std::int32_t code) = 0;
  virtual std::int32_t envReadDig() = 0;
  virtual std::int32_t envSetDig(std::int32_t value) = 0;
  virtual std::int32_t envSetEnables(std::int32_t value) = 0;
  virtual std::int32_t dazEvo(std::int32_t value) = 0;

  // True when the library says it is a simulated board rather than real hardware.
  virtual bool isSimulated() const { return false; }
};

}  // namespace kvn
