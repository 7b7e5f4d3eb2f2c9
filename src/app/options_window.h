// The options window TfmKivOpts (component name "OptsForm"): default search mode and sub-word
// setting, delimiter specification and result page header file on the "Settings" tab; the page
// loader of new locations, the fast loader's requests in flight and robots.txt on the "Page
// Loading" tab. Shown modally from the index window; everything is saved whenever it closes
// (there is no Cancel).
#pragma once

#include <QDialog>
#include <functional>

#include "shell/options.h"
#include "util/form_status.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace vellumark {

class TfmKivOpts final : public QDialog {
  Q_OBJECT
 public:
  // Runs FormCreate: reads the settings, loads the header and the delimiters, and copies the
  // search bar's sub-word and mode. The context, settings and dialogs must outlive the window.
  TfmKivOpts(ProgramContext& context, TPIniFile& settings, Dialogs& dialogs, bool sub_word,
             const std::string& search_options, QWidget* parent = nullptr);
  // Saves the placement (FormDestroy).
  ~TfmKivOpts() override;

  OptionsValues Values() const;

  // The area of the always-on-top search bar, which the window keeps clear of when it opens
  // (unset: none).
  void SetBarArea(std::function<ScreenRect()> bar_area) { bar_area_ = std::move(bar_area); }

 public slots:
  void done(int result) override;  // FormClose: saves
  void setVisible(bool visible) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  ProgramContext& context_;
  TPIniFile& settings_;
  Dialogs& dialogs_;
  std::function<ScreenRect()> bar_area_;
  QTabWidget* IEPageControl_;
  QComboBox* cbSearchOptions_;
  QCheckBox* cbSubWord_;
  QPlainTextEdit* meSearchDelim_;
  QLineEdit* edSHFile_;
  QCheckBox* cbBrowserLoader_;  // new locations load with the browser
  QSpinBox* seRequests_;        // the fast loader's requests in flight
  QCheckBox* cbObeyRobots_;
  QPushButton* bbClose_;
};

}  // namespace vellumark
