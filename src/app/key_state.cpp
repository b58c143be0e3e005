#include "app/key_state.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace kvn {

#if !defined(_WIN32)

namespace {

// X keysyms of the keys the chart asks about.
constexpr unsigned long kXkControlL = 0xffe3;
constexpr unsigned long kXkControlR = 0xffe4;
constexpr unsigned long kXkL = 0x006c;
constexpr unsigned long kXkU = 0x0075;

// A fresh keymap is read when the last one is older than this.
constexpr auto kKeymapLife = std::chrono::milliseconds(1);

template <typename Fn>
Fn Symbol(void* library, const char* name) {
  return reinterpret_cast<Fn>(dlsym(library, name));
}

}  // namespace

X11Keyboard::X11Keyboard(const std::string& displayName) {
  library_ = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
  if (library_ == nullptr) return;
  using OpenDisplayFn = void* (*)(const char*);
  using KeysymToKeycodeFn = unsigned char (*)(void*, unsigned long);
  const auto openDisplay = Symbol<OpenDisplayFn>(library_, "XOpenDisplay");
  const auto keycode = Symbol<KeysymToKeycodeFn>(library_, "XKeysymToKeycode");
  closeDisplay_ = Symbol<CloseDisplayFn>(library_, "XCloseDisplay");
  queryKeymap_ = Symbol<QueryKeymapFn>(library_, "XQueryKeymap");
  if (openDisplay == nullptr || keycode == nullptr || closeDisplay_ == nullptr ||
      queryKeymap_ == nullptr)
    return;

  display_ = openDisplay(displayName.empty() ? nullptr : displayName.c_str());
  if (display_ == nullptr) return;
  ctrlL_ = keycode(display_, kXkControlL);
  ctrlR_ = keycode(display_, kXkControlR);
  l_ = keycode(display_, kXkL);
  u_ = keycode(display_, kXkU);
}

X11Keyboard::~X11Keyboard() {
  if (display_ != nullptr) closeDisplay_(display_);
  if (library_ != nullptr) dlclose(library_);
}

bool X11Keyboard::isDown(int virtualKey) {
  unsigned char first = 0;
  unsigned char second = 0;
  switch (virtualKey) {
    case kVkControl:
      first = ctrlL_;
      second = ctrlR_;
      break;
    case kVkL:
      first = l_;
      break;
    case kVkU:
      first = u_;
      break;
    default:
      break;
  }
  if ((first == 0 && second == 0) || !usable()) return false;

  const auto now = std::chrono::steady_clock::now();
  if (!haveKeymap_ || now - queried_ >= kKeymapLife) {
    queryKeymap_(display_, keymap_.data());
    queried_ = now;
    haveKeymap_ = true;
  }

  const auto pressed = [this](unsigned char code) {
    return code != 0 && (static_cast<unsigned char>(keymap_[code / 8]) >> (code % 8) & 1U) != 0;
  };
  return pressed(first) || pressed(second);
}

#else

// Windows has no X server: the keyboard is read through GetAsyncKeyState.
X11Keyboard::X11Keyboard(const std::string& /*displayName*/) {}
X11Keyboard::~X11Keyboard() = default;
bool X11Keyboard::isDown(int /*virtualKey*/) { return false; }

#endif

OwnWindowsKeys::OwnWindowsKeys() {
  if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
}

bool OwnWindowsKeys::isDown(int virtualKey) const {
  switch (virtualKey) {
    case kVkControl:
      return ctrl_;
    case kVkL:
      return l_;
    case kVkU:
      return u_;
    default:
      return false;
  }
}

bool OwnWindowsKeys::eventFilter(QObject* /*watched*/, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      const auto* key = static_cast<const QKeyEvent*>(event);
      const bool press = event->type() == QEvent::KeyPress;
      if (!press && key->isAutoRepeat()) break;  // the key is still held
      switch (key->key()) {
        case Qt::Key_Control:
          ctrl_ = press;
          break;
        case Qt::Key_L:
          l_ = press;
          break;
        case Qt::Key_U:
          u_ = press;
          break;
        default:
          break;
      }
      // Any other key tells whether Ctrl is held, even one pressed before
      // our window had the focus.
      if (key->key() != Qt::Key_Control) ctrl_ = key->modifiers().testFlag(Qt::ControlModifier);
      break;
    }
    case QEvent::ApplicationStateChange:
      if (static_cast<const QApplicationStateChangeEvent*>(event)->applicationState() ==
          Qt::ApplicationActive)
        break;
      [[fallthrough]];
    case QEvent::WindowDeactivate:
      ctrl_ = l_ = u_ = false;
      break;
    default:
      break;
  }
  return false;
}

PlatformKeyState::PlatformKeyState() {
  if (QGuiApplication::platformName() == QLatin1String("xcb")) {
    auto x11 = std::make_unique<X11Keyboard>();
    if (x11->usable()) x11_ = std::move(x11);
  }
  if (!x11_) own_ = std::make_unique<OwnWindowsKeys>();
}

std::int16_t PlatformKeyState::GetAsyncKeyState(int virtualKey) {
#if defined(_WIN32)
  if (::GetAsyncKeyState(virtualKey) < 0) return kKeyDown;
#endif
  const bool down = x11_ ? x11_->isDown(virtualKey) : own_->isDown(virtualKey);
  return down ? kKeyDown : std::int16_t{0};
}

}  // namespace kvn
