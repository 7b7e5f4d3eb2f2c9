#include "app/options_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>

#include "app/placement.h"
#include "shell/search_bar.h"

namespace vellumark {

TfmKivOpts::TfmKivOpts(ProgramContext& context, TPIniFile& settings, Dialogs& dialogs,
                       bool sub_word, const std::string& search_options, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      context_(context),
      settings_(settings),
      dialogs_(dialogs) {
  setObjectName(QStringLiteral("OptsForm"));
  setWindowTitle(QStringLiteral("Vellumark Options"));
  setFixedSize(406, 156);

  IEPageControl_ = new QTabWidget(this);
  IEPageControl_->setObjectName(QStringLiteral("IEPageControl"));
  IEPageControl_->setGeometry(4, 4, 398, 118);
  auto* tsSettings = new QWidget;
  tsSettings->setObjectName(QStringLiteral("tsSettings"));
  IEPageControl_->addTab(tsSettings, QStringLiteral("Settings"));

  (new QLabel(QStringLiteral("Default Search Options"), tsSettings))->setGeometry(8, 6, 150, 16);
  cbSearchOptions_ = new QComboBox(tsSettings);
  cbSearchOptions_->setObjectName(QStringLiteral("cbSearchOptions"));
  for (const char* item : kSearchModeItems) cbSearchOptions_->addItem(QString::fromUtf8(item));
  cbSearchOptions_->setGeometry(8, 24, 120, 22);
  cbSubWord_ = new QCheckBox(QStringLiteral("Included"), tsSettings);
  cbSubWord_->setObjectName(QStringLiteral("cbSubWord"));
  cbSubWord_->setGeometry(134, 25, 80, 20);
  (new QLabel(QStringLiteral("Search Delimiters"), tsSettings))->setGeometry(220, 6, 150, 16);
  meSearchDelim_ = new QPlainTextEdit(tsSettings);
  meSearchDelim_->setObjectName(QStringLiteral("meSearchDelim"));
  meSearchDelim_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  meSearchDelim_->setGeometry(220, 24, 166, 60);
  (new QLabel(QStringLiteral("Search Result Header File"), tsSettings))
      ->setGeometry(8, 46, 180, 16);
  edSHFile_ = new QLineEdit(tsSettings);
  edSHFile_->setObjectName(QStringLiteral("edSHFile"));
  edSHFile_->setGeometry(8, 62, 206, 22);

  auto* tsLoading = new QWidget;
  tsLoading->setObjectName(QStringLiteral("tsLoading"));
  IEPageControl_->addTab(tsLoading, QStringLiteral("Page Loading"));
  cbBrowserLoader_ = new QCheckBox(
      QStringLiteral("Load new locations' pages with the browser (runs scripts)"), tsLoading);
  cbBrowserLoader_->setObjectName(QStringLiteral("cbBrowserLoader"));
  cbBrowserLoader_->setToolTip(
      QStringLiteral("The default of the location dialog's check box; each location keeps its "
                     "own choice"));
  cbBrowserLoader_->setGeometry(8, 6, 380, 20);
  auto* requests_label =
      new QLabel(QStringLiteral("Requests at a time without the browser:"), tsLoading);
  requests_label->setGeometry(8, 34, 250, 20);
  seRequests_ = new QSpinBox(tsLoading);
  seRequests_->setObjectName(QStringLiteral("seRequests"));
  seRequests_->setRange(kMinRequestsInFlight, kMaxRequestsInFlight);
  seRequests_->setToolTip(QStringLiteral("Also the most at a time to one site"));
  seRequests_->setGeometry(262, 33, 56, 22);
  requests_label->setBuddy(seRequests_);
  cbObeyRobots_ =
      new QCheckBox(QStringLiteral("Obey robots.txt (leave out pages a site excludes)"), tsLoading);
  cbObeyRobots_->setObjectName(QStringLiteral("cbObeyRobots"));
  cbObeyRobots_->setGeometry(8, 60, 380, 20);

  bbClose_ = new QPushButton(QStringLiteral("Close"), this);
  bbClose_->setObjectName(QStringLiteral("bbClose"));
  bbClose_->setGeometry(326, 126, 76, 26);
  bbClose_->setAutoDefault(false);
  connect(bbClose_, &QPushButton::clicked, this, [this] { close(); });

  // FormCreate.
  IEPageControl_->setCurrentIndex(0);
  OptionsValues v = OptionsFormCreate(context_, settings_);
  edSHFile_->setText(QString::fromStdString(v.header_file));
  meSearchDelim_->setPlainText(QString::fromStdString(v.delimiter_text));
  cbSubWord_->setChecked(sub_word);
  cbSearchOptions_->setCurrentText(QString::fromStdString(search_options));
  cbBrowserLoader_->setChecked(v.loader.kind == LoaderKind::kBrowser);
  seRequests_->setValue(v.loader.requests_in_flight);
  cbObeyRobots_->setChecked(v.loader.obey_robots);

  // The form sees every key first.
  for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
  hide();
}

TfmKivOpts::~TfmKivOpts() {
  try {
    SaveWindowStatus(settings_, *this);
  } catch (const std::exception& e) {
    qWarning("Cannot save the options window's placement: %s", e.what());
  }
}

OptionsValues TfmKivOpts::Values() const {
  OptionsValues v;
  v.header_file = edSHFile_->text().toStdString();
  v.delimiter_text = meSearchDelim_->toPlainText().toStdString();
  v.sub_word = cbSubWord_->isChecked();
  v.search_options = cbSearchOptions_->currentText().toStdString();
  v.loader.kind = cbBrowserLoader_->isChecked() ? LoaderKind::kBrowser : LoaderKind::kFast;
  v.loader.requests_in_flight = seRequests_->value();
  v.loader.obey_robots = cbObeyRobots_->isChecked();
  return v;
}

void TfmKivOpts::done(int result) {
  try {
    OptionsFormClose(Values(), context_, settings_, dialogs_);
  } catch (const std::exception& e) {
    dialogs_.Error(e.what());
  }
  QDialog::done(result);
}

bool TfmKivOpts::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      close();  // Enter closes the window from any control, edSHFile included
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

// Placed before it shows, so that a first show moves the frame, not the client area.
void TfmKivOpts::setVisible(bool visible) {
  if (visible && !isVisible()) {
    // Always centred on the screen; the saved placement is not restored. A bar in the way
    // moves it down.
    if (QScreen* s = screen()) {
      const QRect frame = WindowFrame(*this);
      move(s->availableGeometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
    }
    if (bar_area_) KeepWindowOffBar(*this, bar_area_());
  }
  QDialog::setVisible(visible);
}

}  // namespace vellumark
