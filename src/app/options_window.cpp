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
