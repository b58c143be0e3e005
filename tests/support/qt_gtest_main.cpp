// gtest main for every test program: one QApplication for the whole run, on
// the offscreen platform unless the environment asks for another (on Windows,
// its own platform, under Wine on an X server of the tests' own). Every test
// runs in a fresh temporary working directory, removed after it, so that no
// test leaves a file behind or sees another's.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

class OwnWorkingDirectory final : public ::testing::EmptyTestEventListener {
 public:
  void OnTestStart(const ::testing::TestInfo&) override {
    previous_ = QDir::currentPath();
    dir_ = std::make_unique<QTemporaryDir>();
    if (dir_->isValid()) QDir::setCurrent(dir_->path());
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    QDir::setCurrent(previous_);
    dir_.reset();
  }

 private:
  QString previous_;
  std::unique_ptr<QTemporaryDir> dir_;
};

}  // namespace

int main(int argc, char** argv) {
#if !defined(_WIN32)
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new OwnWorkingDirectory);
  return RUN_ALL_TESTS();
}
