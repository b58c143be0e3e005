#include "app/usage.h"

namespace kvn {

const std::string_view kUsageText =
    "Usage: kvnvb_DazEvo [/L] [/M[=ADDRESS:PORT]]\n"
    "The access panel of the PC/104 environmental monitoring and fan-control board.\n"
    "\n"
    "Options, anywhere on the command line, in either case:\n"
    "  /L                 start a log at once, in kvnvb_DazEvo.Log of the working\n"
    "                     directory\n"
    "  /M, /M=ADDRESS:PORT\n"
    "                     serve the latest readings for Prometheus at GET /metrics\n"
    "                     on ADDRESS:PORT (an IPv4 address, or an IPv6 address in\n"
    "                     brackets); /M alone serves on 127.0.0.1:9731\n"
    "  /?, -h, --help     print these options and end\n"
    "\n"
    "Any text on the command line keeps the start-up message box from showing.\n"
    "Qt takes its own options (-platform, -style, ...) first. Without a display,\n"
    "QT_QPA_PLATFORM=offscreen runs the panel as a headless logger.\n"
    "See kvnvb_DazEvo(1).\n";

bool AsksForUsage(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "/?" || arg == "-h" || arg == "--help") return true;
  }
  return false;
}

}  // namespace kvn
