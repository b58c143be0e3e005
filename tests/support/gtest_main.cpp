// gtest main for the test programs that need no toolkit (built for Windows
// as well): every test runs in a fresh temporary working directory, removed
// after it, so that no test leaves a file behind or sees another's.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

namespace stdfs = std::filesystem;

class OwnWorkingDirectory final : public ::testing::EmptyTestEventListener {
 public:
  void OnTestStart(const ::testing::TestInfo&) override {
    std::error_code ec;
    previous_ = stdfs::current_path(ec);
    static std::atomic<unsigned> counter{0};
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    dir_ = stdfs::temp_directory_path(ec) /
           ("kvn_test_" + std::to_string(ticks) + "_" + std::to_string(counter++));
    if (stdfs::create_directories(dir_, ec)) stdfs::current_path(dir_, ec);
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    std::error_code ec;
    stdfs::current_path(previous_, ec);
    stdfs::remove_all(dir_, ec);
  }

 private:
  stdfs::path previous_;
  stdfs::path dir_;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new OwnWorkingDirectory);
  return RUN_ALL_TESTS();
}
