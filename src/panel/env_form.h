// The main panel window: its inventory comes from the Designer form; this
// class holds the handlers of its controls.
#pragma once

#include <QMainWindow>
#include <memory>

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

  Ui::envForm& ui() { return *ui_; }
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

  // The frames that share one place.
  void showLoggingFrame(bool show);

 signals:
  // The Quit button or File, Quit.
  void quitRequested();

 private:
  void connectHandlers();
  void onAddressChange(int index);
  void onLoggingMenu();
  void scanTick();

  std::unique_ptr<Ui::envForm> ui_;
  PanelContext ctx_;
  QTimer* brdTimer1_ = nullptr;
  bool brdAddrSuppress_ = false;
};

}  // namespace kvn
