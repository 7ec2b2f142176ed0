#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/test_support.h"
#include "text/codepage.h"
#include "text/messages.h"

namespace qh {
namespace {

using testing::TempDir;

// One QApplication for every window test (tests run with QT_QPA_PLATFORM=offscreen).
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // Run directly rather than through ctest, the binary would otherwise look for a display.
    setenv("QT_QPA_PLATFORM", "offscreen", /*overwrite=*/0);
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[9] = "app_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

QString Q(std::u8string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string PageText(int page, const std::string& tag) {
  return "\r\n" + tag + std::to_string(page) + "\r\n";
}

std::string Pages(int from, int to, const std::string& tag) {
  std::string text;
  for (int page = from; page <= to; ++page) text += PageText(page, tag);
  return text;
}

class MainWindowTest : public ::testing::Test {
 protected:
  // A page source whose pages are tagged by run: the outermost run's "1:", a run nested in it "2:" and so
  // on. `during(run, page)` is called while the page's request yields to the window.
  PageSource TaggedPages(std::function<void(int run, int page)> during) {
    return [this, during](const Text& page) {
      const int number = std::stoi(page.str());
      const int run = window_->runsInProgress();
      if (during) during(run, number);
      return ScrapedPage{.text = Text::FromCp936(PageText(number, std::to_string(run) + ":")),
                         .sayings = 1,
                         .status = Text::FromCp936("200 OK")};
    };
  }

  void MakeWindow(std::function<void(int run, int page)> during = {}) {
    window_ = std::make_unique<MainWindow>(TaggedPages(std::move(during)), dir_ / "out.txt");
    QObject::connect(window_.get(), &MainWindow::finished, [this] { ++finished_; });
    window_->show();
    button_ = window_->findChild<QPushButton*>(Q(u8"按钮1"));
    label_ = window_->findChild<QLabel*>(Q(u8"标签1"));
    ASSERT_NE(button_, nullptr);
    ASSERT_NE(label_, nullptr);
  }

  // Queues `call` as the window system would queue an event, then lets the run yield to the window.
  template <typename Receiver, typename F>
  void WhileYielding(Receiver* receiver, F call) {
    QMetaObject::invokeMethod(receiver, call, Qt::QueuedConnection);
    ProcessPendingMessages();
  }

  // Returns the exit code of the event loop, started with `first` queued and ended by the window's
  // finished().
  template <typename Receiver, typename F>
  int ExecStartingWith(Receiver* receiver, F first) {
    QObject::connect(window_.get(), &MainWindow::finished, qApp, &QCoreApplication::quit);
    QMetaObject::invokeMethod(receiver, first, Qt::QueuedConnection);
    // A window that never finishes fails the test instead of hanging it.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(std::chrono::seconds(60));
    return QApplication::exec();
  }

  std::string File() { return testing::ReadFileBytes(dir_ / "out.txt").value_or("<no file>"); }

  TempDir dir_;
  std::unique_ptr<MainWindow> window_;
  QPushButton* button_ = nullptr;
  QLabel* label_ = nullptr;
  int finished_ = 0;
};

TEST_F(MainWindowTest, ShowsTheDesign) {
  MakeWindow();
  EXPECT_EQ(window_->windowTitle(), Q(u8" 情话爬取 By [Quillmoor] Orvane"));
  EXPECT_EQ(window_->geometry(), QRect(50, 50, 326, 252));
  EXPECT_EQ(button_->text(), Q(u8"爬取情话"));
  EXPECT_EQ(button_->geometry(), QRect(112, 72, 104, 32));
  EXPECT_TRUE(button_->isEnabled());
  EXPECT_EQ(label_->text(), Q(u8"By [Quillmoor] Orvane"));
  EXPECT_EQ(label_->geometry(), QRect(88, 120, 152, 32));
  // The button and the label are the only controls.
  EXPECT_EQ(window_->findChildren<QWidget*>().size(), 2);
}

TEST_F(MainWindowTest, AClickHarvestsEveryPageAndTheLabelFollows) {
  std::vector<QString> labels;
  MakeWindow([&](int, int) { labels.push_back(label_->text()); });
  button_->click();
  EXPECT_EQ(File(), Pages(2, 1981, "1:"));
  EXPECT_EQ(label_->text(), Q(u8"正在进行第1981次爬取"));
  ASSERT_EQ(labels.size(), 1980u);
  EXPECT_EQ(labels[1], Q(u8"正在进行第2次爬取")) << "the label shows the page just finished";
  EXPECT_EQ(window_->runsInProgress(), 0);
  EXPECT_EQ(finished_, 0);
}

TEST_F(MainWindowTest, AClickWhileARunYieldsStartsANestedRun) {
  constexpr int kNestedAt = 500;
  QString labelAfterNestedRun;
  MakeWindow([&](int run, int page) {
    if (run == 1 && page == kNestedAt) {
      WhileYielding(button_, &QPushButton::click);
      labelAfterNestedRun = label_->text();
    }
  });
  button_->click();
  EXPECT_EQ(File(), Pages(2, kNestedAt - 1, "1:") + Pages(2, 1981, "2:") + Pages(kNestedAt, 1981, "1:"));
  EXPECT_EQ(labelAfterNestedRun, Q(u8"正在进行第1981次爬取"));
  EXPECT_EQ(label_->text(), Q(u8"正在进行第1981次爬取"));
}

TEST_F(MainWindowTest, RealRequestsYieldToTheWindowAndANestedRunGoesFirst) {
  testing::LoopbackServer server([](const httplib::Request& req, httplib::Response& res) {
    const std::string page = std::to_string(testing::PageOfPath(req.path).value_or(0));
    res.set_content("<a href=\"/\"><p>chrome</p></a>\n<a><p>" + page + "</p></a>\n", "text/html");
  });
  window_ = std::make_unique<MainWindow>(SitePages(TextFromUtf8(server.site())), dir_ / "out.txt");
  button_ = window_->findChild<QPushButton*>(Q(u8"按钮1"));
  ASSERT_NE(button_, nullptr);
  // The second click waits in the queue until the first run's request for page 2 yields to the window.
  QMetaObject::invokeMethod(button_, &QPushButton::click, Qt::QueuedConnection);
  button_->click();
  EXPECT_EQ(File(), Pages(2, 1981, "") + Pages(2, 1981, ""));
  EXPECT_EQ(window_->runsInProgress(), 0);
}

TEST_F(MainWindowTest, ClosingWithoutARunEndsTheEventLoopWithZero) {
  MakeWindow();
  EXPECT_EQ(ExecStartingWith(window_.get(), &QWidget::close), 0);
  EXPECT_EQ(finished_, 1);
  EXPECT_FALSE(window_->isVisible());
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out.txt"));
}

TEST_F(MainWindowTest, ClosingDuringARunAppendsThePageInProgressThenStops) {
  constexpr int kClosedAt = 300;
  int finishedDuringRun = -1;
  MakeWindow([&](int, int page) {
    if (page != kClosedAt) return;
    // A click queued behind the close is not acted on.
    QMetaObject::invokeMethod(window_.get(), &QWidget::close, Qt::QueuedConnection);
    WhileYielding(button_, &QPushButton::click);
    finishedDuringRun = finished_;
  });
  EXPECT_EQ(ExecStartingWith(button_, &QPushButton::click), 0);
  EXPECT_EQ(File(), Pages(2, kClosedAt, "1:"));
  EXPECT_EQ(finishedDuringRun, 0) << "not before the run has stopped";
  EXPECT_EQ(finished_, 1);
  EXPECT_FALSE(window_->isVisible());
}

TEST_F(MainWindowTest, ClosingDuringANestedRunStopsEveryRun) {
  constexpr int kNestedAt = 40;
  constexpr int kClosedAt = 70;
  MakeWindow([&](int run, int page) {
    if (run == 1 && page == kNestedAt) WhileYielding(button_, &QPushButton::click);
    if (run == 2 && page == kClosedAt) WhileYielding(window_.get(), &QWidget::close);
  });
  button_->click();
  // The inner run finishes its page and stops; the outer one finishes the page it was on and stops too.
  EXPECT_EQ(File(), Pages(2, kNestedAt - 1, "1:") + Pages(2, kClosedAt, "2:") + PageText(kNestedAt, "1:"));
  EXPECT_EQ(finished_, 1);
}

TEST_F(MainWindowTest, InstallsTheEventPumpForItsLifetime) {
  int yields = 0;
  const MessagePump before = InstallMessagePump([&yields] { ++yields; });
  MakeWindow();
  ProcessPendingMessages();
  EXPECT_EQ(yields, 0) << "the window's pump is in place";
  window_.reset();
  ProcessPendingMessages();
  EXPECT_EQ(yields, 1) << "and the former one is back";
  InstallMessagePump(before);
}

}  // namespace
}  // namespace qh
