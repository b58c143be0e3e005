#include "app/usage.h"

namespace kvn {

const std::string_view kUsageText =
    "Usage: kvnvb_DazEvo [/L] [/M[=ADDRESS:PORT]] [/Q[=URL]]\n"
    "The access panel of the PC/104 environmental monitoring and fan-control board.\n"
    "\n"
    "Options, anywhere on the command line, in either case:\n"
    "  /L                 start a log at once, in kvnvb_DazEvo.Log of the working\n"
    "                     directory\n"
    "  /M, /M=ADDRESS:PORT\n"
    "                     serve the latest readings for Prometheus at GET /metrics\n"
    "                     on ADDRESS:PORT (an IPv4 address, or an IPv6 address in\n"
    "                     brackets); /M alone serves on 127.0.0.1:9731\n"
    "  /Q, /Q=URL         publish every record to the MQTT broker at URL,\n"
    "                     mqtt://HOST[:PORT] or mqtts://HOST[:PORT], with settings\n"
    "                     after \"?\": prefix=TOPIC, queue=N, discovery=off,\n"
    "                     credentials=FILE, ca=FILE, cert=FILE, key=FILE; /Q alone\n"
    "                     publishes to mqtt://127.0.0.1:1883\n"
    "  /?, -h, --help     print these options and end\n"
    "\n"
    "Any text on the command line keeps the start-up message box from showing.\n"
    "Exit status: 0 done, 1 no board, 2 log failed (headless), 3 /M not built,\n"
    "4 /Q cannot be used.\n"
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
