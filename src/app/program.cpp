#include "app/program.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <cstdio>
#include <filesystem>

#include "app/index_window.h"
#include "app/options_window.h"
#include "app/placement.h"
#include "app/qt_desktop.h"
#include "app/qt_dialogs.h"
#include "app/search_bar_window.h"
#include "browser/qt_event_pump.h"
#include "browser/web_browser.h"
#include "shell/options.h"
#include "shell/program_shell.h"
#include "util/settings_names.h"
#include "util/startup.h"

namespace vellumark {
namespace {

// The files a program folder needs that the program brings along: the help page, and on a
// first start the default result page header. An installed program takes them from its shipped
// folder (share/vellumark/); a build folder has the help page built in.
void ProvideShippedFiles(const ProgramContext& context) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const auto shipped = [&](const char* name) {
    const fs::path path = fs::path(context.shipped_folder) / name;
    return !context.shipped_folder.empty() && fs::is_regular_file(path, ec) ? path : fs::path();
  };
  const std::string help = context.program_folder + "Help.htm";
  if (!fs::exists(help, ec)) {
    if (const fs::path from = shipped("Help.htm"); !from.empty()) {
      fs::copy_file(from, help, ec);
    } else {
      QFile::copy(QStringLiteral(":/vellumark/Help.htm"), QString::fromStdString(help));
    }
    fs::permissions(help,
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                        fs::perms::others_read,
                    ec);
  }
  if (!context.settings->ValueExists(kHeaderFileSetting)) {
    const std::string header = context.program_folder + kDefaultHeaderFile;
    const fs::path from = shipped(kDefaultHeaderFile);
    if (from.empty() || fs::exists(header, ec) || !fs::copy_file(from, header, ec)) {
      WriteDefaultHeaderFile(header);
    }
  }
}

}  // namespace

int RunProgram(int argc, char** argv) {
  ProgramContext context;
  std::unique_ptr<TPIniFile> settings;
  try {
    settings = StartUnit(StartupEnvironment::FromProcess(), context);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vellumark: %s\n", e.what());
    return 1;
  }

  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vellumark"));
  // No display name: the platform would add it to every caption, and the search bar's short
  // caption ("KIV: " + the location) has no room for it.
  QApplication::setQuitOnLastWindowClosed(false);
  // The desktop entry's name ties the windows to the menu entry and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("vellumark"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("vellumark"),
                                               QIcon(QStringLiteral(":/vellumark/vellumark.png"))));
  ProvideShippedFiles(context);

  QtDialogs dialogs;
  QtEventPump pump;
  QtDesktop desktop;

  // The search bar, whose creation starts the browser, the HTTP client and the data module and
  // opens the current location.
  TfmKivMain bar(context, dialogs, desktop);
  SearchBar& handlers = bar.handlers();
  // The browser opens below the bar, and found text is kept out from under it.
  desktop.browser_created = [&bar](WebBrowser& browser) {
    PlaceWindowBelowBar(*browser.window(), bar.BarArea(), true);
    browser.SetCoveredArea([&bar] { return bar.isVisible() ? bar.frameGeometry() : QRect(); });
  };
  ProgramShell shell(context, dialogs, pump, handlers, desktop);
  if (!shell.FormCreate()) {
    shell.FormDestroy();
    return 1;
  }
  QObject::connect(&desktop.hot_key(), &GlobalHotKey::activated, &bar, &TfmKivMain::HotKeyPressed);

  // The index window, then the options window it shows.
  TfmKivIndex index(context, *settings, dialogs, pump, *shell.data(), bar, shell.browser(),
                    shell.http_client());
  handlers.SetIndexWindow(&index);
  TfmKivOpts options(context, *settings, dialogs, bar.SubWord(), bar.ModeText(), &index);
  options.SetBarArea([&bar] { return bar.BarArea(); });
  index.SetOptionsWindow(&options);

  // Find and Next from now on; a "Show" listing reports on the index window's status line.
  handlers.StartSearch(index);

  // Closing the search bar ends the program.
  QObject::connect(&bar, &TfmKivMain::closed, &app, [&shell, &desktop] {
    shell.FormDestroy();
    desktop.hot_key().Unregister();
    QCoreApplication::quit();
  });

  bar.show();
  bar.raise();
  const int status = app.exec();
  index.SetOptionsWindow(nullptr);
  handlers.SetIndexWindow(nullptr);
  return status;
}

}  // namespace vellumark
