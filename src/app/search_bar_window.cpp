#include "app/search_bar_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include "app/about_box.h"
#include "app/icons.h"
#include "app/placement.h"
#include "app/qt_keys.h"

namespace vellumark {

TfmKivMain::TfmKivMain(ProgramContext& context, Dialogs& dialogs, Desktop& desktop, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      context_(context),
      dialogs_(dialogs),
      handlers_(std::make_unique<SearchBar>(context, *this, dialogs, desktop)) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("KIV"));
  setFixedSize(kClientWidth, kClientHeight);
  move(119, 0);

  bbFind_ = AddButton("bbFind", "Find <Enter>", 0, static_cast<int>(ButtonPicture::kFind));
  edSearchText_ = new QComboBox(this);
  edSearchText_->setObjectName(QStringLiteral("edSearchText"));
  edSearchText_->setEditable(true);
  edSearchText_->setInsertPolicy(QComboBox::NoInsert);
  edSearchText_->setToolTip(QStringLiteral("Enter find sample"));
  edSearchText_->setGeometry(24, 1, 258, 22);
  bbNext_ = AddButton("bbNext", "Scroll to next <F3>", 284, static_cast<int>(ButtonPicture::kNext));
  bbShowMore_ =
      AddButton("bbShowMore", "Show more <F2>", 307, static_cast<int>(ButtonPicture::kShowMore));
  bbIndex_ =
      AddButton("bbIndex", "Index and Options <F10>", 329, static_cast<int>(ButtonPicture::kIndex));
  bbHelp_ = AddButton("bbHelp", "Help <F1>", 352, static_cast<int>(ButtonPicture::kHelp));

  pnOptions_ = new QFrame(this);
  pnOptions_->setObjectName(QStringLiteral("pnOptions"));
  pnOptions_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  pnOptions_->setGeometry(0, 24, 326, kPanelHeight);
  auto* searchAs = new QLabel(QStringLiteral("Search as:"), pnOptions_);
  QFont bold = searchAs->font();
  bold.setBold(true);
  searchAs->setFont(bold);
  searchAs->setGeometry(6, 3, 100, 16);
  cbSearchOptions_ = new QComboBox(pnOptions_);
  cbSearchOptions_->setObjectName(QStringLiteral("cbSearchOptions"));
  for (const char* item : kSearchModeItems) cbSearchOptions_->addItem(QString::fromUtf8(item));
  cbSearchOptions_->setCurrentText(QStringLiteral("Any Words"));
  cbSearchOptions_->setGeometry(6, 21, 100, 22);
  cbSubWord_ = new QCheckBox(QStringLiteral("Included"), pnOptions_);
  cbSubWord_->setObjectName(QStringLiteral("cbSubWord"));
  cbSubWord_->setGeometry(110, 4, 72, 20);
  cbShowSample_ = new QCheckBox(QStringLiteral("Show"), pnOptions_);
  cbShowSample_->setObjectName(QStringLiteral("cbShowSample"));
  cbShowSample_->setGeometry(110, 25, 72, 20);
  auto* dateLabel = new QLabel(QStringLiteral("Date Limits"), pnOptions_);
  dateLabel->setGeometry(183, 3, 140, 16);
  deDateLimits_ = new QLineEdit(pnOptions_);
  deDateLimits_->setObjectName(QStringLiteral("deDateLimits"));
  deDateLimits_->setGeometry(183, 21, 140, 22);

  pnPicture_ = new QFrame(this);
  pnPicture_->setObjectName(QStringLiteral("pnPicture"));
  pnPicture_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  pnPicture_->setGeometry(324, 24, 51, kPanelHeight);
  Image1_ = new QLabel(pnPicture_);
  Image1_->setObjectName(QStringLiteral("Image1"));
  Image1_->setPixmap(Emblem(48));
  Image1_->setGeometry(1, 1, 48, 48);
  Image1_->installEventFilter(this);

  // The options panel is hidden at start: the window loses the panel's height.
  pnOptions_->hide();
  setFixedHeight(kClientHeight - kPanelHeight);

  connect(bbFind_, &QToolButton::clicked, this,
          [this] { Guarded([this] { handlers_->bbFindClick(); }); });
  connect(bbNext_, &QToolButton::clicked, this,
          [this] { Guarded([this] { handlers_->bbNextClick(); }); });
  connect(bbShowMore_, &QToolButton::clicked, this,
          [this] { Guarded([this] { handlers_->bbShowMoreClick(); }); });
  connect(bbIndex_, &QToolButton::clicked, this,
          [this] { Guarded([this] { handlers_->bbIndexClick(); }); });
  connect(bbHelp_, &QToolButton::clicked, this,
          [this] { Guarded([this] { handlers_->bbHelpClick(); }); });
  connect(edSearchText_, &QComboBox::editTextChanged, this,
          [this] { Guarded([this] { handlers_->edSearchTextChange(); }); });
  connect(cbSearchOptions_, &QComboBox::currentTextChanged, this,
          [this] { Guarded([this] { handlers_->cbSearchOptionsChange(); }); });

  // The form sees every key first.
  qApp->installEventFilter(this);
  edSearchText_->setFocus();
}

TfmKivMain::~TfmKivMain() { qApp->removeEventFilter(this); }

QToolButton* TfmKivMain::AddButton(const char* name, const char* hint, int x, int picture) {
  auto* b = new QToolButton(this);
  b->setObjectName(QString::fromUtf8(name));
  b->setToolTip(QString::fromUtf8(hint));
  b->setAutoRaise(true);
  b->setIcon(ButtonIcon(static_cast<ButtonPicture>(picture)));
  b->setFocusPolicy(Qt::NoFocus);
  b->setGeometry(x, 1, 22, 22);
  return b;
}

// An exception must not leave a slot: one message, and the window carries on.
void TfmKivMain::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    dialogs_.Error(e.what());
  }
}

bool TfmKivMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick && watched == Image1_) {
    Image1DblClick();
    return true;
  }
  if (event->type() != QEvent::KeyPress) return false;
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget->window() != this) return false;
  // A key travels from the focus widget up to its parents; look at it once, at the start.
  QWidget* focus = QApplication::focusWidget();
  if (focus && focus->window() == this ? widget != focus : widget != this) return false;

  auto* key = static_cast<QKeyEvent*>(event);
  try {
    if (handlers_->FormKeyDown(VirtualKeyOf(*key), ModifiersOf(*key)).handled()) return true;
    const bool in_sample = widget == edSearchText_ || widget->parentWidget() == edSearchText_;
    const KeyModifiers m = ModifiersOf(*key);
    if (in_sample && VirtualKeyOf(*key) == kVkReturn && !m.ctrl && !m.alt) {
      return handlers_->edSearchTextKeyPress('\r');
    }
  } catch (const std::exception& e) {
    dialogs_.Error(e.what());
    return true;
  }
  return false;
}

bool TfmKivMain::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) handlers_->FormActivate();
  return QWidget::event(event);
}

void TfmKivMain::closeEvent(QCloseEvent* event) {
  if (!handlers_->FormClose()) {
    event->ignore();
    return;
  }
  event->accept();
  emit closed();
}

void TfmKivMain::BringToFront() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

void TfmKivMain::Image1DblClick() {
  auto* box = new TfmAbout(*handlers_, this);
  box->open();
}

void TfmKivMain::HotKeyPressed() {
  if (isVisible() && isActiveWindow()) {
    const int flags = handlers_->hot_key.modifier_flags;
    handlers_->FormKeyDown(
        handlers_->hot_key.code,
        KeyModifiers{(flags & kModShift) != 0, (flags & kModControl) != 0, (flags & kModAlt) != 0});
  } else {
    BringToFront();
  }
}

void TfmKivMain::SetCaption(const std::string& caption) {
  setWindowTitle(QString::fromStdString(caption));
}
bool TfmKivMain::OptionsPanelVisible() { return pnOptions_->isVisibleTo(this); }
void TfmKivMain::SetOptionsPanelVisible(bool visible) { pnOptions_->setVisible(visible); }
int TfmKivMain::OptionsPanelHeight() { return pnOptions_->height(); }
int TfmKivMain::WindowHeight() { return height(); }
void TfmKivMain::SetWindowHeight(int height) { setFixedHeight(height); }
void TfmKivMain::MoveWindowBy(int dx, int dy) { move(pos() + QPoint(dx, dy)); }
void TfmKivMain::HideWindow() { hide(); }
std::string TfmKivMain::SearchText() { return edSearchText_->currentText().toStdString(); }
void TfmKivMain::FocusSearchText() { edSearchText_->setFocus(); }

std::vector<std::string> TfmKivMain::History() {
  std::vector<std::string> items;
  for (int i = 0; i < edSearchText_->count(); ++i) {
    items.push_back(edSearchText_->itemText(i).toStdString());
  }
  return items;
}

void TfmKivMain::SetHistory(const std::vector<std::string>& items) {
  const QString text = edSearchText_->currentText();
  QSignalBlocker block(edSearchText_);
  edSearchText_->clear();
  for (const std::string& item : items) edSearchText_->addItem(QString::fromStdString(item));
  edSearchText_->setEditText(text);
}

bool TfmKivMain::SubWord() { return cbSubWord_->isChecked(); }
void TfmKivMain::SetSubWord(bool checked) { cbSubWord_->setChecked(checked); }
bool TfmKivMain::ShowSample() { return cbShowSample_->isChecked(); }
TSearchMode TfmKivMain::SearchMode() { return handlers_->search_mode; }
std::string TfmKivMain::ModeText() { return cbSearchOptions_->currentText().toStdString(); }
void TfmKivMain::SetModeText(const std::string& text) {
  cbSearchOptions_->setCurrentText(QString::fromStdString(text));
}

void TfmKivMain::LoadFormStatus() { LoadWindowStatus(*context_.settings, *this, false); }
void TfmKivMain::SaveFormStatus() { SaveWindowStatus(*context_.settings, *this); }

void TfmKivMain::SetFindEnabled(bool enabled) {
  bbFind_->setEnabled(enabled);
  bbNext_->setEnabled(enabled);
  edSearchText_->setEnabled(enabled);
}

void TfmKivMain::UpdateCaption() { handlers_->UpdateCaption(); }
void TfmKivMain::ShowHelp() { handlers_->bbHelpClick(); }
bool TfmKivMain::SearchBarVisible() { return isVisible(); }
void TfmKivMain::FocusSearchBar() {
  BringToFront();
  FocusSearchText();
}

}  // namespace vellumark
