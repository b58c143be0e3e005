// The main panel window: its inventory comes from the Designer form; this
// class shows the readings of its PanelScan and forwards its controls.
#pragma once

#include <QMainWindow>
#include <array>
#include <memory>
#include <string>

#include "panel/panel_context.h"
#include "panel/panel_scan.h"

class QLabel;
namespace Ui {
class envForm;
}

namespace kvn {

class TickTimer;

class EnvForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit EnvForm(PanelContext context, QWidget* parent = nullptr);
  ~EnvForm() override;

  TickTimer* brdTimer1() const { return brdTimer1_; }
  PanelScan& scan() { return scan_; }

  // The caption, with a reminder when the board is only simulated.
  void setCaption(bool simulated);

  // Fills the Bus Address Information fields and the bus address list from the
  // card's resource ranges. Only called with the board open.
  void ReadRanges();

  // Selects the stored entry of the bus address list without re-opening the
  // board. An index the list does not hold selects nothing.
  void selectAddressEntry(int index);

  // Shows the readings and hides the format frame; sets the channel range.
  void showAnalogInformation();
  void setAnalogRange(const QString& start, const QString& end);

  // The text of the logging period field (kept in the state file).
  QString logTimeText() const;
  void setLogTimeText(const QString& text);

  // Function, Logging, as if the user had chosen it.
  void startLoggingFromCommandLine() { loggingMenu(); }

  // Closes an open log with its exit message, as Quit does.
  void closeLogForExit();
  // A message line of the program's own ("... # text") in a log that is
  // recording; a paused or closed log is left as it is.
  void logNote(const std::string& text);

  // True once a log line could not be written (or a log not be opened)
  // during this run; a headless logger ends with a failure status then.
  bool logFailed() const { return scan_.logFailed(); }

  // One tick of the scan timer, and the Read buttons of the temperature and
  // analog panels.
  void scanTick() { scan_.tick(); }
  void TemperatureRead() { scan_.readTemperature(); }
  void AnalogRead() { scan_.readAnalog(); }

  // The frames that share one place.
  void showLoggingFrame(bool show);

 signals:
  // The Quit button or File, Quit.
  void quitRequested();
  // The Graph box: open the strip chart window, or bring it forward.
  void chartRequested();

 private:
  void connectHandlers();
  void connectLogging();
  void connectBoardHandlers();
  void showReadings(const Readings& readings, ReadGroups groups);
  void onAddressChange(int index);

  // Function, Logging: starts a log unless one is open; shows the frame.
  void loggingMenu();
  // Shows the line count and the failure of a request; the check mark and
  // the Stop/Start caption follow the log's state when it changed, or after
  // a start whether or not it succeeded.
  void showLog(const LogResult& result, LogState before, bool start = false);

  // Analog inputs (env_form_board.cpp).
  void refreshAnalogRange();
  void editAnalogFormat(int channel);
  void onAnalogFormatChosen(int index);

  std::unique_ptr<Ui::envForm> ui_;
  PanelContext ctx_;
  PanelScan scan_;
  TickTimer* brdTimer1_ = nullptr;
  std::array<QLabel*, kAnalogChannels> anaValue_{};
  bool brdAddrSuppress_ = false;
  // The channel the Analog Format frame is editing.
  std::int32_t anaEditChan_ = 0;
};

}  // namespace kvn
