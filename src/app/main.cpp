// kvnvb_DazEvo: the access panel of the PC/104 environmental and fan-control board.
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QSysInfo>
#include <cstdio>
#include <cstdlib>

#include "app/chart_host.h"
#include "app/files_folder.h"
#include "app/key_state.h"
#include "app/lifecycle.h"
#include "app/metrics_service.h"
#include "app/mqtt_service.h"
#include "app/qt_platform.h"
#include "app/termination.h"
#include "app/usage.h"
#include "driver/library_driver.h"
#include "install/driver_installer.h"
#include "panel/env_form.h"
#include "shared/console_events.h"
#include "shared/qt_text.h"

namespace {

// A headless logger has nobody to see its boxes: a log that failed during the
// run (it went on scanning without one) shows in its exit status, and the
// last line on standard error says why.
constexpr int kLogFailedStatus = 2;

int EndStatus(const kvn::EnvForm& form) {
  if (!kvn::IsHeadless() || !form.logFailed()) return 0;
  std::fprintf(stderr,
               "kvnvb_DazEvo: the log could not be written during this run (see the "
               "messages above); ending with status %d.\n",
               kLogFailedStatus);
  std::fflush(stderr);
  return kLogFailedStatus;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Before Qt starts, which would need a display.
  if (kvn::AsksForUsage(argc, argv)) {
#if defined(_WIN32)
    kvn::console_events::AttachToParentConsole();
#endif
    std::fwrite(kvn::kUsageText.data(), 1, kvn::kUsageText.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  kvn::IgnoreWriteSignals();
  QApplication app(argc, argv);
  // Names the user's data folder, whatever the executable is called, and ties
  // the windows to the installed desktop entry.
  QApplication::setApplicationName(QStringLiteral("kvnvb_DazEvo"));
  QGuiApplication::setDesktopFileName(QStringLiteral("kvnvb-dazevo"));
  kvn::TerminationSignals termination;
  kvn::ApplyPanelFont(app);

  // The command line as one text, after Qt has taken its own options.
  QStringList args = QCoreApplication::arguments();
  if (!args.isEmpty()) args.removeFirst();
  const std::string fullCommandLine = args.join(QLatin1Char(' ')).toLocal8Bit().toStdString();
  // The other options are read without the MQTT URL, whose paths and
  // settings could hold their letters.
  const std::string commandLine = kvn::WithoutMqttValue(fullCommandLine);
#if defined(_WIN32)
  // Started with command-line text from a console, the program writes its
  // messages there and ends with the console's events.
  if (!commandLine.empty()) kvn::console_events::AttachToParentConsole();
#endif

  // A build without the metrics endpoint says so before it opens the board or
  // a log, and ends.
  if (auto refusal = kvn::MetricsService::Refusal(commandLine)) {
    kvn::QtDialogs().messageBox(*refusal, kvn::kAppTitle);
    return kvn::MetricsService::kRefusedStatus;
  }

  const QString programFolder = QCoreApplication::applicationDirPath();
  const std::string exeDir = QDir::toNativeSeparators(programFolder).toLocal8Bit().toStdString();
  kvn::ProgramValues values;
  kvn::QtDialogs dialogs;
  kvn::SystemClock clock;
  kvn::LibraryDriver driver(kvn::LibraryDriver::PathIn(exeDir));
  const auto installation = kvn::MakePlatformInstallation(exeDir);

  const kvn::PanelContext context{driver, values, dialogs, clock};
  kvn::EnvForm form(context);
  termination.watchSystemClose(form);

  // A /Q that cannot be used ends the program before the board or a log is
  // touched.
  kvn::MqttService mqtt(form, values);
  if (auto problem = mqtt.prepare(fullCommandLine, std::getenv("CREDENTIALS_DIRECTORY"))) {
    dialogs.messageBox(*problem, kvn::kAppTitle);
    return kvn::MqttService::kRefusedStatus;
  }

  kvn::Lifecycle lifecycle(form, context, *installation, [&driver] { return driver.load(); });

  // The strip chart's values outlive its window.
  kvn::ChartValues chartValues;
  kvn::PlatformKeyState keys;
  kvn::ChartHost chart({driver, values, dialogs, keys, chartValues,
                        kvn::ChartFilesFolder(programFolder)},
                       form, lifecycle);

  // The metrics endpoint closes with the windows, before the board.
  kvn::MetricsService metrics(form.scan(), values, driver);
  // MQTT says "offline" at Quit, while a log is still open for its last notices.
  QObject::connect(&lifecycle, &kvn::Lifecycle::closing, &lifecycle, [&metrics, &mqtt] {
    metrics.stop();
    mqtt.stop();
  });

  QObject::connect(&termination, &kvn::TerminationSignals::received, &lifecycle, [&] {
    lifecycle.terminate();
    if (lifecycle.quitDone()) QCoreApplication::exit(0);
  });

  switch (lifecycle.startUp(commandLine)) {
    case kvn::StartOutcome::Failed:
      return 1;
    case kvn::StartOutcome::Terminated:
      return EndStatus(form);
    case kvn::StartOutcome::Running:
      break;
  }
  if (auto problem = metrics.start(commandLine)) dialogs.messageBox(*problem, kvn::kAppTitle);
  if (auto problem = mqtt.start(kvn::S(QSysInfo::machineHostName())))
    dialogs.messageBox(*problem, kvn::kAppTitle);
  form.show();
  app.exec();
  return EndStatus(form);
}
