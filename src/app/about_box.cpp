#include "app/about_box.h"

#include <QLabel>
#include <QPushButton>

#include "app/icons.h"

namespace vellumark {

TfmAbout::TfmAbout(SearchBar& search_bar, QWidget* parent)
    : QDialog(parent), search_bar_(search_bar) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("About ..."));
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(300, 160);

  auto* picture = new QLabel(this);
  picture->setPixmap(Emblem(48));
  picture->setGeometry(16, 16, 48, 48);

  // The product name twice: a shadow under the name itself.
  QFont big = font();
  big.setPointSize(18);
  big.setBold(true);
  auto* shadow = new QLabel(QString::fromUtf8(kProductName), this);
  shadow->setObjectName(QStringLiteral("lbProductShadow"));
  shadow->setFont(big);
  shadow->setStyleSheet(QStringLiteral("color: #b0b0b0"));
  shadow->setGeometry(82, 18, 200, 32);
  auto* name = new QLabel(QString::fromUtf8(kProductName), this);
  name->setObjectName(QStringLiteral("lbProduct"));
  name->setFont(big);
  name->setStyleSheet(QStringLiteral("color: #283c6e"));
  name->setGeometry(80, 16, 200, 32);

  auto* version = new QLabel(QStringLiteral("Version ") + QString::fromUtf8(kProductVersion), this);
  version->setObjectName(QStringLiteral("lbVersion"));
  version->setGeometry(82, 52, 200, 18);

  auto* link = new QLabel(this);
  link->setObjectName(QStringLiteral("lbLink"));
  const QString address = QString::fromUtf8(kMakerAddress);
  link->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(address));
  link->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  link->setCursor(Qt::PointingHandCursor);
  link->setGeometry(82, 76, 210, 18);
  connect(link, &QLabel::linkActivated, this, [this](const QString& url) {
    close();
    search_bar_.ShellOpen(url.toStdString());
  });

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("btOK"));
  ok->setDefault(true);
  ok->setGeometry(112, 118, 76, 26);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace vellumark
