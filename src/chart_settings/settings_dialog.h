// The channel settings dialog: its inventory comes from the Designer form;
// what its buttons do is ChannelEditor's. It is a window of its own, not
// modal: the chart keeps running beside it and shows each Apply from its
// next tick.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>

#include "chart/channel_table.h"
#include "chart_settings/channel_editor.h"
#include "shared/platform.h"

namespace Ui {
class Settings_frm;
}

namespace kvn {

class SettingsDialog : public QWidget {
  Q_OBJECT

 public:
  // Loads the dialog for record `channel` of the table: the fields show the
  // record, and the record's values are kept to put back.
  SettingsDialog(ChanTable& table, int channel, Dialogs& dialogs, QWidget* parent = nullptr);
  ~SettingsDialog() override;

  const ChannelEditor& editor() const { return editor_; }

 protected:
  // Every way the dialog goes (Ok, Cancel, the close box, Quit) unloads it.
  void closeEvent(QCloseEvent* event) override;

 private:
  void onColorClick();
  void onWrite(ChannelEditor::Button button);
  void onCancel();
  void setSwatch(std::int32_t color);
  ChannelEntry entry() const;

  std::unique_ptr<Ui::Settings_frm> ui_;
  Dialogs& dialogs_;
  ChannelEditor editor_;
  std::int32_t swatchColor_ = 0;  // the colour Apply and Ok write
  bool unloaded_ = false;
};

}  // namespace kvn
