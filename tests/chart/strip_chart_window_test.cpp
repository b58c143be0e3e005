// The strip chart window through its real widgets, with the fake driver and a
// keyboard the test holds down.
#include "chart/strip_chart_window.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QBackingStore>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <limits>
#include <set>

#include "chart/chart_views.h"
#include "common/num_forms.h"

#include "support/fake_driver.h"
#include "support/scripted_dialogs.h"

namespace kvn {
namespace {

class HeldKeys : public KeyState {
 public:
  std::set<int> down;
  std::int16_t GetAsyncKeyState(int key) override { return down.count(key) ? kKeyDown : 0; }
};

class ChartWindowTest : public ::testing::Test {
 protected:
  ChartWindowTest() : window({driver, values, dialogs, keys, chart, dir.path().toStdString()}) {}

  template <typename T>
  T* child(const char* name) {
    T* w = window.findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QComboBox* sourceList(int i) { return child<QComboBox>(("Chnsrc_lst_" + std::to_string(i)).c_str()); }
  std::vector<int> inUse() const {
    std::vector<int> out;
    for (int c = 0; c < 13; ++c)
      if (chart.chanTable[static_cast<std::size_t>(c)].InUse) out.push_back(c);
    return out;
  }

  QTemporaryDir dir;
  test::FakeDriver driver;
  ProgramValues values;
  test::ScriptedDialogs dialogs;
  HeldKeys keys;
  ChartValues chart;
  StripChartWindow window;
};

TEST_F(ChartWindowTest, LoadShowsChannelZeroInGlobalOperationAndStartsTheTimer) {
  driver.setDefault("envReadAna", 7);
  window.load();

  for (int i = 0; i < 8; ++i) {
    ASSERT_EQ(sourceList(i)->count(), 12);
    EXPECT_EQ(sourceList(i)->currentText(), "Ana1");
    EXPECT_EQ(sourceList(i)->itemText(8), "Hum");
    EXPECT_EQ(child<QLabel>(("Chan_lbl_" + std::to_string(i)).c_str())->text(),
              QStringLiteral("Chan%1").arg(i));
  }
  EXPECT_EQ(child<QComboBox>("Chann_lst")->itemText(11), "Chan11");
  EXPECT_EQ(inUse(), std::vector<int>{0});
  EXPECT_EQ(chart.chanTable[0].InUse, -1);
  EXPECT_TRUE(child<QRadioButton>("Glob_rad")->isChecked());
  EXPECT_TRUE(chart.globalScale);
  EXPECT_EQ(child<QPushButton>("Stop_cmd")->text(), "Stop");
  EXPECT_EQ(window.windowTitle(), "StripChart");
  EXPECT_TRUE(window.timer().isActive());
  EXPECT_EQ(window.timer().interval(), 50);
  // One reading of every source fills the chart: the temperatures are read
  // before each of the twelve.
  EXPECT_EQ(driver.count("envReadTemp"), 12);
  EXPECT_EQ(window.model().sample(0, 0), 7);
  EXPECT_EQ(window.model().sample(0, 69), 7);
  EXPECT_TRUE(dialogs.shown.empty());

  window.tick();
  EXPECT_EQ(child<QLabel>("graphtitle_lbl")->text(), "Analog Sensor 1");
  EXPECT_EQ(driver.count("envReadTemp"), 24);
  ASSERT_EQ(window.frame().legend.size(), 1u);
  EXPECT_EQ(window.frame().legend[0].text, "Ana1 = 7 units");
}

// An open list is wide enough for its longest entry beside its scroll bar
// (the view's viewport leaves the bar out),
// however narrow the closed box: nobody picks a channel from "...".
TEST_F(ChartWindowTest, OpenListsShowEveryEntryWhole) {
  window.load();
  window.show();
  const auto lists = window.findChildren<QComboBox*>();
  ASSERT_EQ(lists.size(), 9);
  for (QComboBox* list : lists) {
    list->showPopup();
    QAbstractItemView* view = list->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window())) << list->objectName().toStdString();
    int widest = 0;
    for (int i = 0; i < list->count(); ++i)
      widest = std::max(widest, view->sizeHintForIndex(list->model()->index(i, 0)).width());
    EXPECT_GT(widest, list->width() / 2) << list->objectName().toStdString();
    EXPECT_GE(view->viewport()->width(), widest) << list->objectName().toStdString();
    list->hidePopup();
  }
}

TEST_F(ChartWindowTest, ABadSettingsFileIsReportedOnceAtLoad) {
  QFile f(QDir(dir.path()).filePath("Settings.txt"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("Volt\r\n255\r\nlots\r\n0\r\n");
  f.close();
  window.load();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_NE(dialogs.shown[0].text.find("Settings.txt"), std::string::npos);
  EXPECT_EQ(sourceList(0)->currentText(), "Ana1");  // the defaults
}

TEST_F(ChartWindowTest, LoadRemovesTemporaryFilesAKilledSaveLeftInItsFolder) {
  const QString stale = QDir(dir.path()).filePath(".~kvn-999999999-0-1.tmp");
  QFile f(stale);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  window.load();
  EXPECT_FALSE(QFile::exists(stale));
}

TEST_F(ChartWindowTest, SourceListsPutTheUnionOfTheirChannelsInUse) {
  window.load();
  sourceList(3)->setCurrentIndex(8);
  EXPECT_EQ(inUse(), (std::vector<int>{0, 8}));
  sourceList(5)->setCurrentIndex(8);  // the same channel twice: one line
  EXPECT_EQ(inUse(), (std::vector<int>{0, 8}));
  sourceList(3)->setCurrentIndex(2);  // list 5 still shows channel 8
  EXPECT_EQ(inUse(), (std::vector<int>{0, 2, 8}));
  for (int i = 0; i < 8; ++i) sourceList(i)->setCurrentIndex(9);
  EXPECT_EQ(inUse(), std::vector<int>{9});

  window.tick();
  EXPECT_EQ(window.frame().traceCount, 1);
  EXPECT_EQ(window.frame().title, "Cur Temperature");
}

TEST_F(ChartWindowTest, GlobalAndIndependentRangesAndTheSettingsButton) {
  window.load();
  chart.chanTable[0].YMin = 0;
  chart.chanTable[0].YMax = 10;
  chart.chanTable[8].YMin = -5;
  chart.chanTable[8].YMax = 20;
  sourceList(2)->setCurrentIndex(8);
  child<QScrollBar>("ScaleMax_Scroll")->setValue(3);
  child<QScrollBar>("ScaleMin_Scroll")->setValue(2);

  window.tick();  // Global: channel 0's range for every trace
  EXPECT_EQ(window.frame().top, 13);
  EXPECT_EQ(window.frame().bottom, -2);

  child<QRadioButton>("Ind_rad")->click();
  EXPECT_FALSE(chart.globalScale);
  window.tick();
  EXPECT_EQ(window.frame().yTop, " 23 ");
  EXPECT_EQ(window.frame().yBottom, "-7 ");

  // Settings: the upper margin goes to 0, the lower one stays; in
  // Independent operation the chosen trace's source channel is edited.
  QSignalSpy asked(&window, &StripChartWindow::settingsRequested);
  child<QComboBox>("Chann_lst")->setCurrentIndex(2);
  child<QPushButton>("Settings")->click();
  EXPECT_EQ(child<QScrollBar>("ScaleMax_Scroll")->value(), 0);
  EXPECT_EQ(child<QScrollBar>("ScaleMin_Scroll")->value(), 2);
  EXPECT_EQ(chart.editChan, 8);
  // Chan8 to Chan11 name no trace: they edit that channel itself.
  child<QComboBox>("Chann_lst")->setCurrentIndex(10);
  child<QPushButton>("Settings")->click();
  EXPECT_EQ(chart.editChan, 10);
  // Global operation always edits channel 0.
  child<QRadioButton>("Glob_rad")->click();
  child<QPushButton>("Settings")->click();
  EXPECT_EQ(chart.editChan, 0);
  EXPECT_EQ(asked.count(), 3);
}

TEST_F(ChartWindowTest, CtrlLLinksTheMarginBarsAndCtrlUUnlinksThem) {
  window.load();
  auto* top = child<QScrollBar>("ScaleMax_Scroll");
  auto* bottom = child<QScrollBar>("ScaleMin_Scroll");
  keys.down = {kVkL};  // L alone does nothing
  window.tick();
  EXPECT_FALSE(window.scaleLinked());

  keys.down = {kVkL, kVkControl};
  window.tick();
  keys.down.clear();
  EXPECT_TRUE(window.scaleLinked());
  top->setValue(12);
  EXPECT_EQ(bottom->value(), 12);
  bottom->setValue(4);
  EXPECT_EQ(top->value(), 4);
  child<QPushButton>("Settings")->click();  // linked: both go to 0
  EXPECT_EQ(bottom->value(), 0);

  keys.down = {kVkU, kVkControl, kVkL};  // both held: unlinked wins
  window.tick();
  EXPECT_FALSE(window.scaleLinked());
  top->setValue(9);
  EXPECT_EQ(bottom->value(), 0);
}

TEST_F(ChartWindowTest, StopAndStartLeaveNoGapAndTheSpeedBarSetsTheInterval) {
  window.load();
  window.tick();
  const int written = window.model().writePos();
  auto* stop = child<QPushButton>("Stop_cmd");
  stop->click();
  EXPECT_EQ(stop->text(), "Start");
  EXPECT_FALSE(window.timer().isActive());
  const int reads = driver.count("envReadTemp");
  QTest::qWait(120);  // more than two ticks' time: nothing is read
  EXPECT_EQ(driver.count("envReadTemp"), reads);
  stop->click();
  EXPECT_EQ(stop->text(), "Stop");
  EXPECT_TRUE(window.timer().isActive());
  window.tick();
  EXPECT_EQ(window.model().writePos(), written + 1);

  auto* speed = child<QScrollBar>("speed_scroll");
  speed->setValue(speed->minimum());
  EXPECT_EQ(window.timer().interval(), 1);
  speed->setValue(speed->maximum());
  EXPECT_EQ(window.timer().interval(), 500);
}

TEST_F(ChartWindowTest, SaveWritesSettingsFileOrSaysWhyNot) {
  window.load();
  chart.chanTable[1].Abbrev = "Fan";
  child<QPushButton>("setsave_cmd")->click();
  QFile f(QDir(dir.path()).filePath("Settings.txt"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(f.readAll().startsWith("Ana1\r\n 0 \r\n 10 \r\n 0 \r\nAnalog Sensor 1\r\n"));
  EXPECT_TRUE(dialogs.shown.empty());

  StripChartWindow elsewhere({driver, values, dialogs, keys, chart, dir.filePath("missing").toStdString()});
  elsewhere.findChild<QPushButton*>("setsave_cmd")->click();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_NE(dialogs.shown[0].text.find("Settings.txt"), std::string::npos);
  EXPECT_EQ(chart.chanTable[1].Abbrev, "Fan");
}

TEST_F(ChartWindowTest, StoreSavesTheShownSamplesBesideTheExecutable) {
  driver.setDefault("envReadAna", 64);
  window.load();
  child<QPushButton>("Save_cmd")->click();
  QFile f(QDir(dir.path()).filePath("Ana1.txt"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  EXPECT_EQ(bytes.count("\r\n"), 71);
  EXPECT_TRUE(bytes.endsWith(" 0 \r\n")) << "the writePos column, not read yet";
  EXPECT_TRUE(dialogs.shown.empty());

  StripChartWindow elsewhere({driver, values, dialogs, keys, chart, dir.filePath("missing").toStdString()});
  elsewhere.load();
  elsewhere.findChild<QPushButton*>("Save_cmd")->click();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_NE(dialogs.shown[0].text.find("Ana1.txt"), std::string::npos);
}

// The painted plot: a flat channel lies on the row of its value, in its
// colour; a vertical grid line on its column, in the grid colour.
TEST_F(ChartWindowTest, PlotPaintsTracesAndGridWherePlaced) {
  driver.setDefault("envReadAna", 5);
  window.load();
  chart.chanTable[0].YMin = 0;
  chart.chanTable[0].YMax = 10;
  chart.chanTable[0].Color = 0x0000FF;  // red
  window.tick();
  auto* plot = child<QFrame>("Graph_pic");
  const QImage image = plot->grab(plot->contentsRect()).toImage();
  const int w = image.width(), h = image.height();
  ASSERT_GT(w, 300);
  ASSERT_GT(h, 200);

  const QRgb red = qRgb(255, 0, 0), grid = qRgb(192, 0, 192), white = qRgb(255, 255, 255);
  const int middle = h / 2;  // 5 on a scale of 0..10
  for (int x : {w / 3 + 2, w / 2 + 2, 2 * w / 3 + 2}) {
    EXPECT_EQ(image.pixel(x, middle), red) << x;
    EXPECT_EQ(image.pixel(x, middle - 4), white) << x;
    EXPECT_EQ(image.pixel(x, middle + 4), white) << x;
  }
  // The first vertical line is 4 samples in, on a scale of 70 samples.
  const int column = static_cast<int>(4.0 * w / 70 + 0.5);
  const int between = 3 * h / 16;  // halfway between two horizontal lines
  EXPECT_EQ(image.pixel(column, between), grid);
  EXPECT_EQ(image.pixel(column - 2, between), white);
  EXPECT_EQ(image.pixel(column + 2, between), white);
}

// The plot as the shown window paints it, straight into its backing store,
// is pixel for pixel the picture drawn apart and copied onto a device it
// cannot draw into straight (24-bit pixels).
TEST_F(ChartWindowTest, PlotInTheWindowIsThePictureDrawnApart) {
  std::vector<std::int32_t> readings;
  for (int i = 0; i < 2000; ++i) readings.push_back((i * 37) % 256 < 128 ? (i * 37) % 256 : 40);
  driver.script("envReadAna", readings);
  window.load();
  for (int c = 0; c < 8; ++c) {
    auto& record = chart.chanTable[static_cast<std::size_t>(c)];
    record.InUse = -1;
    record.YMin = 0;
    record.YMax = 6;
  }
  child<QRadioButton>("Ind_rad")->click();
  window.show();
  for (int i = 0; i < 80; ++i) window.tick();
  QApplication::processEvents();

  auto* plot = child<QFrame>("Graph_pic");
  const QRect inside = plot->contentsRect();
  const auto* store = dynamic_cast<const QImage*>(window.backingStore()->paintDevice());
  ASSERT_NE(store, nullptr);
  const qreal dpr = window.devicePixelRatio();  // 2 with QT_SCALE_FACTOR=2
  const QRect device(plot->mapTo(&window, inside.topLeft()) * dpr, inside.size() * dpr);
  const QImage shown = store->copy(device).convertToFormat(QImage::Format_RGB32);
  QImage apart(device.size(), QImage::Format_RGB888);
  apart.setDevicePixelRatio(dpr);
  plot->render(&apart, QPoint(), QRegion(inside), QWidget::RenderFlags());
  EXPECT_EQ(shown, apart.convertToFormat(QImage::Format_RGB32));

  std::set<QRgb> colours;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x) colours.insert(shown.pixel(x, y));
  EXPECT_GE(colours.size(), 5u) << "white, the grid and traces of several colours";
}

// A Y label shows whole inside its strip and keeps its magnitude however
// large the range; the plot keeps its eight grid rows up to the largest
// double.
TEST_F(ChartWindowTest, ExtremeRangesKeepTheirLabelsWholeAndTheirGrid) {
  window.load();
  window.show();
  auto* strip = child<YAxisView>("y_pic");
  const QRect inside(QPoint(), strip->contentsRect().size());
  const auto range = [&](double top) {
    chart.chanTable[0].YMin = -top;
    chart.chanTable[0].YMax = top;
    window.tick();
  };
  range(23);
  const YAxisView::Shown usual = strip->shownTop();
  EXPECT_EQ(usual.text, " 23 ");
  EXPECT_EQ(strip->shownBottom().text, "-23 ");

  const std::pair<double, const char*> extremes[] = {
      {1e300, "E300"}, {std::numeric_limits<double>::max(), "E308"}, {123456789, ""}};
  for (const auto& [top, exponent] : extremes) {
    range(top);
    for (const YAxisView::Shown& label : {strip->shownTop(), strip->shownBottom()}) {
      EXPECT_TRUE(inside.contains(label.rect)) << label.text;
      EXPECT_NE(label.text.find(exponent), std::string::npos) << label.text;
      EXPECT_EQ(label.text.find('+'), std::string::npos) << label.text;
    }
    EXPECT_EQ(strip->shownBottom().text.front(), '-');
  }
  EXPECT_NEAR(NumValue(strip->shownTop().text), 123456789, 1e7) << strip->shownTop().text;

  range(std::numeric_limits<double>::max());
  const int h = child<QFrame>("Graph_pic")->contentsRect().height();
  const PlotMapping mapping(window.frame(), 400, h);
  std::set<int> rows;
  for (double y : window.frame().gridY) rows.insert(mapping.row(y));
  EXPECT_EQ(rows.size(), 8u);
  EXPECT_EQ(*rows.begin(), mapping.row(window.frame().viewTop));
  EXPECT_LE(*rows.rbegin(), h);
}

// The legend's text images: each no wider than its box, and all of them
// together a few MiB at most, whatever the texts.
TEST(TextCache, HoldsAFewMiBAtMostAndNoImageWiderThanItsRoom) {
  QImage target(200, 100, QImage::Format_ARGB32_Premultiplied);
  QPainter p(&target);
  const QFont font = QApplication::font();
  const std::string text = std::string(450 * 1024, 'A') + " = 1 units";
  TextStamp stamp(text);
  stamp.draw(p, QPoint(), font, Qt::black, 2, 150);
  EXPECT_LT(stamp.bytes(), text.size() + 64 * 1024) << "a 450 KiB text in a box 150 pixels wide";
  TextCache cache;
  for (int reading = 0; reading < 40; ++reading) {
    cache.draw(p, QPoint(), "Ana" + std::to_string(reading) + std::string(2000, 'x'), font,
               Qt::black, 2, 100000);
    EXPECT_LE(cache.bytes(), TextCache::kMaxBytes) << reading;
  }
}

// The drawing timer: ticks while it runs, and not once it is stopped, not
// even for a period that passed while the window thread was busy.
TEST(TickTimer, TicksWhileActiveAndNeverOnceStopped) {
  // The event loop runs freely for a while (QTest::qWait sleeps between its
  // rounds, and periods that pass meanwhile count once).
  const auto run = [](int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
  };
  TickTimer timer;
  int ticks = 0;
  QObject::connect(&timer, &TickTimer::timeout, [&ticks] { ++ticks; });
  timer.setInterval(1);
  timer.start();
  EXPECT_TRUE(timer.isActive());
  run(50);
  EXPECT_GT(ticks, 10);
  QThread::msleep(5);
  timer.stop();
  const int stoppedAt = ticks;
  run(30);
  EXPECT_EQ(ticks, stoppedAt);
  EXPECT_FALSE(timer.isActive());

  timer.setInterval(0);  // as often as it can
  timer.start();
  run(10);
  EXPECT_GT(ticks, stoppedAt);
}

}  // namespace
}  // namespace kvn
