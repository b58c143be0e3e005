// The keyboard state: keys seen by the program's own windows on the offscreen
// platform, and the whole keyboard of a private X server driven by xdotool.
#include "app/key_state.h"
#include "support/virtual_display.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QWidget>

namespace kvn {
namespace {

TEST(KeyStateTest, OwnWindowsFollowPressesReleasesAndDeactivation) {
  PlatformKeyState keys;
  if (keys.readsX11()) GTEST_SKIP() << "reads the whole X keyboard, not our windows' keys";
  QWidget window;
  const auto ctrlL = [&] { return keys.GetAsyncKeyState(kVkControl) & keys.GetAsyncKeyState(kVkL); };

  QTest::keyPress(&window, Qt::Key_L, Qt::ControlModifier);  // Ctrl, then L
  EXPECT_NE(ctrlL(), 0);
  EXPECT_EQ(keys.GetAsyncKeyState(kVkL), kKeyDown);
  EXPECT_EQ(keys.GetAsyncKeyState(kVkU), 0);
  EXPECT_EQ(keys.GetAsyncKeyState(0x41), 0);  // A
  EXPECT_EQ(keys.GetAsyncKeyState(0x10), 0);  // Shift

  // A held key's auto-repeat release is not a release.
  QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_L, Qt::ControlModifier, QString(), true);
  QApplication::sendEvent(&window, &repeat);
  EXPECT_NE(ctrlL(), 0);

  QTest::keyRelease(&window, Qt::Key_L, Qt::ControlModifier);  // L, then Ctrl
  EXPECT_EQ(keys.GetAsyncKeyState(kVkControl), 0);
  EXPECT_EQ(keys.GetAsyncKeyState(kVkL), 0);

  // Ctrl pressed before our window had the focus still counts.
  QKeyEvent uWithCtrl(QEvent::KeyPress, Qt::Key_U, Qt::ControlModifier);
  QApplication::sendEvent(&window, &uWithCtrl);
  EXPECT_NE(keys.GetAsyncKeyState(kVkControl) & keys.GetAsyncKeyState(kVkU), 0);

  // Keys released while another program has the focus are never seen.
  QEvent deactivate(QEvent::WindowDeactivate);
  QApplication::sendEvent(&window, &deactivate);
  EXPECT_EQ(keys.GetAsyncKeyState(kVkControl) | keys.GetAsyncKeyState(kVkU), 0);

  QTest::keyPress(&window, Qt::Key_L, Qt::ControlModifier);
  QApplicationStateChangeEvent inactive(Qt::ApplicationInactive);
  QApplication::sendEvent(qApp, &inactive);
  EXPECT_EQ(keys.GetAsyncKeyState(kVkControl) | keys.GetAsyncKeyState(kVkL), 0);
}

TEST(KeyStateTest, MissingDisplayIsUnusableWithEveryKeyUp) {
  X11Keyboard keyboard(":9871");
  EXPECT_FALSE(keyboard.usable());
  for (int vk : {kVkControl, kVkL, kVkU}) EXPECT_FALSE(keyboard.isDown(vk)) << vk;
}

TEST(KeyStateTest, X11KeyboardReadsKeysPressedByAnotherClient) {
  if (!test::VirtualDisplay::Available()) GTEST_SKIP() << "needs Xvfb and xdotool";
  test::VirtualDisplay display(150);
  ASSERT_FALSE(display.name().isEmpty()) << "Xvfb did not start";

  const auto run = [&](const QStringList& args) { return display.xdotool(args).has_value(); };
  X11Keyboard keyboard(display.name().toStdString());
  ASSERT_TRUE(keyboard.usable());
  // The other client's keys reach the server in their own time.
  const auto settle = [&](bool ctrlAndL) {
    QElapsedTimer waited;
    waited.start();
    while ((keyboard.isDown(kVkControl) != ctrlAndL || keyboard.isDown(kVkL) != ctrlAndL) &&
           waited.elapsed() < 2000)
      QTest::qSleep(5);
  };

  ASSERT_TRUE(run({"keydown", "ctrl+l"}));
  settle(true);
  EXPECT_TRUE(keyboard.isDown(kVkControl));
  EXPECT_TRUE(keyboard.isDown(kVkL));
  EXPECT_FALSE(keyboard.isDown(kVkU));
  EXPECT_FALSE(keyboard.isDown(0x41));

  ASSERT_TRUE(run({"keyup", "ctrl+l"}));
  settle(false);
  EXPECT_FALSE(keyboard.isDown(kVkControl));
  EXPECT_FALSE(keyboard.isDown(kVkL));
}

}  // namespace
}  // namespace kvn
