// Start-up and Quit of the main panel.
#pragma once

#include <QObject>
#include <functional>
#include <optional>
#include <string>

#include "panel/panel_context.h"

namespace kvn {

class EnvForm;
class Installation;

// How start-up ended.
enum class StartOutcome {
  Running,      // the board opened; the window is shown
  Failed,       // the board did not open; reported, Quit has run
  Terminated,   // a termination signal arrived during start-up; Quit has run
};

class Lifecycle : public QObject {
  Q_OBJECT

 public:
  // attachDriver loads the driver library and returns a message for the user
  // when it could not (nothing when all is well).
  Lifecycle(EnvForm& form, PanelContext context, Installation& installation,
            std::function<std::optional<std::string>()> attachDriver);

  // Runs start-up with the program's command line.
  StartOutcome startUp(const std::string& commandLine);

  // Closes an open log, writes the state file, closes the driver and the
  // main window. Runs once; later calls do nothing.
  void quit();

  // SIGINT / SIGTERM: Quit, as soon as start-up has finished.
  void terminate();

  bool quitDone() const { return quitDone_; }

  // The command line as start-up reads it: blanks at both ends removed,
  // upper case.
  static std::string StartCommand(const std::string& commandLine);

 signals:
  // Quit has begun: every other window of the program and the metrics
  // endpoint must close now, before the board is closed.
  void closing();

 private:
  EnvForm& form_;
  PanelContext ctx_;
  Installation& installation_;
  std::function<std::optional<std::string>()> attachDriver_;
  bool startingUp_ = false;
  bool terminationPending_ = false;
  bool quitDone_ = false;
};

}  // namespace kvn
