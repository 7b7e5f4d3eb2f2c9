#include "app/program.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QUrl>
#include <cstdio>
#include <filesystem>

#include "app/core/options.h"
#include "app/core/program_shell.h"
#include "app/core/search_bar_search.h"
#include "app/hot_key.h"
#include "app/index_window.h"
#include "app/options_window.h"
#include "app/placement.h"
#include "app/qt_dialogs.h"
#include "app/qt_event_pump.h"
#include "app/search_bar_window.h"
#include "app/web_browser.h"
#include "util/keys.h"
#include "util/startup.h"

namespace vellumark {
namespace {

// Opens a file of the program folder, or an address, with the desktop's own program. A
// desktop without a program for web pages gets the page in Vellumark's own browser.
bool ShellOpen(const std::string& target, Browser* browser) {
  const QString t = QString::fromStdString(target);
  const QUrl url = t.contains(QStringLiteral("://"))
                       ? QUrl(t)
                       : QUrl::fromLocalFile(QDir::current().absoluteFilePath(t));
  if (QDesktopServices::openUrl(url)) return true;
  if (!browser || (url.isLocalFile() && !QFile::exists(url.toLocalFile()))) return false;
  try {
    browser->Navigate(url.toString().toStdString());
    browser->SetVisible(true);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

// The files a program folder needs that the program brings along: the help page, and on a
// first start the default result page header.
void ProvideShippedFiles(const ProgramContext& context) {
  const std::string help = context.program_folder + "Help.htm";
  if (!std::filesystem::exists(help)) {
    QFile::copy(QStringLiteral(":/vellumark/Help.htm"), QString::fromStdString(help));
    QFile::setPermissions(QString::fromStdString(help),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                              QFileDevice::ReadGroup | QFileDevice::ReadOther);
  }
  if (!context.settings->ValueExists("HeaderFile", "FileName")) {
    WriteDefaultHeaderFile(context.program_folder + kDefaultHeaderFile);
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
  QApplication::setApplicationDisplayName(QStringLiteral("Vellumark"));
  QApplication::setQuitOnLastWindowClosed(false);
  ProvideShippedFiles(context);

  QtDialogs dialogs;
  QtEventPump pump;
  GlobalHotKey hot_key;

  TfmKivMain bar(context, dialogs);
  SearchBar& handlers = bar.handlers();
  ProgramShell shell(context, dialogs, pump, handlers, bar);
  handlers.shell_open = [&](const std::string& target) {
    return ShellOpen(target, shell.browser());
  };
  shell.load_placement = [&] { LoadWindowStatus(*settings, bar, false); };
  shell.save_placement = [&] { SaveWindowStatus(*settings, bar); };
  shell.create_browser = [&shell]() -> std::unique_ptr<Browser> {
    auto browser = std::make_unique<WebBrowser>();
    browser->SetTrustedCAFile(shell.trusted_ca_file());
    return browser;
  };
  shell.register_hot_key = [&](int modifiers, int code) {
    return hot_key.Register(static_cast<unsigned>(modifiers), code);
  };
  bar.on_destroy = [&] {
    shell.FormDestroy();
    hot_key.Unregister();
    QCoreApplication::quit();
  };

  if (!shell.FormCreate()) {
    shell.FormDestroy();
    return 1;
  }
  // The hot key brings the bar back from anywhere; pressed while the bar has the focus it goes
  // through the bar's key table, which hides the bar when the key has its one modifier.
  QObject::connect(&hot_key, &GlobalHotKey::activated, &bar, [&] {
    if (bar.isVisible() && bar.isActiveWindow()) {
      const int flags = handlers.hot_key.modifier_flags;
      handlers.FormKeyDown(handlers.hot_key.code,
                           KeyModifiers{(flags & kModShift) != 0, (flags & kModControl) != 0,
                                        (flags & kModAlt) != 0});
    } else {
      bar.BringToFront();
    }
  });

  TfmKivIndex index(context, *settings, dialogs, pump, *shell.data(), shell.browser(),
                    shell.http_client());
  index.update_caption = [&] { handlers.UpdateCaption(); };
  // A run disables the bar's Find, Next and sample box, and the bar's close meets its stop
  // question.
  index.set_find_enabled = [&](bool enabled) { bar.SetFindEnabled(enabled); };
  handlers.check_stop = [&] { return index.indexer() && index.indexer()->CheckStop(); };
  index.help = [&] { handlers.bbHelpClick(); };
  index.search_bar_visible = [&] { return bar.isVisible(); };
  index.focus_search_bar = [&] {
    bar.BringToFront();
    bar.FocusSearchText();
  };
  bar.show_index = [&] {
    index.show();
    index.raise();
    index.activateWindow();
  };
  bar.hide_index = [&] { index.hide(); };

  TfmKivOpts options(context, *settings, dialogs, bar.SubWord(), bar.ModeText(), &index);
  index.show_options = [&] { options.exec(); };

  // Find, Next, Enter and F3 run the search; its "Show" listing reports on the index window's
  // status line. The find-in-page ranges go at shutdown, before the browser.
  SearchBarSearch search(context, *shell.data(), *shell.browser(), dialogs, handlers, index);
  shell.release_find = [&] { search.ReleaseRanges(); };

  bar.show();
  bar.raise();
  const int status = app.exec();
  shell.release_find = nullptr;
  return status;
}

}  // namespace vellumark
