#include "app/window_main.h"

#include <QApplication>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "app/main_window.h"
#include "text/codepage.h"

namespace qh {
namespace {

std::string_view Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Returns why no window can be shown, or nothing. Checked before Qt starts, since Qt aborts the process
// when its platform has no display to connect to.
std::string MissingDisplay() {
  const std::string_view platform = Environment("QT_QPA_PLATFORM");
  const bool x11 = !Environment("DISPLAY").empty();
  const bool wayland = !Environment("WAYLAND_DISPLAY").empty();
  if (platform.empty()) {
    if (x11 || wayland) return {};
    return "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
  }
  if (platform.starts_with("xcb") && !x11)
    return "no display (QT_QPA_PLATFORM is xcb but DISPLAY is not set)";
  if (platform.starts_with("wayland") && !wayland) {
    return "no display (QT_QPA_PLATFORM is wayland but WAYLAND_DISPLAY is not set)";
  }
  // Any other platform (offscreen, vnc, linuxfb, ...) brings its own.
  return {};
}

QtMessageHandler previousHandler = nullptr;

// Qt aborts the process when no platform plugin can start, for instance on a DISPLAY nobody answers. While
// the application starts, a fatal message ends the process with the no-display exit code and our own line.
void StartupMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg) {
    if (previousHandler) previousHandler(type, context, message);
    return;
  }
  const std::string text = message.toStdString();
  std::cerr << "qinghua: the window system cannot be reached (" << text.substr(0, text.find('\n'))
            << "); use --headless to harvest without a window\n";
  std::_Exit(kExitNoDisplay);
}

}  // namespace

int RunWindow(const Settings& settings) {
  if (const std::string missing = MissingDisplay(); !missing.empty()) {
    std::cerr << "qinghua: " << missing << "; use --headless to harvest without a window\n";
    return kExitNoDisplay;
  }
  // Qt sees no options of ours: they have been taken care of.
  int argc = 1;
  char name[] = "qinghua";
  char* argv[] = {name, nullptr};
  previousHandler = qInstallMessageHandler(StartupMessages);
  QApplication app(argc, argv);
  qInstallMessageHandler(previousHandler);
  QApplication::setQuitOnLastWindowClosed(false);
  MainWindow window(SitePages(TextFromUtf8(settings.site)), settings.output);
  QObject::connect(&window, &MainWindow::finished, &app, &QCoreApplication::quit);
  window.show();
  return app.exec();
}

}  // namespace qh
