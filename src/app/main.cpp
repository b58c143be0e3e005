// kvnvb_DazEvo: the access panel of the PC/104 environmental and fan-control board.
#include <QApplication>
#include <QFont>

#include "app/lifecycle.h"
#include "app/qt_platform.h"
#include "app/termination.h"
#include "driver/library_driver.h"
#include "install/driver_installer.h"
#include "panel/env_form.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  kvn::TerminationSignals termination;
  kvn::ApplyPanelFont(app);

  // The command line as one text, after Qt has taken its own options.
  QStringList args = QCoreApplication::arguments();
  if (!args.isEmpty()) args.removeFirst();
  const std::string commandLine = args.join(QLatin1Char(' ')).toLocal8Bit().toStdString();

  const std::string exeDir = QCoreApplication::applicationDirPath().toLocal8Bit().toStdString();
  kvn::ProgramValues values;
  kvn::QtDialogs dialogs;
  kvn::SystemClock clock;
  kvn::LibraryDriver driver(kvn::LibraryDriver::PathIn(exeDir));
  const auto installation = kvn::MakePlatformInstallation(exeDir);

  const kvn::PanelContext context{driver, values, dialogs, clock};
  kvn::EnvForm form(context);
  kvn::Lifecycle lifecycle(form, context, *installation, [&driver] {
    driver.load();
    return driver.problem();
  });

  QObject::connect(&termination, &kvn::TerminationSignals::received, &lifecycle, [&] {
    lifecycle.terminate();
    if (lifecycle.quitDone()) QCoreApplication::exit(0);
  });

  switch (lifecycle.startUp(commandLine)) {
    case kvn::StartOutcome::Failed:
      return 1;
    case kvn::StartOutcome::Terminated:
      return 0;
    case kvn::StartOutcome::Running:
      break;
  }
  form.show();
  return app.exec();
}
