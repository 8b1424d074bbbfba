// Banklore: starts the Qt application, the window and the librarian behind it.
#include <QApplication>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/main_window.h"
#include "midi/midi_backend.h"
#include "platform/file_locations.h"
#include "ui/app_icon.h"
#include "ui/main_frame.h"
#include "ui/qt_prompts.h"
#include "ui/qt_ui_clock.h"
#include "ui/termination_watch.h"

namespace {

std::vector<std::string> argumentsOf(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

}  // namespace

int main(int argc, char** argv) {
  // --help and --version need no display: answered before Qt looks for one.
  using Action = banklore::CommandLine::Action;
  const Action asked = banklore::parseCommandLine(argumentsOf(argc, argv)).action;
  if (asked == Action::Help || asked == Action::Version) {
    std::fputs(
        asked == Action::Help ? banklore::commandLineUsage() : "banklore " BANKLORE_VERSION "\n",
        stdout);
    return 0;
  }
  // A write past the file-size limit then fails like one to a full disk, which every writer
  // reports, instead of killing the program with its files half written.
  std::signal(SIGXFSZ, SIG_IGN);
  // Qt takes its own options (-platform, -style, ...) out of argv; the rest is ours.
  QApplication application(argc, argv);
  const banklore::CommandLine commandLine = banklore::parseCommandLine(argumentsOf(argc, argv));
  if (commandLine.action == Action::Error) {
    std::fprintf(stderr, "banklore: %s\n%s", commandLine.error.c_str(),
                 banklore::commandLineUsage());
    return 2;
  }
  for (const std::string& path : commandLine.ignored) {
    std::fprintf(stderr, "banklore: %s is not a .syx or .mid file; not loaded\n", path.c_str());
  }
  // Wayland compositors find the menu entry, and with it the icon, by this name.
  application.setDesktopFileName(QStringLiteral("banklore"));
  application.setApplicationName(QStringLiteral("Banklore"));
  application.setWindowIcon(banklore::applicationIcon());
  // The librarian ends the run itself, after its closing steps.
  application.setQuitOnLastWindowClosed(false);

  // The seams come first and outlive the librarian: its destructor may still ask for the window.
  banklore::QtUiClock clock;
  banklore::MainFrame frame;
  banklore::QtPrompts prompts(frame);
  QObject::connect(&frame, &banklore::MainFrame::runFinished, &application, &QApplication::quit,
                   Qt::QueuedConnection);

  banklore::MainWindow librarian(
      banklore::currentFileLocations(banklore::programPathsFrom(banklore::currentExecutablePath())),
      banklore::makeSystemMidiBackend, frame, prompts, clock);
  frame.attach(librarian);
  // A logout or `kill` closes the window without asking, keeping what is unsaved.
  banklore::TerminationWatch termination;
  QObject::connect(&termination, &banklore::TerminationWatch::terminationRequested, &frame,
                   &banklore::MainFrame::closeForTermination);
  librarian.initWindow();
  frame.show();
  // Files from the command line (the file manager's "Open with", a drop onto the menu entry) go
  // into Bank 1 as a drop would, once the window is up.
  if (!commandLine.files.empty()) {
    clock.postToUiThread(
        [&librarian, files = commandLine.files] { librarian.onFilesDropped(0, files); });
  }
  const int result = application.exec();
  frame.detach();
  return result;
}
