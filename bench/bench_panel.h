// The main panel on the simulated board, for the benchmarks: the real
// window and its scan, boxes that nobody answers, the log in a folder of its
// own.
#pragma once

#include <QAction>
#include <QTemporaryDir>
#include <memory>

#include "app/qt_platform.h"
#include "driver/library_driver.h"
#include "panel/env_form.h"

namespace kvn::bench {

class SilentDialogs final : public kvn::Dialogs {
 public:
  void messageBox(const std::string&, const std::string&) override {}
  std::string inputBox(const std::string&, const std::string&) override { return {}; }
};

struct Panel {
  Panel() : driver(KVN_SIM_LIBRARY) {
    driver.load();
    values.brdStatus = driver.vbapp_Open(0);
    values.appDir = dir.path().toStdString();
    form = std::make_unique<kvn::EnvForm>(kvn::PanelContext{driver, values, dialogs, clock});
  }
  QAction* action(const char* name) { return form->findChild<QAction*>(name); }

  QTemporaryDir dir;
  kvn::LibraryDriver driver;
  kvn::ProgramValues values;
  SilentDialogs dialogs;
  kvn::SystemClock clock;
  std::unique_ptr<kvn::EnvForm> form;
};

}  // namespace kvn::bench
