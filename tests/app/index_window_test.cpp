// The index window and the options window, headless, over a real root folder: the grid over
// Tasks, New through the real location dialog, the keys, the status line, the run's Stop,
// close refusal and controls, Export and Import through the buttons with Esc cancelling, and
// the options window closing with Enter and saving.
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <optional>

#include "app/index_window.h"
#include "app/options_window.h"
#include "app/placement.h"
#include "app/search_bar_window.h"
#include "net/http_client.h"
#include "shell/recording_search_bar_view.h"
#include "store/data_module.h"
#include "store/page_address.h"
#include "store/page_list.h"
#include "store/records.h"
#include "support/fake_browser.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_event_pump.h"
#include "util/temp_folder.h"

namespace vellumark {
namespace {

// The search bar as the index window reaches it: each call goes to a test's hook, when set.
struct SearchBarHooks final : SearchBarControl {
  void UpdateCaption() override {
    if (update_caption) update_caption();
  }
  void ShowHelp() override {
    if (help) help();
  }
  bool SearchBarVisible() override { return false; }
  void FocusSearchBar() override {}
  void SetIndexing(bool running) override {
    if (set_find_enabled) set_find_enabled(!running);
  }
  ScreenRect BarArea() override { return bar_area; }
  std::function<void()> update_caption, help;
  std::function<void(bool)> set_find_enabled;
  ScreenRect bar_area;
};

}  // namespace

class IndexWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<testing::TempFolder> dir_;
  std::unique_ptr<TPIniFile> settings_;
  ProgramContext context_;
  testing::ScriptedDialogs dialogs_;
  testing::ScriptedEventPump pump_;
  std::unique_ptr<TdmKiv> data_;
  SearchBarHooks bar_;
  std::unique_ptr<TfmKivIndex> window_;

  template <typename T>
  T* child(const char* name) {
    T* w = window_->findChild<T*>(QString::fromUtf8(name));
    if (!w) qFatal("no control %s", name);
    return w;
  }

  // Answers the next modal location dialog with these texts (and, when given, the loader check
  // box); `offered_browser` receives the check box as the dialog opened.
  void AnswerDialog(const QString& url, const QString& description, bool ok = true,
                    std::optional<bool> browser = std::nullopt, bool* offered_browser = nullptr) {
    QTimer::singleShot(0, this, [=] {
      auto* d = qobject_cast<TfmKivDialog*>(QApplication::activeModalWidget());
      if (!d) qFatal("no location dialog");
      if (offered_browser) *offered_browser = d->cbBrowserLoader()->isChecked();
      if (browser) d->cbBrowserLoader()->setChecked(*browser);
      d->edURL()->setText(url);
      d->edURLDescription()->setText(description);
      if (ok)
        d->accept();
      else
        d->reject();
    });
  }

  // A location with three pages and a word in each word table; it becomes the current one.
  int AddIndexedLocation() {
    TdmKiv& dm = *data_;
    dm.tbTasks.Insert();
    dm.tbTasks.FieldByName("Task_URL").SetString("http://127.0.0.1:8080/");
    dm.tbTasks.FieldByName("Task_Description").SetString("Local");
    dm.tbTasks.FieldByName("Files").SetString("3");
    dm.tbTasks.Post();
    const int no = dm.CurrentTaskNo();
    if (!dm.CreateLocationTables(dm.LocationFolder(no)) || !dm.OpenLocation(dm.LocationFolder(no)))
      qFatal("cannot create the location");
    const char* pages[][3] = {{"", "Home", "welcome home"},
                              {"docs/guide.html", "Guide", "the guide"},
                              {"docs/guide-two.html", "", "more of the guide"}};
    for (int i = 0; i < 3; ++i) {
      TTable& f = dm.tbFiles;
      f.Append();
      TPageAddress a = SplitPageAddress(pages[i][0]);
      f.Fields(0).SetInteger(i + 1);
      f.Fields(1).SetString(a.head);
      if (!a.tail.empty()) f.Fields(2).SetString(a.tail);
      f.Fields(3).SetInteger(1);
      if (*pages[i][1]) f.Fields(5).SetString(pages[i][1]);
      f.Fields(6).SetString(pages[i][2]);
      f.Post();
    }
    const char* words[] = {"guide", "welcome", "documentation"};
    for (int n = 1; n <= 3; ++n) {
      std::string list;
      AppendPosting(list, n, 2);
      TTable& t = dm.WordTable(n);
      t.Append();
      t.Fields(0).SetString(words[n - 1]);
      t.Fields(1).SetBlob(list);
      t.Post();
    }
    return no;
  }

  // Every field of every Files row of a location, in table order.
  std::vector<std::vector<std::string>> FilesOf(int task_no) {
    std::vector<std::vector<std::string>> rows;
    if (!data_->OpenLocation(data_->LocationFolder(task_no))) qFatal("cannot open the location");
    TTable& files = data_->tbFiles;
    files.SetIndexName("");
    for (files.First(); !files.IsEmpty() && !files.Eof(); files.Next()) {
      std::vector<std::string> row;
      for (int i = 0; i < files.FieldCount(); ++i) row.push_back(files.Fields(i).AsString());
      rows.push_back(row);
    }
    return rows;
  }

  // Presses Esc, as the user does, at the first pump that finds the progress bar shown.
  void PressEscWhileProgressShows() {
    pump_.on_pump = [this, pressed = false](long) mutable {
      if (pressed || !window_->ProgressVisible()) return;
      pressed = true;
      QWidget* focus = QApplication::focusWidget();
      QTest::keyClick(focus ? focus : window_.get(), Qt::Key_Escape);
    };
  }

  void ShowActive() {
    window_->show();
    QApplication::setActiveWindow(window_.get());
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  }

 private slots:
  void init() {
    dir_ = std::make_unique<testing::TempFolder>();
    settings_ = std::make_unique<TPIniFile>(dir_->path() + "vellumark.ini");
    context_ = ProgramContext{};
    context_.program_folder = context_.db_root_folder = dir_->path();
    context_.settings = settings_.get();
    dialogs_ = testing::ScriptedDialogs{};
    pump_.on_pump = nullptr;
    data_ = std::make_unique<TdmKiv>(context_, dialogs_);
    bar_ = SearchBarHooks{};
    window_ =
        std::make_unique<TfmKivIndex>(context_, *settings_, dialogs_, pump_, *data_, bar_, nullptr);
  }
  void cleanup() {
    window_.reset();
    data_.reset();
    settings_.reset();
    dir_.reset();
  }

  void layoutAndDisabledCommands() {
    QCOMPARE(window_->objectName(), QStringLiteral("IndexForm"));
    QCOMPARE(window_->windowTitle(), QStringLiteral("Vellumark Index"));
    QCOMPARE(window_->size(), QSize(568, 360));
    QVERIFY(!window_->isVisible());
    auto* grid = child<QTableView>("DBGridTasks");
    const char* titles[] = {"Date", "Description", "URL", "Start Time", "End Time", "Indexed"};
    for (int i = 0; i < 6; ++i) {
      QCOMPARE(grid->model()->headerData(i, Qt::Horizontal).toString(), QString(titles[i]));
    }
    QCOMPARE(child<QPushButton>("bbNew")->text(), QStringLiteral("New   "));
    QVERIFY(!child<QPushButton>("bbIndex")->isEnabled());
    QVERIFY(child<QPushButton>("bbImport")->isEnabled());
    QVERIFY(child<QPushButton>("bbExport")->isEnabled());
    window_->SetIndexCommand([] {});
    QVERIFY(child<QPushButton>("bbIndex")->isEnabled());
    QVERIFY(!window_->ProgressVisible());
    QCOMPARE(child<QProgressBar>("ProgressBar")->maximum(), 100);
  }

  // Dates, times and counts show whole without scrolling sideways; a long URL is elided, and its
  // tool tip holds all of it.
  void gridColumnsFitWithoutScrollingSideways() {
    const std::string url = "http://127.0.0.1:8080/" + std::string(150, 'u') + "/index.html";
    data_->tbTasks.Insert();
    TTaskFields task(data_->tbTasks);
    task.TaskURL().SetString(url);
    task.TaskDescription().SetString("Local documentation");
    task.Date().SetString("2026-12-08");
    task.TimeStart().SetString("10:04:59");
    task.TimeEnd().SetString("10:05:42");
    task.Files().SetInteger(1234);
    data_->tbTasks.Post();
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    auto* grid = child<QTableView>("DBGridTasks");
    QVERIFY(!grid->horizontalScrollBar()->isVisible());
    for (int column : {0, 3, 4, 5}) {
      const QString text = grid->model()->index(0, column).data().toString();
      QVERIFY(grid->columnWidth(column) > grid->fontMetrics().horizontalAdvance(text));
      QVERIFY(grid->columnWidth(column) >= grid->horizontalHeader()->sectionSizeHint(column));
    }
    QCOMPARE(grid->model()->index(0, 2).data(Qt::ToolTipRole).toString(),
             QString::fromStdString(url));
  }

  // On a first start each window opens clear of the always-on-top bar (its options panel
  // included) and inside the screen; a saved placement that sticks out of the screen is moved
  // inside it.
  void windowsOpenClearOfTheBarAndInsideTheScreen() {
    testing::ScriptedDesktop desktop;
    TfmKivMain bar(context_, dialogs_, desktop);
    bar.LoadFormStatus();  // nothing saved
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    const ScreenRect bar_area = bar.BarArea();
    const QRect screen = bar.screen()->availableGeometry();
    QVERIFY(screen.contains(bar.frameGeometry()));

    TfmKivIndex index(context_, *settings_, dialogs_, pump_, *data_, bar, nullptr);
    TfmKivOpts options(context_, *settings_, dialogs_, false, "Any Words", &index);
    options.SetBarArea([&bar] { return bar.BarArea(); });
    QWidget browser;  // the browser window's default size
    browser.resize(900, 640);
    PlaceWindowBelowBar(browser, bar_area, true);
    index.show();
    options.show();
    browser.show();
    for (QWidget* w : std::initializer_list<QWidget*>{&index, &options, &browser}) {
      QVERIFY(QTest::qWaitForWindowExposed(w));
      QVERIFY2(!ScreenRectOf(w->frameGeometry()).Intersects(bar_area), qPrintable(w->objectName()));
      QVERIFY(screen.contains(w->frameGeometry()));
    }
    options.hide();
    index.hide();

    // Saved on a larger screen: accepted as it is, it would hang off the bottom right corner.
    settings_->WriteString("FormStatus", "IndexForm",
                           std::to_string(screen.bottom() - 40) + "," +
                               std::to_string(screen.right() - 40) + ",568,360,0");
    TfmKivIndex moved(context_, *settings_, dialogs_, pump_, *data_, bar, nullptr);
    moved.show();
    QVERIFY(QTest::qWaitForWindowExposed(&moved));
    QVERIFY(screen.contains(moved.frameGeometry()));
  }

  void newThroughTheDialogShowsTheLocationInTheGrid() {
    int captions = 0;
    bar_.update_caption = [&] { ++captions; };
    window_->show();
    AnswerDialog("127.0.0.1:8080/", "Local");
    QTest::mouseClick(child<QPushButton>("bbNew"), Qt::LeftButton);
    auto* grid = child<QTableView>("DBGridTasks");
    QCOMPARE(grid->model()->rowCount(), 1);
    QCOMPARE(grid->model()->index(0, 1).data().toString(), QStringLiteral("Local"));
    QCOMPARE(grid->model()->index(0, 2).data().toString(),
             QStringLiteral("http://127.0.0.1:8080/"));
    QCOMPARE(grid->currentIndex().row(), 0);
    QVERIFY(captions > 0);

    AnswerDialog("http://second/", "");
    QTest::mouseClick(child<QPushButton>("bbNew"), Qt::LeftButton);
    QCOMPARE(grid->model()->rowCount(), 2);
    QCOMPARE(context_.CurrentLocationNumber, 2);
    // Choosing a row makes it the current location; during a run the move is refused.
    grid->setCurrentIndex(grid->model()->index(0, 0));
    QCOMPARE(context_.CurrentLocationNumber, 1);
    context_.indexing_state = kIndexingRunning;
    grid->setCurrentIndex(grid->model()->index(1, 0));
    QCOMPARE(context_.CurrentLocationNumber, 1);
    QTRY_COMPARE_WITH_TIMEOUT(grid->currentIndex().row(), 0, 5000);
    context_.indexing_state = kIndexingIdle;

    AnswerDialog("ignored", "", false);  // Cancel
    QTest::mouseClick(child<QPushButton>("bbEdit"), Qt::LeftButton);
    QCOMPARE(grid->model()->index(0, 2).data().toString(),
             QStringLiteral("http://127.0.0.1:8080/"));
  }

  void keysAndTheStatusLine() {
    window_->show();
    QApplication::setActiveWindow(window_.get());
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    auto* grid = child<QTableView>("DBGridTasks");
    grid->setFocus();
    const long pumps = pump_.pumps;
    window_->ShowStatus("Working");
    QCOMPARE(child<QStatusBar>("IndexStatusBar")->currentMessage(), QStringLiteral("Working"));
    QVERIFY(pump_.pumps > pumps);  // the status line lets events run
    int helps = 0;
    bar_.help = [&] { ++helps; };
    QTest::keyClick(grid, Qt::Key_F1);
    QCOMPARE(helps, 1);
    QVERIFY(child<QStatusBar>("IndexStatusBar")->currentMessage().isEmpty());

    window_->SetProgressVisible(true);
    QTest::keyClick(grid, Qt::Key_Escape);
    QVERIFY(window_->archive_cancel);
    QVERIFY(window_->isVisible());
    window_->SetProgressVisible(false);
    QTest::keyClick(grid, Qt::Key_Escape, Qt::ShiftModifier);
    QVERIFY(window_->isVisible());
    QTest::keyClick(grid, Qt::Key_Escape);
    QVERIFY(!window_->isVisible());
  }

  void runControlsStopAndCloseRefusal() {
    testing::FakeBrowser browser;
    THttpClient http(pump_);
    window_.reset();
    window_ = std::make_unique<TfmKivIndex>(context_, *settings_, dialogs_, pump_, *data_, bar_,
                                            &browser, &http);
    QVERIFY(window_->indexer());
    QVERIFY(child<QPushButton>("bbIndex")->isEnabled());
    std::vector<bool> find_enabled;
    bar_.set_find_enabled = [&](bool enabled) { find_enabled.push_back(enabled); };
    window_->show();

    window_->indexer()->BeginRun();
    QVERIFY(!child<QWidget>("pnButtons")->isVisible());
    QCOMPARE(find_enabled, std::vector<bool>{false});
    // Running without a stop request: the close and Esc are refused without a question, and
    // the status bar says why.
    auto* note = child<QLabel>("lbRunNote");
    QVERIFY(!note->isVisible());
    QVERIFY(!window_->close());
    QTest::keyClick(child<QTableView>("DBGridTasks"), Qt::Key_Escape);
    QVERIFY(window_->isVisible());
    QVERIFY(dialogs_.messages.empty());
    QVERIFY(note->isVisible());
    QCOMPARE(note->text(), QStringLiteral("Indexing \u2014 press Stop first"));
    window_->ShowStatus("Processing 'page.html' ...");  // the run's own texts do not hide it
    QVERIFY(note->isVisible());
    // Stop, then No: the window stays and the run goes on; Stop, then Yes: it may close.
    QTest::mouseClick(child<QPushButton>("bbStop"), Qt::LeftButton);
    QCOMPARE(context_.indexing_state, int(kIndexingStopRequested));
    dialogs_.answers.push_back(kButtonNo);
    QVERIFY(!window_->close());
    QCOMPARE(context_.indexing_state, int(kIndexingRunning));
    QTest::mouseClick(child<QPushButton>("bbStop"), Qt::LeftButton);
    dialogs_.answers.push_back(kButtonYes);
    QVERIFY(window_->close());
    QCOMPARE(dialogs_.Texts(), (std::vector<std::string>{"Do you wish to stop index process?",
                                                         "Do you wish to stop index process?"}));
    QCOMPARE(context_.indexing_state, int(kIndexingStopping));
    window_->indexer()->EndRun();
    QCOMPARE(find_enabled, (std::vector<bool>{false, true}));
    QVERIFY(!note->isVisible());
    QCOMPARE(context_.indexing_state, int(kIndexingIdle));
    window_.reset();  // before the browser and the client
  }

  void exportThenImportThroughTheButtons() {
    const int original = AddIndexedLocation();
    const auto files = FilesOf(original);
    QCOMPARE(files.size(), std::size_t(3));
    ShowActive();
    int captions = 0;
    bar_.update_caption = [&] { ++captions; };
    auto* grid = child<QTableView>("DBGridTasks");
    auto* status = child<QStatusBar>("IndexStatusBar");
    QCOMPARE(grid->model()->rowCount(), 1);

    // The progress bar moves while the export runs; the name gets the archive's extension.
    int highest = 0;
    pump_.on_pump = [&](long) {
      if (window_->ProgressVisible())
        highest = std::max(highest, child<QProgressBar>("ProgressBar")->value());
    };
    const std::string target = dir_->path() + "local.kvx";
    dialogs_.file_answers.push_back(dir_->path() + "local");
    QTest::mouseClick(child<QPushButton>("bbExport"), Qt::LeftButton);
    QCOMPARE(status->currentMessage(), QStringLiteral("Index exported sucessfully."));
    QVERIFY(dialogs_.messages.empty());
    QVERIFY(std::filesystem::exists(target));
    QVERIFY(highest >= 90);
    QVERIFY(!window_->ProgressVisible());
    pump_.on_pump = nullptr;

    dialogs_.file_answers.push_back(target);
    QTest::mouseClick(child<QPushButton>("bbImport"), Qt::LeftButton);
    QCOMPARE(status->currentMessage(), QStringLiteral("Index imported sucessfully."));
    QVERIFY(dialogs_.messages.empty());
    QCOMPARE(dialogs_.filters, (std::vector<std::string>(2, kArchiveFileFilter)));
    // The new location is in the grid, selected and current, and has the same pages.
    const int imported = window_->archive().ImportedTaskNo();
    QVERIFY(imported != original);
    QCOMPARE(grid->model()->rowCount(), 2);
    QCOMPARE(grid->currentIndex().row(), 1);
    QCOMPARE(data_->CurrentTaskNo(), imported);
    QVERIFY(captions > 0);
    for (int column = 1; column < 6; ++column) {
      QCOMPARE(grid->model()->index(1, column).data(), grid->model()->index(0, column).data());
    }
    QCOMPARE(FilesOf(imported), files);
  }

  void escCancelsWhileTheProgressBarShows() {
    AddIndexedLocation();
    ShowActive();
    auto* status = child<QStatusBar>("IndexStatusBar");
    const std::string target = dir_->path() + "local.kvx";
    PressEscWhileProgressShows();
    dialogs_.file_answers.push_back(target);
    QTest::mouseClick(child<QPushButton>("bbExport"), Qt::LeftButton);
    QCOMPARE(dialogs_.Texts(), std::vector<std::string>{"Export Canceled"});
    QCOMPARE(status->currentMessage(), QStringLiteral("Index not exported."));
    QVERIFY(!std::filesystem::exists(target));
    QVERIFY(!window_->ProgressVisible());
    QVERIFY(window_->isVisible());  // the Esc did not close the window

    dialogs_.file_answers.push_back(target);
    QTest::mouseClick(child<QPushButton>("bbExport"), Qt::LeftButton);
    QVERIFY(std::filesystem::exists(target));
    PressEscWhileProgressShows();
    dialogs_.file_answers.push_back(target);
    QTest::mouseClick(child<QPushButton>("bbImport"), Qt::LeftButton);
    QCOMPARE(dialogs_.Texts(), (std::vector<std::string>{"Export Canceled", "Import Canceled"}));
    QCOMPARE(status->currentMessage(), QStringLiteral("Index not imported."));
    QCOMPARE(child<QTableView>("DBGridTasks")->model()->rowCount(), 1);
    QVERIFY(window_->isVisible());
    // With the bar hidden again, Esc closes the window as before.
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : window_.get(), Qt::Key_Escape);
    QVERIFY(!window_->isVisible());
  }

  // The loader check box: New offers the options' default, each location keeps its own choice,
  // Edit offers it again.
  void locationDialogKeepsTheLoaderPerLocation() {
    window_->show();
    bool offered = false;
    AnswerDialog("http://first/", "", true, false, &offered);
    QTest::mouseClick(child<QPushButton>("bbNew"), Qt::LeftButton);
    QVERIFY(offered);  // on by default
    settings_->WriteString("Options", "DefaultLoader", "fast");
    AnswerDialog("http://second/", "", true, std::nullopt, &offered);
    QTest::mouseClick(child<QPushButton>("bbNew"), Qt::LeftButton);
    QVERIFY(!offered);
    QCOMPARE(settings_->ReadString("LocationLoader", "1", ""), std::string("fast"));
    QCOMPARE(settings_->ReadString("LocationLoader", "2", ""), std::string("fast"));

    auto* grid = child<QTableView>("DBGridTasks");
    grid->setCurrentIndex(grid->model()->index(0, 0));
    AnswerDialog("http://first/", "", true, true, &offered);
    QTest::mouseClick(child<QPushButton>("bbEdit"), Qt::LeftButton);
    QVERIFY(!offered);  // location 1's own choice
    QCOMPARE(settings_->ReadString("LocationLoader", "1", ""), std::string("browser"));
    AnswerDialog("http://first/", "", false, std::nullopt, &offered);
    QTest::mouseClick(child<QPushButton>("bbEdit"), Qt::LeftButton);
    QVERIFY(offered);
  }

  void optionsWindowClosesWithEnterAndSaves() {
    TfmKivOpts options(context_, *settings_, dialogs_, true, "Exact Phrase");
    QCOMPARE(options.objectName(), QStringLiteral("OptsForm"));
    QCOMPARE(options.windowTitle(), QStringLiteral("Vellumark Options"));
    QCOMPARE(options.size(), QSize(406, 156));
    QCOMPARE(options.findChild<QPlainTextEdit*>("meSearchDelim")->toPlainText(),
             QString(kDefaultDelimiterText));
    QCOMPARE(options.findChild<QLineEdit*>("edSHFile")->text(), QStringLiteral("SHFile.htm"));
    QCOMPARE(context_.DelimiterChars, std::u32string(U" \t\n\r,;"));
    QVERIFY(options.findChild<QCheckBox*>("cbBrowserLoader")->isChecked());
    QVERIFY(options.findChild<QCheckBox*>("cbObeyRobots")->isChecked());
    options.findChild<QCheckBox*>("cbBrowserLoader")->setChecked(false);
    options.findChild<QCheckBox*>("cbObeyRobots")->setChecked(false);
    options.findChild<QSpinBox*>("seRequests")->setValue(8);
    QTimer::singleShot(0, &options, [&] {
      QTest::keyClick(options.findChild<QPlainTextEdit*>("meSearchDelim"), Qt::Key_Return);
    });
    options.exec();
    QVERIFY(!options.isVisible());
    // The header file is missing in this folder: both header messages, nothing else.
    QCOMPARE(dialogs_.messages.size(), std::size_t(2));
    QCOMPARE(settings_->ReadString("Options", "SearchDelimiters", ""),
             std::string("' '     9     10     13     ','     ';'"));
    QCOMPARE(settings_->ReadString("Options", "Included", ""), std::string("TRUE"));
    QCOMPARE(settings_->ReadString("Options", "SearchOptions", ""), std::string("Exact Phrase"));
    QCOMPARE(settings_->ReadString("Options", "DefaultLoader", ""), std::string("fast"));
    QCOMPARE(settings_->ReadString("Options", "RequestsInFlight", ""), std::string("8"));
    QCOMPARE(settings_->ReadString("Options", "ObeyRobots", ""), std::string("FALSE"));
  }
};

}  // namespace vellumark

QTEST_MAIN(vellumark::IndexWindowTest)
#include "index_window_test.moc"
