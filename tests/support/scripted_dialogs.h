// Message and input boxes for tests: messages are recorded, input boxes take
// their answers from a script (empty, i.e. cancelled, when it runs out).
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "shared/platform.h"

namespace kvn::test {

struct ShownBox {
  std::string text;
  std::string title;
};

class ScriptedDialogs : public Dialogs {
 public:
  std::vector<ShownBox> shown;  // every message box, in order
  std::vector<ShownBox> asked;  // every input box (prompt, title), in order
  std::deque<std::string> answers;

  void messageBox(const std::string& text, const std::string& title) override {
    shown.push_back({text, title});
  }
  std::string inputBox(const std::string& prompt, const std::string& title) override {
    asked.push_back({prompt, title});
    if (answers.empty()) return {};
    std::string a = answers.front();
    answers.pop_front();
    return a;
  }
  // The colour chooser: the custom colours it was opened with, each time, and
  // the answers it gives (cancelled when they run out).
  std::vector<CustomColors> colorsOffered;
  std::deque<std::optional<ColorChoice>> colorAnswers;
  void chooseColor(const CustomColors& customColors, ColorAnswer answer) override {
    colorsOffered.push_back(customColors);
    std::optional<ColorChoice> a;
    if (!colorAnswers.empty()) {
      a = colorAnswers.front();
      colorAnswers.pop_front();
    }
    answer(a);
  }

  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const auto& b : shown) out.push_back(b.text);
    return out;
  }
};

// A clock that moves on by a fixed step every time it is read.
class SteppingClock : public Clock {
 public:
  explicit SteppingClock(double start = 0, double step = 0.05) : now_(start), step_(step) {}
  double secondsSinceMidnight() override {
    const double t = now_;
    now_ += step_;
    ++reads;
    return t;
  }
  int reads = 0;
  // The date and time of log lines.
  LocalDateTime stamp{2026, 12, 6, 9, 15, 0};
  LocalDateTime now() override { return stamp; }

 private:
  double now_;
  double step_;
};

}  // namespace kvn::test
