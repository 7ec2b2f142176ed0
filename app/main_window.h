// The program's one window: the button "爬取情话" starts a harvest run, the label below it shows the page
// just finished. Clicks are taken also while a run yields to the window, and then start a nested run.
//   MainWindow window(SitePages(host), DefaultOutputPath());
//   QObject::connect(&window, &MainWindow::finished, &app, &QCoreApplication::quit);  window.show();
#pragma once

#include <QWidget>
#include <filesystem>

#include "app/scrape_run.h"
#include "text/messages.h"

class QLabel;
class QPushButton;

namespace qh {

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  MainWindow(PageSource pages, std::filesystem::path output, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Returns the number of runs in progress, nested ones included.
  int runsInProgress() const { return runs_; }

 signals:
  // Emitted once the window has been closed and no run is left in progress: the program may end.
  void finished();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  class LabelProgress;

  void ScrapeRunClicked();

  QPushButton* button_;
  QLabel* label_;
  PageSource pages_;
  std::filesystem::path output_;
  int runs_ = 0;
  bool closed_ = false;
  MessagePump previousPump_;
};

}  // namespace qh
