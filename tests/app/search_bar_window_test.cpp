// The search bar window, headless: its controls, geometry, keys, history and mode combo. Find
// is the real one, over an indexed location without pages.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "app/about_box.h"
#include "app/placement.h"
#include "app/search_bar_window.h"
#include "shell/recording_search_bar_view.h"
#include "store/data_module.h"
#include "store/records.h"
#include "support/fake_browser.h"
#include "support/scripted_dialogs.h"
#include "util/temp_folder.h"

namespace vellumark {
namespace {

// The index window as the search bar reaches it, counting.
struct CountingIndexWindow final : IndexWindowControl {
  void ShowIndexWindow() override { ++shown; }
  void HideIndexWindow() override { ++hidden; }
  bool CheckStop() override { return check_stop && check_stop(); }
  void ShowCloseRefused() override { ++refusals; }
  int shown = 0, hidden = 0, refusals = 0;
  std::function<bool()> check_stop;
};

class NoStatus final : public StatusView {
 public:
  void ShowStatus(const std::string&) override {}
};

}  // namespace

class SearchBarWindowTest : public QObject {
  Q_OBJECT

 private:
  testing::TempFolder folder_;
  ProgramContext context_;
  testing::ScriptedDialogs dialogs_;
  testing::ScriptedDesktop desktop_;
  testing::FakeBrowser browser_;
  NoStatus status_;
  CountingIndexWindow index_;
  std::unique_ptr<TdmKiv> dm_;
  std::unique_ptr<TfmKivMain> bar_;
  int finds_ = 0;
  int& index_shown_ = index_.shown;
  std::vector<std::string> opened_;

  // Find ran to its result page.
  void CountFinds() { finds_ = static_cast<int>(browser_.navigations.size()); }

  template <typename T>
  T* child(const char* name) {
    T* w = bar_->findChild<T*>(QString::fromUtf8(name));
    if (!w) qFatal("no control %s", name);
    return w;
  }
  QWidget* focus() {
    QWidget* f = QApplication::focusWidget();
    return f ? f : bar_.get();
  }
  void type(const QString& sample) {
    auto* box = child<QComboBox>("edSearchText");
    box->setFocus();
    box->setEditText(sample);
    QTest::keyClick(focus(), Qt::Key_Return);
    CountFinds();
  }

 private slots:
  void init() {
    context_ = ProgramContext{};
    context_.program_folder = context_.db_root_folder = folder_.path();
    dialogs_ = testing::ScriptedDialogs{};
    browser_ = testing::FakeBrowser{};
    finds_ = index_.shown = index_.hidden = 0;
    index_.check_stop = nullptr;
    opened_.clear();
    desktop_.open = [this](const std::string& f) {
      opened_.push_back(f);
      return f == "Help.htm";
    };
    // A location indexed to the end, without pages: Find shows an empty result page.
    dm_ = std::make_unique<TdmKiv>(context_, dialogs_);
    dm_->tbTasks.Insert();
    TTaskFields(dm_->tbTasks).TaskURL().SetString("http://127.0.0.1:8000/");
    TTaskFields(dm_->tbTasks).TimeEnd().SetString("10:05:00");
    dm_->tbTasks.Post();
    QVERIFY(dm_->CreateLocationTables(dm_->LocationFolder(dm_->CurrentTaskNo())));

    bar_ = std::make_unique<TfmKivMain>(context_, dialogs_, desktop_);
    bar_->handlers().Attach(*dm_, browser_);
    bar_->handlers().StartSearch(status_);
    bar_->handlers().SetIndexWindow(&index_);
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

  void controlsHintsAndGeometry() {
    QCOMPARE(bar_->objectName(), QStringLiteral("MainForm"));
    QCOMPARE(bar_->windowTitle(), QStringLiteral("KIV"));
    QVERIFY(bar_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(!bar_->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(bar_->size(), QSize(374, 24));
    QCOMPARE(bar_->minimumSize(), bar_->maximumSize());  // fixed border

    struct Expect {
      const char* name;
      const char* hint;
      QRect geometry;
    };
    const Expect buttons[] = {
        {"bbFind", "Find <Enter>", {0, 1, 22, 22}},
        {"bbNext", "Scroll to next <F3>", {284, 1, 22, 22}},
        {"bbShowMore", "Show more <F2>", {307, 1, 22, 22}},
        {"bbIndex", "Index and Options <F10>", {329, 1, 22, 22}},
        {"bbHelp", "Help <F1>", {352, 1, 22, 22}},
    };
    for (const Expect& e : buttons) {
      auto* b = child<QToolButton>(e.name);
      QCOMPARE(b->toolTip(), QString::fromUtf8(e.hint));
      QCOMPARE(b->geometry(), e.geometry);
      QVERIFY(b->autoRaise());
    }
    auto* sample = child<QComboBox>("edSearchText");
    QVERIFY(sample->isEditable());
    QCOMPARE(sample->toolTip(), QStringLiteral("Enter find sample"));
    QCOMPARE(sample->geometry(), QRect(24, 1, 258, 22));
    QCOMPARE(child<QFrame>("pnOptions")->geometry(), QRect(0, 24, 326, 51));
    QVERIFY(!child<QFrame>("pnOptions")->isVisible());
    QCOMPARE(child<QFrame>("pnPicture")->geometry(), QRect(324, 24, 51, 51));
    QCOMPARE(child<QLabel>("Image1")->size(), QSize(48, 48));
    auto* modes = child<QComboBox>("cbSearchOptions");
    QCOMPARE(modes->count(), 3);
    QCOMPARE(modes->itemText(2), QStringLiteral("Exact Phrase"));
    QCOMPARE(modes->currentText(), QStringLiteral("Any Words"));
    QCOMPARE(child<QCheckBox>("cbSubWord")->text(), QStringLiteral("Included"));
    QCOMPARE(child<QCheckBox>("cbShowSample")->text(), QStringLiteral("Show"));
    QCOMPARE(child<QLineEdit>("deDateLimits")->width(), 140);
  }

  void placementKeepsAnOffScreenTopAndIgnoresSizeAndState() {
    testing::TempFolder dir;
    TPIniFile settings(dir.path() + "vellumark.ini");
    settings.WriteString("FormStatus", "MainForm", "5000,10,400,300,2");
    bar_->move(119, 0);
    const int top = bar_->frameGeometry().top();
    LoadWindowStatus(settings, *bar_, false);
    QCOMPARE(bar_->frameGeometry().left(), 10);
    QCOMPARE(bar_->frameGeometry().top(), top);
    QCOMPARE(bar_->size(), QSize(374, 24));
    QVERIFY(!bar_->isMaximized());
    SaveWindowStatus(settings, *bar_);
    QCOMPARE(settings.ReadString("FormStatus", "MainForm", ""),
             QStringLiteral("%1,10,%2,%3,0")
                 .arg(top)
                 .arg(bar_->frameGeometry().width())
                 .arg(bar_->frameGeometry().height())
                 .toStdString());
  }

  void f2TogglesTheOptionsPanel() {
    context_.FindActive = true;
    QTest::keyClick(focus(), Qt::Key_F2);
    QCOMPARE(bar_->height(), 75);
    QVERIFY(child<QFrame>("pnOptions")->isVisible());
    QVERIFY(!context_.FindActive);
    QTest::mouseClick(child<QToolButton>("bbShowMore"), Qt::LeftButton);
    QCOMPARE(bar_->height(), 24);
    QVERIFY(!child<QFrame>("pnOptions")->isVisible());
  }

  void arrowsMoveByOneWithAltAndByTwentyWithShiftCtrl() {
    bar_->move(300, 300);
    const QPoint start = bar_->pos();
    QTest::keyClick(focus(), Qt::Key_Left, Qt::AltModifier);
    QCOMPARE(bar_->pos(), start + QPoint(-1, 0));
    QTest::keyClick(focus(), Qt::Key_Down, Qt::ShiftModifier | Qt::ControlModifier);
    QCOMPARE(bar_->pos(), start + QPoint(-1, 20));
    QTest::keyClick(focus(), Qt::Key_Up, Qt::AltModifier);
    QTest::keyClick(focus(), Qt::Key_Right, Qt::ShiftModifier | Qt::ControlModifier);
    QCOMPARE(bar_->pos(), start + QPoint(19, 19));
    // Other modifier sets do not move it.
    QTest::keyClick(focus(), Qt::Key_Right, Qt::ControlModifier);
    QTest::keyClick(focus(), Qt::Key_Right, Qt::AltModifier | Qt::ShiftModifier);
    QTest::keyClick(focus(), Qt::Key_Right,
                    Qt::AltModifier | Qt::ShiftModifier | Qt::ControlModifier);
    QCOMPARE(bar_->pos(), start + QPoint(19, 19));
  }

  void indexKeysShowTheIndexWindow() {
    QTest::keyClick(focus(), Qt::Key_F10);
    QTest::keyClick(focus(), Qt::Key_Return, Qt::AltModifier);
    QTest::keyClick(focus(), Qt::Key_Return, Qt::ShiftModifier | Qt::ControlModifier);
    CountFinds();
    QCOMPARE(index_shown_, 3);
    QCOMPARE(finds_, 0);  // none of these is Enter for Find
  }

  void enterRunsFindAndFillsTheHistory() {
    type("alpha");
    QCOMPARE(finds_, 1);
    type("alpha");
    type("Alpha");
    QCOMPARE(finds_, 3);
    auto* box = child<QComboBox>("edSearchText");
    QCOMPARE(box->count(), 2);
    QCOMPARE(box->itemText(0), QStringLiteral("Alpha"));
    QCOMPARE(box->itemText(1), QStringLiteral("alpha"));
    QCOMPARE(box->currentText(), QStringLiteral("Alpha"));

    type("");
    QCOMPARE(finds_, 3);
    QCOMPARE(dialogs_.Texts().back(), std::string("Enter search sample in the text field."));
    QCOMPARE(box->count(), 2);
  }

  // The history is offered in a pop-up; Enter searches what was typed, not an entry it begins.
  void enterSearchesTheTypedPrefixOfAHistoryEntry() {
    type("logging, handler");
    auto* box = child<QComboBox>("edSearchText");
    box->clearEditText();
    QTest::keyClicks(box->lineEdit(), "logging");
    QCOMPARE(box->currentText(), QStringLiteral("logging"));
    // Keys go to the pop-up while it is open, as the platform delivers them.
    QWidget* popup = QApplication::activePopupWidget();
    QTest::keyClick(popup ? popup : focus(), Qt::Key_Return);
    QVERIFY(!QApplication::activePopupWidget());
    CountFinds();
    QCOMPARE(finds_, 2);
    QCOMPARE(bar_->History(), (std::vector<std::string>{"logging", "logging, handler"}));
  }

  void editingTheSampleEndsFindInPage() {
    context_.FindActive = true;
    child<QComboBox>("edSearchText")->setEditText("beta");
    QVERIFY(!context_.FindActive);
  }

  void modeComboSetsTheSearchMode() {
    auto* modes = child<QComboBox>("cbSearchOptions");
    context_.FindActive = true;
    modes->setCurrentIndex(1);
    QCOMPARE(bar_->handlers().search_mode, smAllWords);
    QVERIFY(!context_.FindActive);
    modes->setCurrentIndex(2);
    QCOMPARE(bar_->handlers().search_mode, smExactPhrase);
    modes->setCurrentIndex(0);
    QCOMPARE(bar_->handlers().search_mode, smAnyWords);
  }

  void helpOpensThePageOrSaysItCannot() {
    QTest::keyClick(focus(), Qt::Key_F1);
    QCOMPARE(opened_, std::vector<std::string>{"Help.htm"});
    QVERIFY(dialogs_.messages.empty());
    bar_->handlers().help_page = "Missing.htm";
    QTest::mouseClick(child<QToolButton>("bbHelp"), Qt::LeftButton);
    QCOMPARE(dialogs_.Texts(), std::vector<std::string>{"Cannot start Internet Explorer."});
  }

  void hotKeyWithItsModifierHidesTheBar() {
    bar_->handlers().hot_key = ParseHotKey("ctrl/k");
    QTest::keyClick(focus(), Qt::Key_K, Qt::ShiftModifier | Qt::ControlModifier);
    QVERIFY(bar_->isVisible());
    QTest::keyClick(focus(), Qt::Key_K, Qt::ControlModifier);
    QVERIFY(!bar_->isVisible());
    bar_->BringToFront();
    QVERIFY(bar_->isVisible());
  }

  void closeIsRefusedDuringAnIndexingRun() {
    int checks = 0;
    bool stop = true;
    index_.check_stop = [&] {
      ++checks;
      return stop;
    };
    context_.indexing_state = kIndexingRunning;
    QVERIFY(!bar_->close());
    QVERIFY(bar_->isVisible());
    QCOMPARE(checks, 1);
    QCOMPARE(index_.refusals, 0);  // the confirmed stop says so itself
    // Without a stop, the index window says why the bar stays.
    stop = false;
    QVERIFY(!bar_->close());
    QCOMPARE(index_.refusals, 1);
    context_.indexing_state = kIndexingIdle;
    bool destroyed = false;
    connect(bar_.get(), &TfmKivMain::closed, this, [&] { destroyed = true; });
    QVERIFY(bar_->close());
    QVERIFY(destroyed);
  }

  void anIndexingRunDisablesFindAndSaysSoInTheCaption() {
    bar_->SetIndexing(true);
    QVERIFY(!child<QToolButton>("bbFind")->isEnabled());
    QVERIFY(!child<QToolButton>("bbNext")->isEnabled());
    QVERIFY(!child<QComboBox>("edSearchText")->isEnabled());
    QCOMPARE(bar_->windowTitle(), QStringLiteral("KIV: Indexing \u2014 press Stop first"));
    bar_->SetIndexing(false);
    QVERIFY(child<QToolButton>("bbFind")->isEnabled());
    QCOMPARE(bar_->windowTitle(), QStringLiteral("KIV"));
  }

  void doubleClickOnThePictureShowsTheAboutBox() {
    QTest::mouseDClick(child<QLabel>("Image1"), Qt::LeftButton);
    auto* box = bar_->findChild<TfmAbout*>();
    QVERIFY(box);
    QCOMPARE(box->windowTitle(), QStringLiteral("About ..."));
    QCOMPARE(box->findChild<QLabel*>("lbProduct")->text(), QStringLiteral("Vellumark"));
    QCOMPARE(box->findChild<QLabel*>("lbVersion")->text(), QStringLiteral("Version 1.0"));
    QPointer<TfmAbout> alive(box);
    QTest::mouseClick(box->findChild<QPushButton*>("btOK"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 5000);  // freed on close
    // Shift+F1 and the help button's menu show it too.
    QTest::keyClick(focus(), Qt::Key_F1, Qt::ShiftModifier);
    QTRY_VERIFY_WITH_TIMEOUT(bar_->findChild<TfmAbout*>(), 5000);
    QVERIFY(opened_.empty());  // not the help page
    auto* menu = child<QToolButton>("bbHelp")->menu();
    QCOMPARE(menu->actions().size(), 2);
    QCOMPARE(menu->actions()[1]->text(), QStringLiteral("About Vellumark\tShift+F1"));
  }
};

}  // namespace vellumark

QTEST_MAIN(vellumark::SearchBarWindowTest)
#include "search_bar_window_test.moc"
