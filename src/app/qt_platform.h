// The Qt implementations of the platform interfaces.
#pragma once

#include "shared/platform.h"

class QApplication;

namespace kvn {

// Message and input boxes. On the offscreen platform, where nobody can answer
// a box, a message is written as one line to standard error and counts as
// answered with OK, and an input box counts as cancelled.
class QtDialogs final : public Dialogs {
 public:
  void messageBox(const std::string& text, const std::string& title) override;
  std::string inputBox(const std::string& prompt, const std::string& title) override;
  // Qt's colour dialog, with its custom colours set from and read back into
  // ours. Offscreen it counts as cancelled.
  void chooseColor(const CustomColors& customColors, ColorAnswer answer) override;

  // The one-line form written to standard error: "title: text", every run of
  // line breaks replaced by " / ".
  static std::string OneLine(const std::string& text, const std::string& title);
};

class SystemClock final : public Clock {
 public:
  double secondsSinceMidnight() override;
  LocalDateTime now() override;
};

// The application font and style, chosen so that every caption of the compact
// panel reads whole at its size.
void ApplyPanelFont(QApplication& app);

// True when windows cannot be seen or answered (the offscreen platform).
bool IsHeadless();

}  // namespace kvn
