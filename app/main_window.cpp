#include "app/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <iostream>
#include <utility>

#include "text/codepage.h"

namespace qh {

// Shows each finished page in the label and stops every run once the window is closed.
class MainWindow::LabelProgress : public ScrapeProgress {
 public:
  explicit LabelProgress(MainWindow& window) : window_(window) {}

  void PageDone(const PageReport& report) override {
    // The repaint waits for the next time the run yields to the window.
    window_.label_->setText(QString::fromStdU16String(Utf16FromText(report.progress)));
    if (!report.append.ok()) {
      std::cerr << "qinghua: page " << report.page << " dropped: " << report.append.error << std::endl;
    }
  }
  bool StopRequested() override { return window_.closed_; }

 private:
  MainWindow& window_;
};

MainWindow::MainWindow(PageSource pages, std::filesystem::path output, QWidget* parent)
    : QWidget(parent),
      button_(new QPushButton(QString::fromUtf8(u8"爬取情话"), this)),
      label_(new QLabel(QString::fromUtf8(u8"By [Quillmoor] Orvane"), this)),
      pages_(std::move(pages)),
      output_(std::move(output)),
      // Runs yield to the window through this pump: queued events only, never waiting for more.
      previousPump_(InstallMessagePump([] { QCoreApplication::processEvents(); })) {
  setWindowTitle(QString::fromUtf8(u8" 情话爬取 By [Quillmoor] Orvane"));
  setGeometry(50, 50, 326, 252);
  setFixedSize(326, 252);
  button_->setObjectName(QString::fromUtf8(u8"按钮1"));
  button_->setGeometry(112, 72, 104, 32);
  label_->setObjectName(QString::fromUtf8(u8"标签1"));
  label_->setGeometry(88, 120, 152, 32);
  connect(button_, &QPushButton::clicked, this, &MainWindow::ScrapeRunClicked);
}

MainWindow::~MainWindow() {
  InstallMessagePump(std::move(previousPump_));
}

void MainWindow::ScrapeRunClicked() {
  // A click that was queued behind the close request is not acted on.
  if (closed_) return;
  ++runs_;
  LabelProgress progress(*this);
  ScrapeRun(pages_, output_, progress);
  --runs_;
  if (closed_ && runs_ == 0) emit finished();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Accepting hides the window; a run in progress finishes its page, appends it, and then stops.
  event->accept();
  closed_ = true;
  if (runs_ == 0) emit finished();
}

}  // namespace qh
