// The location dialog TfmKivDialog: a location's URL and description, whether its pages are
// loaded with the browser (else with the fast loader), and two buttons that use the browser
// ("Browse ..." shows it, "Get from IE" takes the address it shows). QtLocationDialog runs it
// for the location commands.
#pragma once

#include <QDialog>

#include "indexer/location_commands.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace vellumark {

class TfmKivDialog final : public QDialog {
  Q_OBJECT
 public:
  // `browser` may be null (then both browser buttons report their failure).
  TfmKivDialog(Browser* browser, Dialogs& dialogs, QWidget* parent = nullptr);

  QLineEdit* edURL() const { return edURL_; }
  QLineEdit* edURLDescription() const { return edURLDescription_; }
  QCheckBox* cbBrowserLoader() const { return cbBrowserLoader_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  Browser* browser_;
  Dialogs& dialogs_;
  QLineEdit* edURL_;
  QLineEdit* edURLDescription_;
  QCheckBox* cbBrowserLoader_;
};

class QtLocationDialog final : public LocationDialog {
 public:
  QtLocationDialog(Browser* browser, Dialogs& dialogs, QWidget* parent)
      : browser_(browser), dialogs_(dialogs), parent_(parent) {}
  void SetBrowser(Browser* browser) { browser_ = browser; }
  bool Execute(const std::string& caption, std::string& url, std::string& description,
               LoaderKind& loader) override;

 private:
  Browser* browser_;
  Dialogs& dialogs_;
  QWidget* parent_;
};

}  // namespace vellumark
