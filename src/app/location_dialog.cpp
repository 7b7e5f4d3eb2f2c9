#include "app/location_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <utility>

namespace vellumark {

TfmKivDialog::TfmKivDialog(Browser* browser, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), browser_(browser), dialogs_(dialogs) {
  setObjectName(QStringLiteral("KivDialog"));
  // The classic 428 x 121 with one row more for the loader check box.
  setFixedSize(428, 147);
  // The 342-pixel edit boxes keep to the right edge; their labels end just before them, so
  // that "Description:" keeps clear of its box at the platform's font.
  constexpr int kEditLeft = 428 - 4 - 342;
  for (auto [text, y] : {std::pair{"URL:", 10}, std::pair{"Description:", 42}}) {
    auto* label = new QLabel(QString::fromUtf8(text), this);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setGeometry(2, y, kEditLeft - 6, 22);
  }
  edURL_ = new QLineEdit(this);
  edURL_->setObjectName(QStringLiteral("edURL"));
  edURL_->setGeometry(kEditLeft, 10, 342, 22);
  edURLDescription_ = new QLineEdit(this);
  edURLDescription_->setObjectName(QStringLiteral("edURLDescription"));
  edURLDescription_->setGeometry(kEditLeft, 42, 342, 22);
  cbBrowserLoader_ =
      new QCheckBox(QStringLiteral("Load pages with the browser (runs scripts)"), this);
  cbBrowserLoader_->setObjectName(QStringLiteral("cbBrowserLoader"));
  cbBrowserLoader_->setToolTip(
      QStringLiteral("Off: pages are fetched and read without running their scripts, which is "
                     "much faster for static sites"));
  cbBrowserLoader_->setGeometry(kEditLeft, 72, 342, 20);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("btOK"));
  ok->setDefault(true);
  ok->setGeometry(kEditLeft, 110, 76, 26);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("btCancel"));
  cancel->setAutoDefault(false);
  cancel->setGeometry(kEditLeft + 82, 110, 76, 26);
  auto* browse = new QPushButton(QStringLiteral("Browse ..."), this);
  browse->setObjectName(QStringLiteral("btBrowse"));
  browse->setAutoDefault(false);
  browse->setGeometry(264, 110, 76, 26);
  auto* get = new QPushButton(QStringLiteral("Get from IE"), this);
  get->setObjectName(QStringLiteral("btGetUrl"));
  get->setAutoDefault(false);
  get->setGeometry(346, 110, 76, 26);

  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(browse, &QPushButton::clicked, this, [this] { btBrowseClick(browser_, dialogs_); });
  connect(get, &QPushButton::clicked, this, [this] {
    std::string url = edURL_->text().toStdString();
    btGetUrlClick(browser_, dialogs_, url);
    edURL_->setText(QString::fromStdString(url));
  });
}

void TfmKivDialog::showEvent(QShowEvent* event) {
  if (QScreen* s = screen()) move(s->geometry().center() - rect().center());
  edURL_->setFocus();
  QDialog::showEvent(event);
}

bool QtLocationDialog::Execute(const std::string& caption, std::string& url,
                               std::string& description, LoaderKind& loader) {
  TfmKivDialog dialog(browser_, dialogs_, parent_);
  dialog.setWindowTitle(QString::fromStdString(caption));
  dialog.edURL()->setText(QString::fromStdString(url));
  dialog.edURLDescription()->setText(QString::fromStdString(description));
  dialog.cbBrowserLoader()->setChecked(loader == LoaderKind::kBrowser);
  if (dialog.exec() != QDialog::Accepted) return false;
  url = dialog.edURL()->text().toStdString();
  description = dialog.edURLDescription()->text().toStdString();
  loader = dialog.cbBrowserLoader()->isChecked() ? LoaderKind::kBrowser : LoaderKind::kFast;
  return true;
}

}  // namespace vellumark
