// The main panel's inventory behaviour and the board connection controls,
// through the real widgets with the fake driver.
#include "panel/env_form.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>

#include "support/fake_driver.h"
#include "support/scripted_dialogs.h"

namespace kvn {
namespace {

using Texts = std::vector<std::string>;

class EnvFormTest : public ::testing::Test {
 protected:
  EnvFormTest() : form(PanelContext{driver, values, dialogs, clock}) {}

  template <typename T>
  T* child(const QString& name) const {
    T* w = form.findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name.toStdString();
    return w;
  }
  QString text(const QString& name) const { return child<QLineEdit>(name)->text(); }
  bool shown(const char* frame) const { return !child<QGroupBox>(frame)->isHidden(); }

  // Chooses a bus address entry the way a user does.
  void pickAddress(int index) {
    auto* list = child<QComboBox>("brdAddrList");
    list->setCurrentIndex(index);
    emit list->activated(index);
  }

  test::FakeDriver driver;
  ProgramValues values;
  test::ScriptedDialogs dialogs;
  test::SteppingClock clock{0, 0.05};
  EnvForm form;
};

TEST_F(EnvFormTest, ReadRangesFillsFieldsAndListFromTheReportedRanges) {
  driver.ranges = {};
  driver.ranges.ioCount = 2;
  driver.ranges.ioBase = {0x300, 0x340};
  driver.ranges.ioExtent = {16, 16};
  driver.ranges.memCount = 1;
  driver.ranges.memBase = {0xC8000};
  driver.ranges.memExtent = {2048};
  form.ReadRanges();

  auto* list = child<QComboBox>("brdAddrList");
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->itemText(1), "340");
  EXPECT_EQ(text("Base_IO_0"), "300");
  EXPECT_EQ(text("Base_IO_1"), "340");
  EXPECT_EQ(text("Extent_IO_0"), "16");
  EXPECT_EQ(text("Base_MEM_0"), "C8000");
  EXPECT_EQ(text("Extent_Mem_0"), "2048");
  for (const char* empty : {"Base_IO_2", "Base_IO_3", "Extent_IO_2", "Base_MEM_1",
                            "Extent_Mem_1", "Base_MEM_3"})
    EXPECT_EQ(text(empty), "") << empty;
}

TEST_F(EnvFormTest, ReadRangesWithNoneOrTooManyRanges) {
  driver.ranges = {};
  form.ReadRanges();
  EXPECT_EQ(child<QComboBox>("brdAddrList")->count(), 0);
  form.selectAddressEntry(0);
  EXPECT_EQ(child<QComboBox>("brdAddrList")->currentIndex(), -1);

  // Eight ranges of each kind reported with absurd counts: the list gets all
  // eight I/O ranges, the frame shows the four it has room for.
  for (int n = 0; n < 8; ++n) {
    driver.ranges.ioBase[static_cast<std::size_t>(n)] = 0x300 + 0x10 * n;
    driver.ranges.memBase[static_cast<std::size_t>(n)] = 0xD0000 + n;
  }
  driver.ranges.ioCount = 1000;
  driver.ranges.memCount = 9;
  form.ReadRanges();
  EXPECT_EQ(child<QComboBox>("brdAddrList")->count(), 8);
  EXPECT_EQ(text("Base_IO_3"), "330");
  EXPECT_EQ(text("Base_MEM_3"), "D0003");
  EXPECT_EQ(form.findChild<QLineEdit*>("Base_IO_4"), nullptr);
}

TEST_F(EnvFormTest, AddressChangeReopensAndTellsEveryStatus) {
  form.ReadRanges();
  form.selectAddressEntry(0);
  EXPECT_TRUE(driver.calls.size() == 1u);  // only the ranges: selecting does not re-open

  struct Case {
    std::int32_t status;
    const char* message;
  };
  const Case cases[] = {
      {2, "Address change, Driver Properly Opened"},
      {1, "Address change, Driver did not Open"},
      {0, "Address change, Driver not Closed"},
      {7, "Address change, Driver Error: 7"},
      {-12, "Address change, Driver Error:-12"},
  };
  for (const Case& c : cases) {
    driver.calls.clear();
    dialogs.shown.clear();
    clock.reads = 0;
    driver.script("vbapp_Open", {c.status});
    pickAddress(1);
    EXPECT_EQ(driver.calls, (Texts{"vbapp_Close()", "vbapp_Open(1)"}));
    EXPECT_GE(clock.reads, 6) << "the quarter-second wait between close and open";
    EXPECT_EQ(dialogs.texts(), Texts{c.message});
    EXPECT_EQ(values.brdStatus, c.status);
    EXPECT_EQ(values.brdAddrIndex, 1);  // taken whatever the status
  }
  // The ranges are not read again.
  EXPECT_EQ(driver.count("vbapp_CardRangesL"), 0);
  EXPECT_EQ(child<QComboBox>("brdAddrList")->count(), 2);
}

TEST_F(EnvFormTest, WheelOverAClosedListNeverChoosesButKeysStillDo) {
  driver.ranges.ioCount = 2;
  driver.ranges.ioBase = {0x300, 0x340};
  form.ReadRanges();
  form.selectAddressEntry(0);
  form.show();
  const auto before = driver.calls.size();
  for (const char* name : {"brdAddrList", "tmpSensor", "brdOffset", "anaTypeList"}) {
    auto* list = child<QComboBox>(name);
    list->setCurrentIndex(0);
    list->show();  // the format list's frame is hidden at first
    for (const int delta : {-120, 120, -120}) {
      const QPointF at(list->width() / 2.0, list->height() / 2.0);
      QWheelEvent wheel(at, list->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                        Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(list, &wheel);
    }
    EXPECT_EQ(list->currentIndex(), 0) << name;
  }
  EXPECT_EQ(driver.calls.size(), before) << "no close, no re-open";
  EXPECT_TRUE(dialogs.shown.empty());

  // The keyboard still chooses, as with a list box: the address changes.
  auto* address = child<QComboBox>("brdAddrList");
  address->setFocus();
  QTest::keyClick(address, Qt::Key_Down);
  EXPECT_EQ(address->currentIndex(), 1);
  EXPECT_EQ(driver.count("vbapp_Open"), 1);
  EXPECT_EQ(values.brdAddrIndex, 1);
}

TEST_F(EnvFormTest, FramesThatShareAPlaceAreSwapped) {
  form.show();
  EXPECT_TRUE(shown("brdFrame"));
  EXPECT_FALSE(shown("logFrame"));
  EXPECT_TRUE(shown("anaFrame"));
  EXPECT_FALSE(shown("anaTypeFrame"));
  EXPECT_TRUE(shown("Frame1"));
  EXPECT_GT(child<QGroupBox>("Frame1")->y(), form.centralWidget()->height() - 1)
      << "the Bus Address Information frame lies below the first client area";

  child<QAction>("brdLogging")->trigger();
  EXPECT_TRUE(shown("logFrame"));
  EXPECT_FALSE(shown("brdFrame"));
  EXPECT_TRUE(child<QAction>("brdLogging")->isChecked());
  child<QPushButton>("logReturn")->click();
  EXPECT_TRUE(shown("brdFrame"));
  EXPECT_FALSE(shown("logFrame"));
}

TEST_F(EnvFormTest, InventoryHasItsListsAndCaptions) {
  auto items = [&](const char* name) {
    QStringList out;
    auto* list = child<QComboBox>(name);
    for (int i = 0; i < list->count(); ++i) out << list->itemText(i);
    return out;
  };
  EXPECT_EQ(items("anaTypeList"),
            (QStringList{"Single, Unipolar", "Single, Bipolar", "Differential, Unipolar",
                         "Differentialm Bipolar"}));
  EXPECT_EQ(items("tmpSensor"), (QStringList{"0", "1"}));
  ASSERT_EQ(items("brdOffset").size(), 16);
  EXPECT_EQ(items("brdOffset").front(), "+0");
  EXPECT_EQ(items("brdOffset").back(), "+15");
  for (const char* list : {"tmpSensor", "brdOffset", "anaTypeList", "brdAddrList"})
    EXPECT_EQ(child<QComboBox>(list)->currentIndex(), -1) << list;
  EXPECT_EQ(text("logTime"), "10");
  EXPECT_EQ(child<QComboBox>("anaTypeList")->pos(), QPoint(8, 40));  // 120, 600 twips

  // The four menus, in order, with their access keys.
  QStringList menus;
  for (QAction* a : form.menuBar()->actions()) menus << a->text();
  EXPECT_EQ(menus, (QStringList{"&File", "F&unction", "&Help", "&About"}));
  EXPECT_EQ(child<QAction>("brdDLLVersion")->text(), "DLL &Version");
  EXPECT_TRUE(child<QAction>("brdContinuousScan")->isCheckable());
  EXPECT_FALSE(child<QAction>("brdContinuousScan")->isChecked());
}

}  // namespace
}  // namespace kvn
