// A fresh folder for one test, removed with what it holds when the test ends.
// Declared before the objects that keep files open in it, it goes after
// them, as Windows needs: an open file there cannot be removed.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace kvn::test {

class TempFolder {
 public:
  // <temp>/<tag>_<process>_<test name>
  explicit TempFolder(const std::string& tag)
      : path_(std::filesystem::temp_directory_path() /
              (tag + "_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace kvn::test
