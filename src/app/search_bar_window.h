// The search bar TfmKivMain (component name "MainForm"): the small always-on-top main window.
// It builds its controls, implements SearchBarView (which includes the search's SearchView),
// sees every key before its controls do (the key table), and forwards each event to the
// SearchBar handlers. The index window reaches it as its SearchBarControl.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "shell/desktop.h"
#include "shell/index_view.h"
#include "shell/search_bar.h"

class QComboBox;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QToolButton;

namespace vellumark {

class TfmKivMain final : public QWidget, public SearchBarView, public SearchBarControl {
  Q_OBJECT
 public:
  // The client size with the options panel shown; at start the panel is hidden and the window
  // is shorter by the panel's height.
  static constexpr int kClientWidth = 374;
  static constexpr int kClientHeight = 75;
  static constexpr int kPanelHeight = 51;
  static constexpr int kDesignLeft = 119;       // the bar's left edge at design
  static constexpr int kDateLimitsWidth = 140;  // deDateLimits

  // `context`, `dialogs` and `desktop` must outlive the window; the placement is read from and
  // written to `context.settings`.
  TfmKivMain(ProgramContext& context, Dialogs& dialogs, Desktop& desktop,
             QWidget* parent = nullptr);
  ~TfmKivMain() override;

  SearchBar& handlers() { return *handlers_; }

  // Shows the bar again and raises it above other windows.
  void BringToFront();
  void Image1DblClick();
  // The system-wide hot key was pressed: pressed while the bar has the focus it goes through
  // the bar's key table (which hides the bar when the key has its one modifier); otherwise it
  // brings the bar back from anywhere.
  void HotKeyPressed();

  // SearchBarView
  void SetCaption(const std::string& caption) override;
  bool OptionsPanelVisible() override;
  void SetOptionsPanelVisible(bool visible) override;
  int OptionsPanelHeight() override;
  int WindowHeight() override;
  void SetWindowHeight(int height) override;
  void MoveWindowBy(int dx, int dy) override;
  void HideWindow() override;
  void ShowAbout() override;
  std::string SearchText() override;
  void FocusSearchText() override;
  std::vector<std::string> History() override;
  void SetHistory(const std::vector<std::string>& items) override;
  bool SubWord() override;
  void SetSubWord(bool checked) override;
  bool ShowSample() override;
  TSearchMode SearchMode() override;
  std::string ModeText() override;
  void SetModeText(const std::string& text) override;
  void LoadFormStatus() override;
  void SaveFormStatus() override;
  // SearchView
  void SetFindEnabled(bool enabled) override;

  // SearchBarControl
  void UpdateCaption() override;
  void ShowHelp() override;
  bool SearchBarVisible() override;
  void FocusSearchBar() override;
  void SetIndexing(bool running) override;
  ScreenRect BarArea() override;

 signals:
  // The window was closed for good: the program's shutdown.
  void closed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QToolButton* AddButton(const char* name, const char* hint, int x, int picture);
  void Guarded(const std::function<void()>& handler);

  ProgramContext& context_;
  Dialogs& dialogs_;
  std::unique_ptr<SearchBar> handlers_;
  QToolButton* bbFind_;
  QComboBox* edSearchText_;
  QToolButton* bbNext_;
  QToolButton* bbShowMore_;
  QToolButton* bbIndex_;
  QToolButton* bbHelp_;
  QFrame* pnOptions_;
  QFrame* pnPicture_;
  QLabel* Image1_;
  QComboBox* cbSearchOptions_;
  QCheckBox* cbSubWord_;
  QCheckBox* cbShowSample_;
  QLineEdit* deDateLimits_;
};

}  // namespace vellumark
