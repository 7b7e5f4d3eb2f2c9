// vellumark-cli: the engine of Vellumark from a terminal, on the same program folder, settings
// and tables as the program. Exit status: 0 success, 1 an error message was shown, 2 bad usage.
#include <unistd.h>
#include <QApplication>
#include <QByteArray>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "cli/command.h"

namespace {

// The browser runs headless unless the caller chose a platform.
void HeadlessEnvironment() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS")) {
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --log-level=3");
  }
  // The engine refuses its sandbox as root.
  if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  }
  if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES")) {
    qputenv("QT_LOGGING_RULES", "qt.webenginecontext.debug=false;js.debug=false");
  }
}

// Qt's own notes (missing runtime folder, font warnings) are not the tool's messages; only its
// critical ones reach stderr.
void QuietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) {
    std::cerr << message.toStdString() << std::endl;
  }
}

}  // namespace

int main(int argc, char** argv) {
  using vellumark::cli::CliSession;

  CLI::App app{"Vellumark from a terminal: manage locations and index them.", "vellumark-cli"};
  app.require_subcommand(1);
  std::optional<std::string> home;
  app.add_option("--home", home, "Program folder (settings and tables); overrides VELLUMARK_HOME");
  vellumark::cli::CommandTable table;
  vellumark::cli::RegisterCommands(app, table);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;
  }

  HeadlessEnvironment();
  if (qEnvironmentVariableIsEmpty("VELLUMARK_QT_MESSAGES")) qInstallMessageHandler(QuietQt);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  // Qt sees only the program name: every argument is ours.
  int qt_argc = 1;
  char* qt_argv[] = {argv[0], nullptr};
  QApplication qt(qt_argc, qt_argv);

  CliSession session(home);
  const vellumark::cli::CommandRun* run = table.Chosen();
  if (!run) return 2;
  try {
    session.Start();
    const int status = (*run)(session);
    return status != 0 ? status : session.ExitStatus();
  } catch (const vellumark::cli::CommandFailed&) {
    return 1;
  } catch (const std::exception& e) {
    session.Dialogs().PrintError(e.what());
    return 1;
  }
}
