// The main panel window: its inventory comes from the Designer form; this
// class holds the handlers of its controls.
#pragma once

#include <QMainWindow>
#include <memory>

#include "logging/log_writer.h"
#include "panel/panel_context.h"

class QTimer;
class QLabel;
class QLineEdit;
namespace Ui {
class envForm;
}

namespace kvn {

class EnvForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit EnvForm(PanelContext context, QWidget* parent = nullptr);
  ~EnvForm() override;

  QTimer* brdTimer1() const { return brdTimer1_; }

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

  // Function, Logging, as if the user had chosen it with no check mark set.
  void startLoggingFromCommandLine();

  // Closes an open log with its exit message, as Quit does.
  void closeLogForExit();

  // True once a log line could not be written (or a log not be opened)
  // during this run; a headless logger ends with a failure status then.
  bool logFailed() const { return logFailed_; }

  // One tick of the scan timer: the status indicators, and while Continuous
  // Scan or logging is on the reads and the paced log records.
  void scanTick();

  // The Read of the temperature panel: sensor and set points into the shared
  // values and the three text boxes.
  void TemperatureRead();
  // The Read of the analog panel: the channels of the Start..End range into
  // their value labels.
  void AnalogRead();

  // The frames that share one place.
  void showLoggingFrame(bool show);

 signals:
  // The Quit button or File, Quit.
  void quitRequested();
  // The Graph box: open the strip chart window, or bring it forward.
  void chartRequested();

 private:
  void connectHandlers();
  void onAddressChange(int index);

  // --- Scan and logging; defined in env_form_logging.cpp.
  void connectLoggingHandlers();
  void onGraphClick();
  // Function, Logging; hadCheckMark is the item's mark before the click.
  void loggingMenu(bool hadCheckMark);
  void onLogStop();
  void onLogPause();
  void onLogFlush();
  void onLogMessage();
  void onLogClear();
  // Hands a request to the log writer, shows the line count, and tells the
  // user when the log could not be written (the log is closed then).
  bool runLog(std::int16_t& state, const std::string& text);
  void showLogClosed();
  LogWriter& logWriter();

  // --- Board function handlers (temperature, analog, board function,
  // --- registers and LED, Help and About); defined in env_form_board.cpp.
  void connectBoardHandlers();
  void onTemperatureSet();
  void refreshAnalogRange();
  void editAnalogFormat(int channel);
  void onAnalogFormatChosen(int index);
  void onRegisterRead();
  void onRegisterWrite();
  std::int32_t registerOffset() const;
  QLabel* analogValueLabel(int channel) const;

  std::unique_ptr<Ui::envForm> ui_;
  PanelContext ctx_;
  QTimer* brdTimer1_ = nullptr;
  bool brdAddrSuppress_ = false;
  // The channel the Analog Format frame is editing.
  std::int32_t anaEditChan_ = 0;
  std::unique_ptr<LogWriter> logWriter_;
  // Scan ticks counted since the latest log data record.
  std::int16_t logTick_ = 0;
  bool logFailed_ = false;
};

}  // namespace kvn
