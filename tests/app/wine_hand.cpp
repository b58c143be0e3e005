// kvn_wine_hand: the hand of the Windows archive's tests, a Windows program
// run under Wine beside the panel. It works the panel's windows as a user
// and Windows do: with the system's own input, window messages and screen.
//   kvn_wine_hand wait TITLE SECONDS      a shown window whose title holds TITLE
//   kvn_wine_hand click TITLE X Y         a left click at (X, Y) of its client area
//   kvn_wine_hand close TITLE             WM_CLOSE to it, as another program sends it
//   kvn_wine_hand close-box TITLE         its close box's command (SC_CLOSE)
//   kvn_wine_hand size TITLE              the width and height of its client area
//   kvn_wine_hand colours TITLE X Y W H   the number of colours in that part of it
//   kvn_wine_hand list                    the shown windows' titles
// Exit status 0 on success, 1 when the window is not there, 2 on bad use.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

struct Found {
  std::string title;
  HWND window = nullptr;
};

BOOL CALLBACK Visit(HWND window, LPARAM context) {
  auto* found = reinterpret_cast<Found*>(context);
  if (!IsWindowVisible(window)) return TRUE;
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  if (found->title.empty()) {
    if (text[0] != '\0') std::printf("%s\n", text);
    return TRUE;
  }
  if (std::string(text).find(found->title) == std::string::npos) return TRUE;
  found->window = window;
  return FALSE;
}

HWND FindShown(const std::string& title) {
  Found found{title, nullptr};
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&found));
  return found.window;
}

HWND WaitFor(const std::string& title, double seconds) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  for (;;) {
    if (HWND window = FindShown(title)) return window;
    if (GetTickCount64() > end) return nullptr;
    Sleep(100);
  }
}

// Windows gives SendInput's clicks to the foreground program alone, which a
// second program cannot make itself; the hand posts the window the messages
// the system delivers for a click instead.
int Click(HWND window, int x, int y) {
  const LPARAM at = MAKELPARAM(x, y);
  const bool sent = PostMessageA(window, WM_MOUSEMOVE, 0, at) &&
                    PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, at) &&
                    PostMessageA(window, WM_LBUTTONUP, 0, at);
  return sent ? 0 : 1;
}

int Colours(HWND window, int x, int y, int w, int h) {
  if (w <= 0 || h <= 0) return 2;
  HDC source = GetDC(window);
  HDC memory = CreateCompatibleDC(source);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, source, x, y, SRCCOPY);
  GdiFlush();
  std::set<DWORD> colours;
  const auto* pixels = static_cast<const DWORD*>(bits);
  for (int i = 0; i < w * h; ++i) colours.insert(pixels[i] & 0xFFFFFF);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(window, source);
  std::printf("%zu\n", colours.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "list") {
    Found all{"", nullptr};
    EnumWindows(Visit, reinterpret_cast<LPARAM>(&all));
    return 0;
  }
  if (args.size() < 2) return 2;
  const std::string& command = args[0];
  const double seconds = command == "wait" && args.size() == 3 ? std::atof(args[2].c_str()) : 10;
  HWND window = WaitFor(args[1], seconds);
  if (window == nullptr) {
    std::fprintf(stderr, "kvn_wine_hand: no shown window titled \"%s\"\n", args[1].c_str());
    return 1;
  }
  if (command == "wait" && args.size() == 3) return 0;
  if (command == "click" && args.size() == 4)
    return Click(window, std::atoi(args[2].c_str()), std::atoi(args[3].c_str()));
  if (command == "size" && args.size() == 2) {
    RECT client{};
    GetClientRect(window, &client);
    std::printf("%ld %ld\n", client.right - client.left, client.bottom - client.top);
    return 0;
  }
  if (command == "close-box" && args.size() == 2)
    return PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
  if (command == "close" && args.size() == 2)
    return PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
  if (command == "colours" && args.size() == 6)
    return Colours(window, std::atoi(args[2].c_str()), std::atoi(args[3].c_str()),
                   std::atoi(args[4].c_str()), std::atoi(args[5].c_str()));
  return 2;
}
