#include "app/qt_platform.h"

#include <QApplication>
#include <QColorDialog>
#include <QFont>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QStyle>
#include <QDateTime>
#include <QTime>
#include <algorithm>
#include <cstdio>

#include "shared/qt_color.h"

namespace kvn {

void ApplyPanelFont(QApplication& app) {
  // Liberation Sans (Debian's fonts-liberation2) is narrow enough for the
  // longest captions ("High Thermostat Off", "Differentialm Bipolar") to fit
  // their controls. The Windows style draws a frame's title on its border,
  // which is where the controls' positions expect it.
  // Where the system lacks Liberation Sans (Windows), Arial, whose metrics
  // it was made to match, takes its place.
  QFont::insertSubstitution(QStringLiteral("Liberation Sans"), QStringLiteral("Arial"));
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(11);
  app.setFont(font);
  QApplication::setStyle(QStringLiteral("Windows"));
}

bool IsHeadless() {
  return QGuiApplication::platformName() == QLatin1String("offscreen") ||
         QGuiApplication::platformName() == QLatin1String("minimal");
}

std::string QtDialogs::OneLine(const std::string& text, const std::string& title) {
  std::string line = title + ": ";
  bool inBreak = false;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      inBreak = true;
      continue;
    }
    if (inBreak) line += " / ";
    inBreak = false;
    line += c;
  }
  return line;
}

void QtDialogs::messageBox(const std::string& text, const std::string& title) {
  if (IsHeadless()) {
    const std::string line = OneLine(text, title) + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    return;
  }
  // Lines may end in CR LF or in a carriage return alone; Qt breaks on LF.
  QString body = QString::fromLocal8Bit(text);
  body.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QMessageBox box(QMessageBox::NoIcon, QString::fromLocal8Bit(title), body, QMessageBox::Ok,
                  QApplication::activeWindow());
  box.exec();
}

std::string QtDialogs::inputBox(const std::string& prompt, const std::string& title) {
  if (IsHeadless()) return {};
  bool ok = false;
  const QString answer =
      QInputDialog::getText(QApplication::activeWindow(), QString::fromLocal8Bit(title),
                            QString::fromLocal8Bit(prompt), QLineEdit::Normal, QString(), &ok);
  return ok ? answer.toLocal8Bit().toStdString() : std::string();
}

void QtDialogs::chooseColor(const CustomColors& customColors, ColorAnswer answer) {
  if (IsHeadless()) {
    answer(std::nullopt);
    return;
  }
  const int colorSlots =
      std::min(QColorDialog::customCount(), static_cast<int>(customColors.size()));
  // Qt keeps one set of custom colours for the whole program; ours are the
  // caller's, so they are put in before and taken back after.
  for (int i = 0; i < colorSlots; ++i)
    QColorDialog::setCustomColor(
        i, FromColorRef(static_cast<std::uint32_t>(customColors[static_cast<std::size_t>(i)])));
  // A child of the window that opened it: window-modal to that window alone
  // (every other window keeps working), and gone with it.
  auto* dialog = new QColorDialog(Qt::black, QApplication::activeWindow());
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(QStringLiteral("Color"));
  // A desktop's own chooser would not show our custom colours.
  dialog->setOption(QColorDialog::DontUseNativeDialog);
  dialog->setWindowModality(Qt::WindowModal);
  const auto finished = [dialog, colorSlots, answer = std::move(answer)](int result) {
    if (result != QDialog::Accepted) {
      answer(std::nullopt);
      return;
    }
    ColorChoice choice;
    choice.color = ToColorRef(dialog->selectedColor());
    for (int i = 0; i < colorSlots; ++i)
      choice.customColors[static_cast<std::size_t>(i)] = ToColorRef(QColorDialog::customColor(i));
    answer(choice);
  };
  QObject::connect(dialog, &QDialog::finished, dialog, finished);
  dialog->open();
}

LocalDateTime SystemClock::now() {
  const QDateTime t = QDateTime::currentDateTime();
  const QDate d = t.date();
  const QTime h = t.time();
  return {d.year(), d.month(), d.day(), h.hour(), h.minute(), h.second()};
}

double SystemClock::secondsSinceMidnight() {
  return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}

}  // namespace kvn
