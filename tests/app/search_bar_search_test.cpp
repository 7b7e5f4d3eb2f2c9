// The search bar window joined to the real Find and find in page, headless, over a small index
// written with StoreWords and shown by the fake browser.
#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/search_bar_window.h"
#include "shell/recording_search_bar_view.h"
#include "store/records.h"
#include "store/word_store.h"
#include "support/fake_browser.h"
#include "support/scripted_dialogs.h"
#include "util/temp_folder.h"

namespace vellumark {
namespace {

class NoProgress final : public StoreWordsProgress {
 public:
  bool CheckStop() override { return false; }
  void ShowStatus(const std::string&) override {}
};

class NoStatus final : public StatusView {
 public:
  void ShowStatus(const std::string&) override {}
};

}  // namespace

class SearchBarSearchTest : public QObject {
  Q_OBJECT

 private:
  testing::TempFolder folder_;
  ProgramContext context_;
  testing::ScriptedDialogs dialogs_;
  testing::FakeBrowser browser_;
  testing::ScriptedDesktop desktop_;
  NoStatus status_;
  std::unique_ptr<TdmKiv> dm_;
  std::unique_ptr<TfmKivMain> bar_;

  std::string ResultUrl() const { return "file://" + folder_.path() + "SrchRes.htm"; }

  // A page of the location with its words, each `count` times.
  void AddPage(int file_no, const std::string& relative, const std::string& title,
               std::vector<std::string> words) {
    TTable& files = dm_->tbFiles;
    TFileFields page(files);
    files.Insert();
    page.FileNo().SetInteger(file_no);
    page.F1().SetString(relative);
    page.FileState().SetInteger(1);
    page.FileTitle().SetString(title);
    files.Post();
    std::sort(words.begin(), words.end());
    NoProgress progress;
    QVERIFY(StoreWords(*dm_, words, file_no, 1000, relative, progress));
  }

  QWidget* Focus() {
    QWidget* f = QApplication::focusWidget();
    return f ? f : bar_.get();
  }
  void Type(const QString& sample) {
    auto* box = bar_->findChild<QComboBox*>(QStringLiteral("edSearchText"));
    box->setFocus();
    box->setEditText(sample);
  }

 private slots:
  void init() {
    context_ = ProgramContext{};
    context_.program_folder = folder_.path();
    context_.db_root_folder = folder_.path();
    dialogs_ = testing::ScriptedDialogs{};
    browser_ = testing::FakeBrowser{};
    dm_ = std::make_unique<TdmKiv>(context_, dialogs_);
    dm_->tbTasks.Insert();
    dm_->tbTasks.FieldByName("Task_URL").SetString("http://127.0.0.1:8000/site/");
    dm_->tbTasks.FieldByName("Time_End").SetString("10:05:00");
    dm_->tbTasks.Post();
    const int no = dm_->CurrentTaskNo();
    QVERIFY(dm_->CreateLocationTables(dm_->LocationFolder(no)));
    QVERIFY(dm_->OpenLocation(dm_->LocationFolder(no)));
    AddPage(1, "one.html", "One", {"alpha", "beta"});
    AddPage(2, "two.html", "Two", {"alpha", "alpha", "alpha"});

    bar_ = std::make_unique<TfmKivMain>(context_, dialogs_, desktop_);
    bar_->handlers().Attach(*dm_, browser_);
    bar_->handlers().StartSearch(status_);
    bar_->show();
    QApplication::setActiveWindow(bar_.get());
    QVERIFY(QTest::qWaitForWindowExposed(bar_.get()));
  }
  void cleanup() {
    bar_.reset();
    dm_.reset();
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path())) {
      std::filesystem::remove_all(entry.path());
    }
  }

  void enterRunsFindAndShowsTheResultPage() {
    Type(QStringLiteral("alpha"));
    QTest::keyClick(Focus(), Qt::Key_Return);
    QCOMPARE(dialogs_.Texts(), std::vector<std::string>{});
    QCOMPARE(browser_.navigations, std::vector<std::string>{ResultUrl()});
    // Best first: the page holding the word three times.
    const auto& entries = bar_->handlers().search()->Entries();
    QCOMPARE(entries.size(), 2u);
    QCOMPARE(entries[0].file_no, 2);
    QCOMPARE(entries[0].address, std::string("http://127.0.0.1:8000/site/two.html"));
    std::ifstream in(folder_.path() + "SrchRes.htm");
    std::stringstream page;
    page << in.rdbuf();
    QVERIFY(page.str().find("http://127.0.0.1:8000/site/one.html") != std::string::npos);
    // The sample went into the history, and the bar is usable again.
    QCOMPARE(bar_->History(), std::vector<std::string>{"alpha"});
    QVERIFY(bar_->findChild<QToolButton*>(QStringLiteral("bbFind"))->isEnabled());
    QVERIFY(!context_.find_running);
  }

  void findButtonUsesTheModeOfTheCombo() {
    bar_->SetModeText("All Words");
    Type(QStringLiteral("alpha beta"));
    QTest::mouseClick(bar_->findChild<QToolButton*>(QStringLiteral("bbFind")), Qt::LeftButton);
    const auto& entries = bar_->handlers().search()->Entries();
    QCOMPARE(entries.size(), 1u);
    QCOMPARE(entries[0].file_no, 1);
  }

  void f3StepsThroughTheShownPage() {
    browser_.pages[ResultUrl()] = testing::FakePage{"Results", {}, "one alpha two alpha"};
    Type(QStringLiteral("alpha"));
    QTest::keyClick(Focus(), Qt::Key_Return);
    QTest::keyClick(Focus(), Qt::Key_F3);
    QCOMPARE(browser_.selections, 1);
    QCOMPARE(browser_.selected_start, std::size_t{4});
    QVERIFY(context_.FindActive);
    QTest::mouseClick(bar_->findChild<QToolButton*>(QStringLiteral("bbNext")), Qt::LeftButton);
    QCOMPARE(browser_.selections, 2);
    QCOMPARE(browser_.selected_start, std::size_t{14});
    QTest::keyClick(Focus(), Qt::Key_F3);
    QCOMPARE(dialogs_.Texts(), std::vector<std::string>{"Text 'alpha' not found."});
    QVERIFY(!context_.FindActive);

    // Editing the sample starts over at the top.
    QTest::keyClick(Focus(), Qt::Key_F3);
    QVERIFY(context_.FindActive);
    Type(QStringLiteral("alph"));
    QVERIFY(!context_.FindActive);
  }

  void unlinkingReleasesTheHooks() {
    bar_->handlers().Detach();
    Type(QStringLiteral("alpha"));
    QTest::keyClick(Focus(), Qt::Key_Return);
    QTest::keyClick(Focus(), Qt::Key_F3);
    QVERIFY(browser_.navigations.empty());
    QCOMPARE(browser_.selections, 0);
  }
};

}  // namespace vellumark

QTEST_MAIN(vellumark::SearchBarSearchTest)
#include "search_bar_search_test.moc"
