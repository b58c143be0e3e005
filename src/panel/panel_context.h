#pragma once

#include "shared/platform.h"
#include "shared/program_values.h"
#include "driver/board_driver.h"

namespace kvn {

// What the main panel works with: the board, the shared values and the
// platform's boxes and clock.
struct PanelContext {
  BoardDriver& driver;
  ProgramValues& values;
  Dialogs& dialogs;
  Clock& clock;
};

}  // namespace kvn
