#include "chart_settings/settings_dialog.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include "shared/qt_color.h"
#include "shared/qt_text.h"
#include "ui_Settings_frm.h"

namespace kvn {

SettingsDialog::SettingsDialog(ChanTable& table, int channel, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Dialog),
      ui_(std::make_unique<Ui::Settings_frm>()),
      dialogs_(dialogs),
      editor_(table, channel) {
  ui_->setupUi(this);
  setFixedSize(size());

  const ChannelEntry shown = editor_.loadedEntry();
  ui_->ymin_txt->setText(Q(shown.yMin));
  ui_->ymax_txt->setText(Q(shown.yMax));
  ui_->ytext_txt->setText(Q(shown.yText));
  ui_->yunits_txt->setText(Q(shown.yUnits));
  ui_->Title_txt->setText(Q(shown.title));
  ui_->Abbrev_txt->setText(Q(shown.abbrev));
  setSwatch(shown.color);
  // Each field shows the beginning of its text, as one the user has just
  // filled in; a long number reads from its first digit.
  for (QLineEdit* field : findChildren<QLineEdit*>()) field->setCursorPosition(0);

  connect(ui_->Color_cmd, &QPushButton::clicked, this, &SettingsDialog::onColorClick);
  connect(ui_->Apply_cmd, &QPushButton::clicked, this,
          [this] { onWrite(ChannelEditor::Button::Apply); });
  connect(ui_->Ok_cmd, &QPushButton::clicked, this, [this] { onWrite(ChannelEditor::Button::Ok); });
  connect(ui_->Cancel_cmd, &QPushButton::clicked, this, &SettingsDialog::onCancel);
}

SettingsDialog::~SettingsDialog() {
  // A dialog deleted without being closed goes as the close box would.
  if (!unloaded_) editor_.unload();
}

void SettingsDialog::setSwatch(std::int32_t color) {
  swatchColor_ = color;
  QPalette palette = ui_->Color_pic->palette();
  palette.setColor(QPalette::Window, FromColorRef(static_cast<std::uint32_t>(color)));
  ui_->Color_pic->setPalette(palette);
}

ChannelEntry SettingsDialog::entry() const {
  // A field still showing what it showed at load gives the loaded bytes, not
  // their round trip through the toolkit's text: bytes that are no character
  // of the system's code page would come back as replacement characters.
  const ChannelEntry loaded = editor_.loadedEntry();
  const auto field = [](const QLineEdit* edit, const std::string& atLoad) {
    const QString text = edit->text();
    return text == Q(atLoad) ? atLoad : S(text);
  };
  return {field(ui_->ymin_txt, loaded.yMin),     field(ui_->ymax_txt, loaded.yMax),
          field(ui_->ytext_txt, loaded.yText),   field(ui_->yunits_txt, loaded.yUnits),
          field(ui_->Title_txt, loaded.title),   field(ui_->Abbrev_txt, loaded.abbrev),
          swatchColor_};
}

void SettingsDialog::onColorClick() {
  // The chooser blocks this dialog alone; the chart and the panel go on.
  dialogs_.chooseColor(editor_.customColors(),
                       [self = QPointer<SettingsDialog>(this)](std::optional<ColorChoice> choice) {
                         if (!self || !choice) return;
                         self->setSwatch(choice->color);
                         self->editor_.setCustomColors(choice->customColors);
                       });
}

void SettingsDialog::onWrite(ChannelEditor::Button button) {
  if (auto refusal = editor_.write(entry(), button)) {
    dialogs_.messageBox(*refusal);
    return;
  }
  if (button == ChannelEditor::Button::Ok) close();
}

void SettingsDialog::onCancel() {
  editor_.restore();
  close();
}

void SettingsDialog::closeEvent(QCloseEvent* event) {
  editor_.unload();
  unloaded_ = true;
  QWidget::closeEvent(event);
}

}  // namespace kvn
