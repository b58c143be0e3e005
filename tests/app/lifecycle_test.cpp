// Start-up and Quit with the fake driver and scripted boxes, in a temporary
// working directory.
#include "app/lifecycle.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QScrollBar>
#include <QTest>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>
#include <functional>

#include "app/chart_host.h"
#include "chart/strip_chart_window.h"
#include "install/driver_installer.h"
#include "panel/env_form.h"
#include "widgets/tick_timer.h"
#include "support/fake_driver.h"
#include "support/scripted_dialogs.h"

namespace kvn {
namespace {

using Texts = std::vector<std::string>;

// Records the installation steps into the driver's call list, so their order
// against the first board call can be checked.
class RecordingInstallation : public Installation {
 public:
  explicit RecordingInstallation(std::vector<std::string>& calls) : calls_(calls) {}
  void InstallDriverFiles() override { calls_.push_back("InstallDriverFiles"); }
  void InstallFormatLibrary() override { calls_.push_back("InstallFormatLibrary"); }
  std::vector<std::string> failures() const override { return failed; }
  std::vector<std::string> failed;

 private:
  std::vector<std::string>& calls_;
};

class LifecycleTest : public ::testing::Test {
 protected:
  LifecycleTest() : installation_(driver.calls) {
    previousDir_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
  }
  ~LifecycleTest() override { QDir::setCurrent(previousDir_); }

  // Builds the window and its life cycle; attachProblem stands for a driver
  // library that could not be loaded.
  void make(std::string attachProblem = {}) {
    form = std::make_unique<EnvForm>(context());
    lifecycle = std::make_unique<Lifecycle>(*form, context(), installation_,
                                            [attachProblem]() -> std::optional<std::string> {
                                              if (attachProblem.empty()) return std::nullopt;
                                              return attachProblem;
                                            });
  }
  StartOutcome start(const std::string& commandLine, std::string attachProblem = {}) {
    make(std::move(attachProblem));
    return lifecycle->startUp(commandLine);
  }
  PanelContext context() { return {driver, values, dialogs, clock}; }

  void putStateFile(const std::string& bytes) {
    std::ofstream(stateFile(), std::ios::binary) << bytes;
  }
  std::string stateFileContent() const {
    std::ifstream in(stateFile(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::string stateFile() const { return dir_.filePath("kvnvb_DazEvo.set").toStdString(); }

  template <typename T>
  T* child(const char* name) const {
    T* w = form->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QString text(const char* lineEdit) const { return child<QLineEdit>(lineEdit)->text(); }
  bool framesShown(const char* shown, const char* hidden) const {
    return !child<QGroupBox>(shown)->isHidden() && child<QGroupBox>(hidden)->isHidden();
  }

  test::FakeDriver driver;
  ProgramValues values;
  test::ScriptedDialogs dialogs;
  test::SteppingClock clock;
  std::unique_ptr<EnvForm> form;
  std::unique_ptr<Lifecycle> lifecycle;

 private:
  QTemporaryDir dir_;
  QString previousDir_;

 protected:
  RecordingInstallation installation_;
};

TEST_F(LifecycleTest, OpenedBoardWithEmptyCommandLine) {
  putStateFile(" 1 \r\n25\r\n");
  EXPECT_EQ(start(""), StartOutcome::Running);

  EXPECT_EQ(dialogs.texts(), Texts{"Driver Properly Opened"});
  EXPECT_EQ(dialogs.shown[0].title, "kvnvb_DazEvo");
  // Installation first, then the open at the stored index, then the ranges.
  ASSERT_GE(driver.calls.size(), 4u);
  EXPECT_EQ(driver.calls[0], "InstallDriverFiles");
  EXPECT_EQ(driver.calls[1], "InstallFormatLibrary");
  EXPECT_EQ(driver.calls[2], "vbapp_Open(1)");
  EXPECT_EQ(driver.calls[3], "vbapp_CardRangesL()");
  EXPECT_EQ(driver.count("vbapp_Open"), 1);  // selecting the entry does not re-open

  auto* list = child<QComboBox>("brdAddrList");
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->itemText(0), "300");
  EXPECT_EQ(list->itemText(1), "340");
  EXPECT_EQ(list->currentIndex(), 1);
  EXPECT_EQ(text("Base_IO_0"), "300");
  EXPECT_EQ(text("Extent_IO_1"), "16");
  EXPECT_EQ(text("Base_IO_2"), "");
  EXPECT_EQ(text("logTime"), "25");
  EXPECT_EQ(values.appDir, QDir::toNativeSeparators(QDir::currentPath()).toStdString());

  EXPECT_TRUE(form->brdTimer1()->isActive());
  EXPECT_EQ(form->brdTimer1()->interval(), 100);
  EXPECT_EQ(form->brdTimer1()->objectName(), "brdTimer1");
  EXPECT_TRUE(framesShown("anaFrame", "anaTypeFrame"));
  EXPECT_TRUE(framesShown("brdFrame", "logFrame"));
  EXPECT_EQ(text("anaStart"), "0");
  EXPECT_EQ(text("anaEnd"), "8");
  EXPECT_EQ(form->pos(), QPoint(7, 7));
  EXPECT_EQ(form->windowTitle(), "korvan PC/104 Environmental Fan Access Panel");
}

TEST_F(LifecycleTest, CommandLineFormsDecideStatusBoxAndLogging) {
  struct Case {
    const char* commandLine;
    bool statusBox;
    bool logging;
  };
  const Case cases[] = {
      {"", true, false},         {"   ", true, false},    {"/l", false, true},
      {"  /L  ", false, true},   {"/LOG", false, true},   {"x /l y", false, true},
      {"/X", false, false},      {"\\L", false, false},
  };
  for (const Case& c : cases) {
    driver.calls.clear();
    dialogs.shown.clear();
    EXPECT_EQ(start(c.commandLine), StartOutcome::Running) << c.commandLine;
    EXPECT_EQ(dialogs.shown.size(), c.statusBox ? 1u : 0u) << c.commandLine;
    EXPECT_EQ(child<QAction>("brdLogging")->isChecked(), c.logging) << c.commandLine;
    EXPECT_EQ(framesShown("logFrame", "brdFrame"), c.logging) << c.commandLine;
  }
}

TEST_F(LifecycleTest, EveryStatusIsToldAndAFailedOpenEndsTheProgram) {
  struct Case {
    std::int32_t status;
    const char* message;
  };
  const Case cases[] = {
      {0, "Driver not Closed"},
      {1, "Driver did not Open"},
      {7, "Driver Error: 7"},
      {-3, "Driver Error:-3"},
  };
  for (const Case& c : cases) {
    putStateFile(" 1 \r\n25\r\n");
    driver.calls.clear();
    dialogs.shown.clear();
    driver.script("vbapp_Open", {c.status});
    EXPECT_EQ(start(""), StartOutcome::Failed);
    EXPECT_EQ(dialogs.texts(), (Texts{c.message, "Program did not properly start, exiting..."}));
    // Quit ran: the state file holds what was read, the driver is closed.
    EXPECT_EQ(stateFileContent(), " 1 \r\n25\r\n");
    EXPECT_EQ(driver.count("vbapp_Close"), 1);
    EXPECT_EQ(driver.count("vbapp_CardRangesL"), 0);
    EXPECT_TRUE(lifecycle->quitDone());
  }
}

TEST_F(LifecycleTest, FailedOpenWithSlashLShowsOnlyTheExitBoxAndDoesNotLog) {
  driver.script("vbapp_Open", {1});
  EXPECT_EQ(start("/L"), StartOutcome::Failed);
  EXPECT_EQ(dialogs.texts(), Texts{"Program did not properly start, exiting..."});
  EXPECT_FALSE(child<QAction>("brdLogging")->isChecked());
}

TEST_F(LifecycleTest, UnusableDriverLibraryIsToldThenStartUpFails) {
  EXPECT_EQ(start("", "The board driver library /x/lib.so could not be loaded (gone)."),
            StartOutcome::Failed);
  EXPECT_EQ(dialogs.texts(),
            (Texts{"The board driver library /x/lib.so could not be loaded (gone).",
                   "Driver did not Open", "Program did not properly start, exiting..."}));
  EXPECT_EQ(driver.count("vbapp_Open"), 0);
  EXPECT_EQ(stateFileContent(), " 0 \r\n10\r\n");
}

TEST_F(LifecycleTest, InstallationFailuresAreToldBeforeTheBoardOpens) {
  installation_.failed = {"Could not copy a to b", "Could not copy c to d"};
  EXPECT_EQ(start(""), StartOutcome::Running);
  EXPECT_EQ(dialogs.texts(),
            (Texts{"The driver support files could not all be put in place:\r\n"
                   "Could not copy a to b\r\nCould not copy c to d",
                   "Driver Properly Opened"}));
}

TEST_F(LifecycleTest, StoredIndexOutsideTheListSelectsNothing) {
  putStateFile(" 5 \r\n10\r\n");
  EXPECT_EQ(start("/X"), StartOutcome::Running);
  EXPECT_EQ(child<QComboBox>("brdAddrList")->currentIndex(), -1);
  EXPECT_EQ(driver.calls[2], "vbapp_Open(5)");
  lifecycle->quit();
  EXPECT_EQ(stateFileContent(), " 5 \r\n10\r\n");

  putStateFile("-2 \r\n10\r\n");
  EXPECT_EQ(start("/X"), StartOutcome::Running);
  EXPECT_EQ(child<QComboBox>("brdAddrList")->currentIndex(), -1);
}

TEST_F(LifecycleTest, QuitWritesStateClosesDriverAndWindowOnce) {
  EXPECT_EQ(start("/X"), StartOutcome::Running);
  form->show();
  child<QLineEdit>("logTime")->setText("1,5");
  values.brdAddrIndex = 1;
  child<QPushButton>("brdQuitKey")->click();
  EXPECT_EQ(stateFileContent(), " 1 \r\n1,5\r\n");
  EXPECT_EQ(driver.count("vbapp_Close"), 1);
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(form->brdTimer1()->isActive());

  // File, Quit after the window is gone, or a signal, does nothing more.
  child<QAction>("brdQuit")->trigger();
  lifecycle->terminate();
  EXPECT_EQ(driver.count("vbapp_Close"), 1);
}

TEST_F(LifecycleTest, FileQuitRunsTheQuitOperation) {
  EXPECT_EQ(start("/X"), StartOutcome::Running);
  child<QAction>("brdQuit")->trigger();
  EXPECT_EQ(driver.count("vbapp_Close"), 1);
  EXPECT_EQ(stateFileContent(), " 0 \r\n10\r\n");
}

TEST_F(LifecycleTest, StateFileThatCannotBeWrittenIsTold) {
  EXPECT_EQ(start("/X"), StartOutcome::Running);
  // A folder in the file's place: the replacement cannot be renamed over it.
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(stateFile()) + "/inside"));
  lifecycle->quit();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_NE(dialogs.shown[0].text.find("kvnvb_DazEvo.set"), std::string::npos);
  EXPECT_EQ(driver.count("vbapp_Close"), 1);
}

TEST_F(LifecycleTest, NoScanTickRunsOnceQuitHasBegun) {
  // A box of Quit (the state file cannot be written) waits for its answer:
  // the scan timer is already stopped then, so no tick can reach the log
  // that Quit has just closed.
  struct Watching : test::ScriptedDialogs {
    std::function<void()> onMessage;
    void messageBox(const std::string& t, const std::string& title) override {
      ScriptedDialogs::messageBox(t, title);
      if (onMessage) onMessage();
    }
  } watching;
  bool timerActiveAtBox = true;
  watching.onMessage = [&] { timerActiveAtBox = form->brdTimer1()->isActive(); };
  form = std::make_unique<EnvForm>(PanelContext{driver, values, watching, clock});
  lifecycle = std::make_unique<Lifecycle>(*form, PanelContext{driver, values, watching, clock},
                                          installation_, [] { return std::optional<std::string>(); });
  ASSERT_EQ(lifecycle->startUp("/L"), StartOutcome::Running);
  ASSERT_TRUE(form->brdTimer1()->isActive());
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(stateFile()) + "/inside"));
  lifecycle->quit();
  ASSERT_EQ(watching.shown.size(), 1u);
  EXPECT_FALSE(timerActiveAtBox);
}

TEST_F(LifecycleTest, StartRemovesStaleTemporariesBesideTheStateFile) {
  // Left by a run killed while it replaced the state file; its process is gone.
  const QString stale = QDir::current().filePath(".~kvn-999999999-0-1.tmp");
  std::ofstream(stale.toStdString()) << " 5 \r\n";
  const QString other = QDir::current().filePath("notes.tmp");
  std::ofstream(other.toStdString()) << "mine";
  EXPECT_EQ(start("/X"), StartOutcome::Running);
  EXPECT_FALSE(QFile::exists(stale));
  EXPECT_TRUE(QFile::exists(other));
}

TEST_F(LifecycleTest, TerminationDuringStartUpQuitsWhenStartUpEnds) {
  // The status box is where start-up waits; a signal arrives while it is up.
  struct Interrupting : test::ScriptedDialogs {
    Lifecycle** target = nullptr;
    void messageBox(const std::string& t, const std::string& title) override {
      ScriptedDialogs::messageBox(t, title);
      if (*target) (*target)->terminate();
    }
  } interrupting;
  Lifecycle* raw = nullptr;
  interrupting.target = &raw;
  form = std::make_unique<EnvForm>(PanelContext{driver, values, interrupting, clock});
  RecordingInstallation inst(driver.calls);
  Lifecycle life(*form, PanelContext{driver, values, interrupting, clock}, inst, nullptr);
  raw = &life;
  EXPECT_EQ(life.startUp(""), StartOutcome::Terminated);
  EXPECT_TRUE(life.quitDone());
  EXPECT_EQ(driver.count("vbapp_Close"), 1);
  EXPECT_EQ(stateFileContent(), " 0 \r\n10\r\n");
}

TEST_F(LifecycleTest, SimulatedBoardSaysSoInTheCaption) {
  driver.simulated = true;
  start("/X");
  EXPECT_EQ(form->windowTitle(),
            "korvan PC/104 Environmental Fan Access Panel (simulated board)");
}

TEST_F(LifecycleTest, AnyCommandLineIsSafe) {
  std::string huge(1 << 20, 'a');
  huge += " /l ";
  huge += std::string(1000, '\xff');
  EXPECT_EQ(start(huge), StartOutcome::Running);
  EXPECT_TRUE(child<QAction>("brdLogging")->isChecked());
  EXPECT_EQ(Lifecycle::StartCommand("  a/lB  "), "A/LB");
  EXPECT_EQ(Lifecycle::StartCommand(std::string("\0/l", 3)), std::string("\0/L", 3));
}

// The Graph box and the strip chart, wired as the program wires them.
class ChartWiringTest : public LifecycleTest {
 protected:
  class NoKeys : public KeyState {
    std::int16_t GetAsyncKeyState(int) override { return 0; }
  };
  void makeWithChart() {
    make();
    chartHost = std::make_unique<ChartHost>(
        ChartContext{driver, values, dialogs, keys, chartValues, exeDir.path().toStdString()},
        *form, *lifecycle);
  }
  void clickGraph() { child<QCheckBox>("Graph_chk")->click(); }
  // Starts the panel and opens the chart with the Graph box.
  StripChartWindow* startWithChartOpen() {
    makeWithChart();
    EXPECT_EQ(lifecycle->startUp("/X"), StartOutcome::Running);
    clickGraph();
    return chartHost->window();
  }

  QTemporaryDir exeDir;
  NoKeys keys;
  ChartValues chartValues;
  std::unique_ptr<ChartHost> chartHost;
};

TEST_F(ChartWiringTest, GraphOpensOneChartAndBringsItForwardWithoutResetting) {
  StripChartWindow* chart = startWithChartOpen();
  ASSERT_NE(chart, nullptr);
  EXPECT_FALSE(child<QCheckBox>("Graph_chk")->isChecked());
  EXPECT_TRUE(chart->isVisible());
  EXPECT_TRUE(chart->timer().isActive());
  chart->tick();
  chart->tick();
  const int writePos = chart->model().writePos();

  clickGraph();
  EXPECT_EQ(chartHost->window(), chart);
  EXPECT_EQ(chart->model().writePos(), writePos);

  // Closed, it opens afresh at the next click.
  chart->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(chartHost->window(), nullptr);
  clickGraph();
  ASSERT_NE(chartHost->window(), nullptr);
  EXPECT_EQ(chartHost->window()->model().writePos(), 70);
}

TEST_F(ChartWiringTest, QuitClosesTheChartBeforeTheBoardAndNothingReadsItAfter) {
  StripChartWindow* chart = startWithChartOpen();
  ASSERT_NE(chart, nullptr);
  chart->findChild<QScrollBar*>("speed_scroll")->setValue(1);
  QTest::qWait(20);

  lifecycle->terminate();  // as SIGTERM does
  ASSERT_EQ(driver.calls.back(), "vbapp_Close()");
  const std::size_t closedAt = driver.calls.size();
  EXPECT_TRUE(chartHost->window() == nullptr || !chartHost->window()->isVisible());
  QTest::qWait(30);  // thirty 1 ms ticks' time
  EXPECT_EQ(driver.calls.size(), closedAt);
}

// The chart's Settings button opens one shared dialog for the record it
// chose; a later click only brings it forward, and it keeps to its record.
TEST_F(ChartWiringTest, SettingsOpensOneDialogThatKeepsItsRecordUntilItCloses) {
  StripChartWindow* chart = startWithChartOpen();
  ASSERT_NE(chart, nullptr);
  auto* trace0 = chart->findChild<QComboBox*>("Chnsrc_lst_0");
  auto* settingsButton = chart->findChild<QPushButton*>("Settings");
  chart->findChild<QRadioButton*>("Ind_rad")->click();
  trace0->setCurrentIndex(3);
  settingsButton->click();
  SettingsDialog* dialog = chartHost->settings();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->editor().channel(), 3);
  auto* title = dialog->findChild<QLineEdit*>("Title_txt");
  EXPECT_EQ(title->text(), "Analog Sensor 4");
  title->setText("Pressure");

  // Another trace chosen: editChan moves on, the open dialog does not.
  trace0->setCurrentIndex(5);
  settingsButton->click();
  EXPECT_EQ(chartValues.editChan, 5);
  ASSERT_EQ(chartHost->settings(), dialog);
  EXPECT_EQ(title->text(), "Pressure") << "not loaded again";
  dialog->findChild<QPushButton*>("Apply_cmd")->click();
  EXPECT_EQ(chartValues.chanTable[3].Title, "Pressure");
  EXPECT_EQ(chartValues.chanTable[5].Title, "Analog Sensor 6");

  // The dialog outlives the chart; Quit closes it as its close box would.
  chart->close();
  EXPECT_TRUE(dialog->isVisible());
  lifecycle->terminate();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(chartHost->settings(), nullptr);
  EXPECT_EQ(chartValues.chanTable[3].Title, "Analog Sensor 4");
  EXPECT_EQ(chartValues.chanTable[5].Title, "Analog Sensor 6");
}

}  // namespace
}  // namespace kvn
