// The strip chart's real drawing rate: the window shown on the current
// platform (an X server, for the figures that count) on the simulated board,
// its speed bar set to the interval asked for, and after a warm-up second,
// the ticks of its timer and the paints of the plot counted for the given
// time, with the processor time the whole process took meanwhile.
//
//   chart_rate [INTERVAL_MS] [SECONDS] [one|all|eight] [SETTINGS_FILE]
//   (defaults: 50, 10, one)
//
// The chart is as it opens (one trace), or with "all" every source in use and
// in view, in Independent operation: the most a tick draws; or with "eight"
// its eight traces on the eight analog sources, picked in their lists as a
// user would. Prints one line:
//   interval 1 ms: 987 ticks/s, 960 paints/s, CPU 45.3% of one core
//
// With a SETTINGS_FILE, the chart opens with that file as its Settings.txt,
// and the resident memory of the process is printed every ten seconds.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

#include "app/key_state.h"
#include "app/qt_platform.h"
#include "chart/strip_chart_window.h"
#include "driver/library_driver.h"

namespace {

// A box has nobody to answer it here: its text goes to standard error.
class StderrDialogs final : public kvn::Dialogs {
 public:
  void messageBox(const std::string& text, const std::string& title) override {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
  }
  std::string inputBox(const std::string&, const std::string&) override { return {}; }
};

// Counts the paint events a widget receives.
class PaintCounter final : public QObject {
 public:
  long long count = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return QObject::eventFilter(watched, event);
  }
};

double ProcessSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The resident memory of this process in MiB, from /proc; 0 when unknown.
double ResidentMiB() {
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return 0;
  long size = 0, resident = 0;
  const int got = std::fscanf(statm, "%ld %ld", &size, &resident);
  std::fclose(statm);
  return got == 2 ? static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) /
                        (1024.0 * 1024.0)
                  : 0;
}

[[noreturn]] void Usage() {
  std::fprintf(stderr,
               "usage: chart_rate [INTERVAL_MS 1..500] [SECONDS 1..3600] [one|all|eight] "
               "[SETTINGS_FILE]\n");
  std::exit(2);
}

int Argument(int argc, char** argv, int i, int fallback, int min, int max) {
  if (argc <= i) return fallback;
  char* end = nullptr;
  const long v = std::strtol(argv[i], &end, 10);
  if (end == argv[i] || *end != '\0' || v < min || v > max) Usage();
  return static_cast<int>(v);
}

}  // namespace

int main(int argc, char** argv) {
  const int intervalMs = Argument(argc, argv, 1, 50, 1, 500);
  const int seconds = Argument(argc, argv, 2, 10, 1, 3600);
  const std::string traces = argc > 3 ? argv[3] : "one";
  const bool allSources = traces == "all";
  const bool eightTraces = traces == "eight";
  if (argc > 5 || (!allSources && !eightTraces && traces != "one")) Usage();
  const char* settings = argc > 4 ? argv[4] : nullptr;
  QApplication app(argc, argv);
  kvn::ApplyPanelFont(app);

  QTemporaryDir exeDir;  // without a settings file, every channel at its defaults
  if (settings != nullptr &&
      !QFile::copy(QString::fromLocal8Bit(settings), exeDir.filePath(QStringLiteral("Settings.txt")))) {
    std::fprintf(stderr, "chart_rate: %s could not be copied\n", settings);
    return 1;
  }
  kvn::LibraryDriver driver(KVN_SIM_LIBRARY);
  if (driver.load() || driver.vbapp_Open(0) != kvn::kDriverOpened) {
    std::fprintf(stderr, "chart_rate: the simulated board did not open (%s)\n", KVN_SIM_LIBRARY);
    return 1;
  }
  kvn::ProgramValues values;
  StderrDialogs dialogs;
  kvn::PlatformKeyState keys;
  kvn::ChartValues chart;
  kvn::StripChartWindow window({driver, values, dialogs, keys, chart, exeDir.path().toStdString()});
  window.show();
  window.load();

  auto* speed = window.findChild<QScrollBar*>("speed_scroll");
  auto* plot = window.findChild<QWidget*>("Graph_pic");
  if (speed == nullptr || plot == nullptr) {
    std::fprintf(stderr, "chart_rate: the chart window has no speed_scroll or Graph_pic\n");
    return 1;
  }
  if (allSources) {
    // The simulated board's readings lie between 0 and 160.
    for (auto& record : chart.chanTable) {
      record.InUse = -1;
      record.YMin = 0;
      record.YMax = 160;
    }
    if (auto* independent = window.findChild<QRadioButton*>("Ind_rad")) independent->click();
  }
  if (eightTraces) {
    for (int t = 0; t < 8; ++t) {
      auto* list = window.findChild<QComboBox*>(QStringLiteral("Chnsrc_lst_%1").arg(t));
      if (list == nullptr) {
        std::fprintf(stderr, "chart_rate: the chart window has no Chnsrc_lst_%d\n", t);
        return 1;
      }
      list->setCurrentIndex(t);
    }
  }
  speed->setValue(intervalMs);
  if (window.timer().interval() != intervalMs) {
    std::fprintf(stderr, "chart_rate: the timer runs at %d ms, not %d ms\n",
                 window.timer().interval(), intervalMs);
    return 1;
  }

  long long ticks = 0;
  QObject::connect(&window.timer(), &kvn::TickTimer::timeout, &window, [&ticks] { ++ticks; });
  PaintCounter paints;
  plot->installEventFilter(&paints);

  QTimer memory;
  if (settings != nullptr) {
    QElapsedTimer since;
    since.start();
    QObject::connect(&memory, &QTimer::timeout, &window, [since] {
      std::printf("%4.0f s: resident %.1f MiB\n", static_cast<double>(since.elapsed()) / 1000.0,
                  ResidentMiB());
      std::fflush(stdout);
    });
    memory.start(10000);
  }

  long long ticks0 = 0, paints0 = 0;
  double cpu0 = 0;
  QElapsedTimer wall;
  QTimer::singleShot(1000, &window, [&] {
    ticks0 = ticks;
    paints0 = paints.count;
    cpu0 = ProcessSeconds();
    wall.start();
    QTimer::singleShot(seconds * 1000, &window, [&] {
      const double cpu = ProcessSeconds() - cpu0;
      const double span = static_cast<double>(wall.nsecsElapsed()) / 1e9;
      std::printf("interval %d ms%s: %.0f ticks/s, %.0f paints/s, CPU %.1f%% of one core\n",
                  intervalMs,
                  allSources ? " (all sources)" : eightTraces ? " (eight traces)" : "",
                  static_cast<double>(ticks - ticks0) / span,
                  static_cast<double>(paints.count - paints0) / span, 100.0 * cpu / span);
      std::fflush(stdout);
      app.quit();
    });
  });
  return app.exec();
}
