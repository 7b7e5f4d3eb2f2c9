#include "app/search_bar_window.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>
#include <algorithm>

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
  move(kDesignLeft, 0);

  bbFind_ = AddButton("bbFind", "Find <Enter>", 0, static_cast<int>(ButtonPicture::kFind));
  edSearchText_ = new QComboBox(this);
  edSearchText_->setObjectName(QStringLiteral("edSearchText"));
  edSearchText_->setEditable(true);
  edSearchText_->setInsertPolicy(QComboBox::NoInsert);
  edSearchText_->setToolTip(QStringLiteral("Enter find sample"));
  edSearchText_->setGeometry(24, 1, 258, 22);
  // The history is offered in a pop-up under the box, never as inline text that Enter would
  // take: Enter searches what was typed, or the entry the user picked in the pop-up.
  auto* completer = new QCompleter(edSearchText_->model(), edSearchText_);
  completer->setCompletionMode(QCompleter::PopupCompletion);
  completer->setCaseSensitivity(Qt::CaseInsensitive);
  edSearchText_->setCompleter(completer);
  bbNext_ = AddButton("bbNext", "Scroll to next <F3>", 284, static_cast<int>(ButtonPicture::kNext));
  bbShowMore_ =
      AddButton("bbShowMore", "Show more <F2>", 307, static_cast<int>(ButtonPicture::kShowMore));
  bbIndex_ =
      AddButton("bbIndex", "Index and Options <F10>", 329, static_cast<int>(ButtonPicture::kIndex));
  bbHelp_ = AddButton("bbHelp", "Help <F1>", 352, static_cast<int>(ButtonPicture::kHelp));
  // Help's menu (held down, or the right button) also reaches the about box.
  auto* helpMenu = new QMenu(bbHelp_);
  helpMenu->setObjectName(QStringLiteral("HelpMenu"));
  helpMenu->addAction(QStringLiteral("Help\tF1"), this,
                      [this] { Guarded([this] { handlers_->bbHelpClick(); }); });
  helpMenu->addAction(QStringLiteral("About Vellumark\tShift+F1"), this, [this] { ShowAbout(); });
  bbHelp_->setMenu(helpMenu);
  bbHelp_->setPopupMode(QToolButton::DelayedPopup);
  bbHelp_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(bbHelp_, &QToolButton::customContextMenuRequested, this,
          [this, helpMenu](const QPoint& at) { helpMenu->popup(bbHelp_->mapToGlobal(at)); });

  pnOptions_ = new QFrame(this);
  pnOptions_->setObjectName(QStringLiteral("pnOptions"));
  pnOptions_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  pnOptions_->setGeometry(0, 24, 326, kPanelHeight);
  auto* searchAs = new QLabel(QStringLiteral("Search as:"), pnOptions_);
  QFont bold = searchAs->font();
  bold.setBold(true);
  searchAs->setFont(bold);
  cbSearchOptions_ = new QComboBox(pnOptions_);
  cbSearchOptions_->setObjectName(QStringLiteral("cbSearchOptions"));
  for (const char* item : kSearchModeItems) cbSearchOptions_->addItem(QString::fromUtf8(item));
  cbSearchOptions_->setCurrentText(QStringLiteral("Any Words"));
  cbSubWord_ = new QCheckBox(QStringLiteral("Included"), pnOptions_);
  cbSubWord_->setObjectName(QStringLiteral("cbSubWord"));
  cbShowSample_ = new QCheckBox(QStringLiteral("Show"), pnOptions_);
  cbShowSample_->setObjectName(QStringLiteral("cbShowSample"));
  auto* dateLabel = new QLabel(QStringLiteral("Date Limits"), pnOptions_);
  deDateLimits_ = new QLineEdit(pnOptions_);
  deDateLimits_->setObjectName(QStringLiteral("deDateLimits"));
  // Two rows of three columns, sized by their texts at the platform's font: the labels; the
  // mode combo (wide enough for "Exact Phrase") over the 140-pixel date edit; the two check
  // boxes. Side by side in one row they would not fit the panel's 326 pixels.
  constexpr int kMargin = 6, kGap = 4, kRowHeight = 22, kRow1 = 3, kRow2 = 26;
  const int label_width = std::max(searchAs->sizeHint().width(), dateLabel->sizeHint().width());
  const int column2 = kMargin + label_width + kGap;
  const int combo_width = std::max(cbSearchOptions_->sizeHint().width(), 100);
  const int column3 = column2 + std::max(combo_width, kDateLimitsWidth) + kGap + 2;
  const int check_width = pnOptions_->width() - 3 - column3;
  searchAs->setGeometry(kMargin, kRow1, label_width, kRowHeight);
  dateLabel->setGeometry(kMargin, kRow2, label_width, kRowHeight);
  cbSearchOptions_->setGeometry(column2, kRow1, combo_width, kRowHeight);
  deDateLimits_->setGeometry(column2, kRow2, kDateLimitsWidth, kRowHeight);
  cbSubWord_->setGeometry(column3, kRow1, check_width, kRowHeight);
  cbShowSample_->setGeometry(column3, kRow2, check_width, kRowHeight);

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
  // Enter while the history pop-up is open searches the box's text: what was typed, or the
  // entry picked in the pop-up (which the box shows once it is highlighted).
  QAbstractItemView* popup = edSearchText_->completer()->popup();
  if (watched == popup) {
    auto* key = static_cast<QKeyEvent*>(event);
    const KeyModifiers m = ModifiersOf(*key);
    if (VirtualKeyOf(*key) != kVkReturn || m.ctrl || m.alt) return false;
    popup->hide();
    Guarded([this] { handlers_->edSearchTextKeyPress('\r'); });
    return true;
  }
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

void TfmKivMain::Image1DblClick() { ShowAbout(); }

void TfmKivMain::ShowAbout() {
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

// Without a saved placement the bar takes its design place, counted from the top left of the
// screen's available area (below a desktop panel, say).
void TfmKivMain::LoadFormStatus() {
  if (LoadWindowStatus(*context_.settings, *this, false)) return;
  const ScreenRect area = AvailableAreaOf(*this);
  move(area.left + kDesignLeft, area.top);
}
void TfmKivMain::SaveFormStatus() { SaveWindowStatus(*context_.settings, *this); }

void TfmKivMain::SetFindEnabled(bool enabled) {
  bbFind_->setEnabled(enabled);
  bbNext_->setEnabled(enabled);
  edSearchText_->setEnabled(enabled);
}

void TfmKivMain::UpdateCaption() { handlers_->UpdateCaption(); }
void TfmKivMain::SetIndexing(bool running) { handlers_->SetIndexing(running); }

ScreenRect TfmKivMain::BarArea() {
  QRect frame = WindowFrame(*this);
  if (!OptionsPanelVisible()) frame.setHeight(frame.height() + kPanelHeight);
  return ScreenRectOf(frame);
}
void TfmKivMain::ShowHelp() { handlers_->bbHelpClick(); }
bool TfmKivMain::SearchBarVisible() { return isVisible(); }
void TfmKivMain::FocusSearchBar() {
  BringToFront();
  FocusSearchText();
}

}  // namespace vellumark
