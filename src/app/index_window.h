// The index window TfmKivIndex (component name "IndexForm"): the location grid, the counters
// and Stop of a run, the button panel, and the status bar with its hidden progress bar. New,
// Edit and Delete go to the indexer's TLocationCommands; Index and Stop to the window's own
// TIndexer (there when the window has a browser and an HTTP client); Export and Import to the
// window's own TIndexArchive, which shows its progress in the window's progress bar and which
// Esc cancels while that bar is visible. "Options" shows the options window modally.
//
// The window implements IndexWindowView for its commands and IndexWindowControl for the search
// bar; it reaches the search bar through SearchBarControl.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "app/location_dialog.h"
#include "archive/index_archive.h"
#include "indexer/index_run.h"
#include "indexer/location_commands.h"
#include "platform/event_pump.h"
#include "shell/index_view.h"
#include "shell/search_bar.h"
#include "util/inifile.h"

class QDialog;
class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTableView;
class QTabWidget;

namespace vellumark {

class LocationsModel;

class TfmKivIndex final : public QWidget, public IndexWindowView, public IndexWindowControl {
  Q_OBJECT
 public:
  // FormCreate. Everything passed must outlive the window. Without a browser or an HTTP
  // client there is no indexing run and "Index" stays disabled.
  TfmKivIndex(ProgramContext& context, TPIniFile& settings, Dialogs& dialogs, EventPump& pump,
              TdmKiv& data, SearchBarControl& search_bar, Browser* browser,
              THttpClient* http = nullptr, QWidget* parent = nullptr);
  // FormDestroy: saves the placement.
  ~TfmKivIndex() override;

  TLocationCommands& commands() { return commands_; }
  // The indexing run; null without a browser or an HTTP client.
  TIndexer* indexer() { return indexer_.get(); }
  // Export and import of the current location's index.
  TIndexArchive& archive() { return *archive_; }

  // The options window that "Options" shows modally (null: none); it must outlive the window
  // or be unset.
  void SetOptionsWindow(QDialog* options) { options_ = options; }
  // Set the command hooks with SetCommand so that their buttons are enabled. The window sets
  // its own Export and Import commands, and its Index command (bbGoClick) when it has an
  // indexer.
  void SetIndexCommand(std::function<void()> command);
  void SetImportCommand(std::function<void()> command);
  void SetExportCommand(std::function<void()> command);

  // The archive operations' cancel request (Esc while the progress bar is shown).
  bool archive_cancel = false;

  // Reads the grid again and selects the current location.
  void RefreshLocations();

  // IndexWindowView
  void ShowStatus(const std::string& text) override;
  void SetCounters(int indexed, int queued) override;
  void SetButtonPanelVisible(bool visible) override;
  bool ProgressVisible() override;
  void SetProgressVisible(bool visible) override;
  void SetProgress(int percent) override;

  // IndexWindowControl
  void ShowIndexWindow() override;
  void HideIndexWindow() override;
  bool CheckStop() override;
  // Shows kRunActiveNote beside the status line until the run ends.
  void ShowCloseRefused() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  class ArchiveView;

  QPushButton* AddButton(const char* name, const char* caption, int y);
  void RunCommand(const std::function<void()>& command);
  void SelectCurrent();
  void GridRowChosen(int row);
  void FitColumns();
  // The indexing run started (true) or ended.
  void RunStateChanged(bool running);

  ProgramContext& context_;
  TPIniFile& settings_;
  Dialogs& dialogs_;
  EventPump& pump_;
  TdmKiv& data_;
  SearchBarControl& search_bar_;
  QDialog* options_ = nullptr;
  QtLocationDialog location_dialog_;
  TLocationCommands commands_;
  std::unique_ptr<TIndexer> indexer_;
  std::unique_ptr<ArchiveView> archive_view_;
  std::unique_ptr<TIndexArchive> archive_;
  std::function<void()> index_, import_, export_;

  QTabWidget* IEPageControl_;
  QTableView* DBGridTasks_;
  LocationsModel* model_;
  QLabel* lbIndexed_;
  QLabel* lbToIndex_;
  QPushButton* bbStop_;
  QWidget* pnButtons_;
  QPushButton* bbIndex_;
  QPushButton* bbImport_;
  QPushButton* bbExport_;
  QStatusBar* IndexStatusBar_;
  QProgressBar* ProgressBar_;
  QLabel* lbRunNote_;  // why a close is refused during a run, beside the status line
  bool selecting_ = false;
  bool fitting_columns_ = false;
  bool columns_sized_by_user_ = false;
};

}  // namespace vellumark
