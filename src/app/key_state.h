// The keyboard state behind the strip chart's Ctrl+L / Ctrl+U test.
#pragma once

#include <QObject>
#include <array>
#include <chrono>
#include <memory>
#include <string>

#include "shared/platform.h"

namespace kvn {

// The whole keyboard of an X display, whichever window has the focus, read on
// a connection of its own. libX11 is loaded at run time, so that neither the
// build nor a machine without X needs it. Knows Ctrl (either one), L and U.
// Like every Xlib client (and Qt on the same server), the program ends if the
// server goes away while the display is open.
class X11Keyboard {
 public:
  // An empty name means $DISPLAY.
  explicit X11Keyboard(const std::string& displayName = {});
  ~X11Keyboard();
  X11Keyboard(const X11Keyboard&) = delete;
  X11Keyboard& operator=(const X11Keyboard&) = delete;

  // False when libX11 or the display is not there; every key then reads as up.
  bool usable() const { return display_ != nullptr; }
  // One keymap query serves every key test within a millisecond.
  bool isDown(int virtualKey);

 private:
  using CloseDisplayFn = int (*)(void*);
  using QueryKeymapFn = int (*)(void*, char*);

  void* library_ = nullptr;
  void* display_ = nullptr;
  CloseDisplayFn closeDisplay_ = nullptr;
  QueryKeymapFn queryKeymap_ = nullptr;
  unsigned char ctrlL_ = 0, ctrlR_ = 0, l_ = 0, u_ = 0;  // keycodes; 0 = no such key
  std::array<char, 32> keymap_{};
  std::chrono::steady_clock::time_point queried_{};
  bool haveKeymap_ = false;
};

// Ctrl, L and U as pressed and released in the program's own windows, for
// platforms where the whole keyboard cannot be read. Filters the application's
// events (never taking any); everything is forgotten when the program or one
// of its windows loses the activation, since a release elsewhere is not seen.
class OwnWindowsKeys final : public QObject {
 public:
  OwnWindowsKeys();
  bool isDown(int virtualKey) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool ctrl_ = false, l_ = false, u_ = false;
};

// The keyboard on this platform: the whole X keyboard under the xcb platform,
// else the keys seen by the program's own windows. Make it after the
// QApplication.
class PlatformKeyState final : public KeyState {
 public:
  PlatformKeyState();
  std::int16_t GetAsyncKeyState(int virtualKey) override;
  // True when the whole X keyboard is read.
  bool readsX11() const { return x11_ != nullptr; }

 private:
  std::unique_ptr<X11Keyboard> x11_;
  std::unique_ptr<OwnWindowsKeys> own_;
};

}  // namespace kvn
