// The search bar TfmKivMain (component name "MainForm"): the small always-on-top main window.
// It builds its controls, implements SearchBarView, sees every key before its controls do
// (the key table), and forwards each event to the SearchBar handlers.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "app/core/search_bar.h"

class QComboBox;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QToolButton;

namespace vellumark {

class TfmKivMain final : public QWidget, public SearchBarView {
  Q_OBJECT
 public:
  // The client size with the options panel shown; at start the panel is hidden and the window
  // is shorter by the panel's height.
  static constexpr int kClientWidth = 374;
  static constexpr int kClientHeight = 75;
  static constexpr int kPanelHeight = 51;

  // `context` and `dialogs` must outlive the window.
  TfmKivMain(ProgramContext& context, Dialogs& dialogs, QWidget* parent = nullptr);
  ~TfmKivMain() override;

  SearchBar& handlers() { return *handlers_; }

  // The index window, shown and hidden by the bar; set by the program entry.
  std::function<void()> show_index;
  std::function<void()> hide_index;
  // Runs when the window is closed for good (the program's shutdown).
  std::function<void()> on_destroy;

  // Shows the bar again and raises it above other windows (the hot key's answer).
  void BringToFront();
  void Image1DblClick();

  // SearchBarView
  void SetCaption(const std::string& caption) override;
  bool OptionsPanelVisible() override;
  void SetOptionsPanelVisible(bool visible) override;
  int OptionsPanelHeight() override;
  int WindowHeight() override;
  void SetWindowHeight(int height) override;
  void MoveWindowBy(int dx, int dy) override;
  void HideWindow() override;
  void ShowIndexWindow() override;
  void HideIndexWindow() override;
  std::string SearchText() override;
  void FocusSearchText() override;
  std::vector<std::string> History() override;
  void SetHistory(const std::vector<std::string>& items) override;
  bool SubWord() override;
  void SetSubWord(bool checked) override;
  bool ShowSample() override;
  std::string ModeText() override;
  void SetModeText(const std::string& text) override;
  void SetFindEnabled(bool enabled) override;

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
