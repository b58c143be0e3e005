// The board driver, as the maker's shared library loaded at run time.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "driver/board_driver.h"

namespace kvn {

// Loads the driver library and forwards every board operation to it.
//
// A library that is missing, or that lacks one of the functions the panel
// calls, is never called at all: every operation then returns 0, except
// vbapp_Open, which returns 1 (did not open), so start-up ends the way it ends
// for a board that does not answer.
class LibraryDriver final : public BoardDriver {
 public:
  // Remembers the library file; nothing is loaded until load().
  explicit LibraryDriver(std::string path);
  ~LibraryDriver() override;
  LibraryDriver(const LibraryDriver&) = delete;
  LibraryDriver& operator=(const LibraryDriver&) = delete;

  // The library file in the given folder, under its platform name.
  static std::string PathIn(const std::string& folder);

  // Loads the library and looks up every function. Nothing on success;
  // otherwise a message for the user that names the file (and the missing
  // functions). Loading again gives the same answer and does nothing more.
  std::optional<std::string> load();
  bool loaded() const;
  const std::string& path() const { return path_; }

  std::int32_t vbapp_Open(std::int32_t card) override;
  std::int32_t vbapp_Close() override;
  std::int32_t vbapp_LedOn() override;
  std::int32_t vbapp_LedOff() override;
  std::int32_t vbapp_Read(std::int32_t offset) override;
  std::int32_t vbapp_Write(std::int32_t offset, std::int32_t value) override;
  std::int32_t vbapp_Test(std::int32_t value) override;
  std::int32_t vbapp_Version() override;
  std::int32_t vbapp_CardRangesL(CardRanges& ranges) override;
  std::int32_t envReadTemp(std::int32_t& current, std::int32_t& high, std::int32_t& low,
                           std::int32_t& fourth, std::int32_t sensor) override;
  std::int32_t envWriteTemp(std::int32_t high, std::int32_t low, std::int32_t sensor) override;
  std::int32_t envReadAna(std::int32_t code) override;
  std::int32_t envReadDig() override;
  std::int32_t envSetDig(std::int32_t value) override;
  std::int32_t envSetEnables(std::int32_t value) override;
  std::int32_t dazEvo(std::int32_t value) override;
  bool isSimulated() const override { return simulated_; }

 private:
  struct Table;
  std::string path_;
  void* handle_ = nullptr;
  std::unique_ptr<Table> fn_;  // null unless every function was found
  std::string problem_;
  bool simulated_ = false;
};

}  // namespace kvn
