// Banklore: starts the Qt application, the window and the librarian behind it.
#include <QApplication>

#include "app/main_window.h"
#include "midi/midi_backend.h"
#include "platform/program_paths.h"
#include "ui/app_icon.h"
#include "ui/main_frame.h"
#include "ui/qt_prompts.h"
#include "ui/qt_ui_clock.h"
#include "ui/termination_watch.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
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

  banklore::MainWindow librarian(banklore::programPathsFrom(banklore::currentExecutablePath()),
                                 banklore::makeSystemMidiBackend, frame, prompts, clock);
  frame.attach(librarian);
  // A logout or `kill` closes the window without asking, keeping what is unsaved.
  banklore::TerminationWatch termination;
  QObject::connect(&termination, &banklore::TerminationWatch::terminationRequested, &frame,
                   &banklore::MainFrame::closeForTermination);
  librarian.initWindow();
  frame.show();
  const int result = application.exec();
  frame.detach();
  return result;
}
