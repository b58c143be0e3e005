#include "app/lifecycle.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "app/state_file.h"
#include "common/text_file.h"
#include "driver/card_ranges.h"
#include "install/driver_installer.h"
#include "panel/env_form.h"
#include "shared/qt_text.h"
#include "widgets/tick_timer.h"

namespace kvn {

namespace {

constexpr int kScanPeriodMs = 100;
// 100 twips from the top and left edges of the screen, at 15 twips a pixel.
constexpr int kWindowOffsetPx = 7;

}  // namespace

Lifecycle::Lifecycle(EnvForm& form, PanelContext context, Installation& installation,
                     std::function<std::optional<std::string>()> attachDriver)
    : form_(form), ctx_(context), installation_(installation),
      attachDriver_(std::move(attachDriver)) {
  connect(&form_, &EnvForm::quitRequested, this, &Lifecycle::quit);
}

std::string Lifecycle::StartCommand(const std::string& commandLine) {
  const auto first = commandLine.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  const auto last = commandLine.find_last_not_of(' ');
  std::string command = commandLine.substr(first, last - first + 1);
  for (char& c : command)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return command;
}

StartOutcome Lifecycle::startUp(const std::string& commandLine) {
  startingUp_ = true;
  ProgramValues& v = ctx_.values;

  const std::string command = StartCommand(commandLine);
  InstallAtStartUp(installation_, command.empty(), ctx_.dialogs, stderr);

  // In the system's own form, as the paths joined to it are: Qt gives "/" on
  // Windows too.
  v.appDir = S(QDir::toNativeSeparators(QDir::currentPath()));
  v.appName = kAppName;
  // A run killed while it replaced the state file leaves its temporary file
  // beside it; nothing else would ever remove it.
  RemoveStaleTemporaries(v.stateFilePath());

  const StoredState stored = ReadStateFile(v.stateFilePath());
  if (stored.brdAddrIndex) v.brdAddrIndex = *stored.brdAddrIndex;
  if (stored.logTime) form_.setLogTimeText(Q(*stored.logTime));

  // A driver library that cannot be used counts as a board that did not open.
  const std::optional<std::string> problem = attachDriver_ ? attachDriver_() : std::nullopt;
  if (problem) ctx_.dialogs.messageBox(*problem);
  form_.setCaption(!problem && ctx_.driver.isSimulated());

  v.brdStatus = !problem ? ctx_.driver.vbapp_Open(v.brdAddrIndex) : kDriverDidNotOpen;
  if (command.empty()) ctx_.dialogs.messageBox(OpenStatusText(v.brdStatus));

  form_.move(kWindowOffsetPx, kWindowOffsetPx);

  form_.brdTimer1()->setInterval(kScanPeriodMs);
  form_.brdTimer1()->start();

  if (v.brdStatus != kDriverOpened) {
    ctx_.dialogs.messageBox("Program did not properly start, exiting...");
    quit();
    startingUp_ = false;
    return StartOutcome::Failed;
  }
  form_.ReadRanges();
  form_.selectAddressEntry(v.brdAddrIndex);

  form_.showAnalogInformation();
  form_.setAnalogRange(QStringLiteral("0"), QStringLiteral("8"));

  if (command.find("/L") != std::string::npos) form_.startLoggingFromCommandLine();

  startingUp_ = false;
  if (terminationPending_) {
    quit();
    return StartOutcome::Terminated;
  }
  return StartOutcome::Running;
}

void Lifecycle::quit() {
  if (quitDone_) return;
  quitDone_ = true;
  // No scan tick may run once Quit has begun, not even while one of its boxes
  // waits for an answer: the log it would write to is being closed.
  form_.brdTimer1()->stop();
  // Nor may the strip chart read the board any more once it is closed.
  emit closing();
  ProgramValues& v = ctx_.values;

  form_.closeLogForExit();

  const std::string path = v.stateFilePath();
  if (auto error = WriteStateFile(path, v.brdAddrIndex,
                                  S(form_.logTimeText())))
    ctx_.dialogs.messageBox("The state file " + path + " could not be written: " + *error);

  ctx_.driver.vbapp_Close();
  form_.close();
}

void Lifecycle::terminate() {
  if (startingUp_) {
    // A box of start-up may be waiting for an answer that will not come.
    terminationPending_ = true;
    if (QWidget* box = QApplication::activeModalWidget()) box->close();
    return;
  }
  quit();
}

}  // namespace kvn
