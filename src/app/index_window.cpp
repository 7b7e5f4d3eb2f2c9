#include "app/index_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <algorithm>

#include "app/locations_model.h"
#include "app/placement.h"
#include "app/qt_keys.h"
#include "shell/index_keys.h"
#include "store/data_module.h"

namespace vellumark {
namespace {

class MiddleElidingDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = Qt::ElideMiddle;
  }
};

}  // namespace

// The archive handlers' view over the window: its status line and progress bar, and the
// cancel flag that the window's Esc key sets while the bar is visible.
class TfmKivIndex::ArchiveView final : public TArchiveView {
 public:
  explicit ArchiveView(TfmKivIndex& window) : window_(window) {}

  void ShowStatus(const std::string& text) override { window_.ShowStatus(text); }
  void SetProgress(int position) override {
    progress_ = position;
    window_.SetProgress(position);
  }
  int Progress() const override { return progress_; }
  void SetProgressVisible(bool visible) override { window_.SetProgressVisible(visible); }
  bool ProgressVisible() const override { return window_.ProgressVisible(); }
  bool CancelFlag() const override { return window_.archive_cancel; }
  void SetCancelFlag(bool cancel) override { window_.archive_cancel = cancel; }

 private:
  TfmKivIndex& window_;
  int progress_ = 0;
};

TfmKivIndex::TfmKivIndex(ProgramContext& context, TPIniFile& settings, Dialogs& dialogs,
                         EventPump& pump, TdmKiv& data, SearchBarControl& search_bar,
                         Browser* browser, THttpClient* http, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      context_(context),
      settings_(settings),
      dialogs_(dialogs),
      pump_(pump),
      data_(data),
      search_bar_(search_bar),
      location_dialog_(browser, dialogs, this),
      commands_(data, dialogs, [this] { search_bar_.UpdateCaption(); }) {
  setWindowTitle(QStringLiteral("Vellumark Index"));
  setFixedSize(568, 360);
  constexpr int kStatusHeight = 22;

  IEPageControl_ = new QTabWidget(this);
  IEPageControl_->setObjectName(QStringLiteral("IEPageControl"));
  IEPageControl_->setGeometry(0, 0, 568, 360 - kStatusHeight);
  auto* tsIndex = new QWidget;
  tsIndex->setObjectName(QStringLiteral("tsIndex"));
  IEPageControl_->addTab(tsIndex, QStringLiteral("Location"));

  model_ = new LocationsModel(context.db_root_folder, this);
  DBGridTasks_ = new QTableView(tsIndex);
  DBGridTasks_->setObjectName(QStringLiteral("DBGridTasks"));
  DBGridTasks_->setModel(model_);
  DBGridTasks_->setSelectionBehavior(QAbstractItemView::SelectRows);
  DBGridTasks_->setSelectionMode(QAbstractItemView::SingleSelection);
  DBGridTasks_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DBGridTasks_->verticalHeader()->hide();
  DBGridTasks_->verticalHeader()->setDefaultSectionSize(20);
  DBGridTasks_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  DBGridTasks_->horizontalHeader()->setHighlightSections(false);
  DBGridTasks_->setGeometry(4, 4, 458, 270);
  // Long descriptions lose their end; long URLs their middle, keeping the host and the page.
  DBGridTasks_->setTextElideMode(Qt::ElideRight);
  DBGridTasks_->setItemDelegateForColumn(2, new MiddleElidingDelegate(DBGridTasks_));
  DBGridTasks_->setWordWrap(false);
  connect(DBGridTasks_->horizontalHeader(), &QHeaderView::sectionResized, this, [this] {
    if (!fitting_columns_) columns_sized_by_user_ = true;
  });
  // A selection that stays visible when the grid loses the focus.
  DBGridTasks_->setStyleSheet(
      QStringLiteral("QTableView::item:selected:!active { background: palette(highlight);"
                     " color: palette(highlighted-text); }"));

  (new QLabel(QStringLiteral("Progress"), tsIndex))->setGeometry(8, 284, 60, 16);
  lbIndexed_ = new QLabel(QStringLiteral("0"), tsIndex);
  lbIndexed_->setObjectName(QStringLiteral("lbIndexed"));
  lbIndexed_->setAlignment(Qt::AlignCenter);
  lbIndexed_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  lbIndexed_->setGeometry(66, 282, 70, 20);
  (new QLabel(QStringLiteral("On line"), tsIndex))->setGeometry(150, 284, 50, 16);
  lbToIndex_ = new QLabel(QStringLiteral("0"), tsIndex);
  lbToIndex_->setObjectName(QStringLiteral("lbToIndex"));
  lbToIndex_->setAlignment(Qt::AlignCenter);
  lbToIndex_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  lbToIndex_->setGeometry(200, 282, 70, 20);
  bbStop_ = new QPushButton(QStringLiteral("Stop"), tsIndex);
  bbStop_->setObjectName(QStringLiteral("bbStop"));
  bbStop_->setGeometry(474, 278, 80, 26);

  pnButtons_ = new QWidget(tsIndex);
  pnButtons_->setObjectName(QStringLiteral("pnButtons"));
  pnButtons_->setGeometry(466, 0, 96, 274);
  QPushButton* close = AddButton("bbClose", "Close", 4);
  QPushButton* add = AddButton("bbNew", "New   ", 36);
  QPushButton* remove = AddButton("bbDelete", "Delete", 68);
  QPushButton* edit = AddButton("bbEdit", "Edit", 100);
  bbImport_ = AddButton("bbImport", "Import", 132);
  bbExport_ = AddButton("bbExport", "Export", 164);
  QPushButton* options = AddButton("bbOptions", "Options", 196);
  bbIndex_ = AddButton("bbIndex", "Index", 240);
  bbIndex_->setEnabled(false);
  bbImport_->setEnabled(false);
  bbExport_->setEnabled(false);

  IndexStatusBar_ = new QStatusBar(this);
  IndexStatusBar_->setObjectName(QStringLiteral("IndexStatusBar"));
  IndexStatusBar_->setSizeGripEnabled(false);
  IndexStatusBar_->setGeometry(0, 360 - kStatusHeight, 568, kStatusHeight);
  ProgressBar_ = new QProgressBar;
  ProgressBar_->setObjectName(QStringLiteral("ProgressBar"));
  ProgressBar_->setRange(0, 100);
  ProgressBar_->setFixedWidth(180);
  ProgressBar_->setMaximumHeight(16);
  IndexStatusBar_->addPermanentWidget(ProgressBar_);
  ProgressBar_->hide();
  lbRunNote_ = new QLabel(QString::fromUtf8(kRunActiveNote));
  lbRunNote_->setObjectName(QStringLiteral("lbRunNote"));
  QFont bold = lbRunNote_->font();
  bold.setBold(true);
  lbRunNote_->setFont(bold);
  lbRunNote_->setContentsMargins(4, 0, 6, 0);
  IndexStatusBar_->addPermanentWidget(lbRunNote_);
  lbRunNote_->hide();

  connect(close, &QPushButton::clicked, this, [this] { this->close(); });
  connect(add, &QPushButton::clicked, this,
          [this] { RunCommand([this] { commands_.bbNewClick(location_dialog_); }); });
  connect(edit, &QPushButton::clicked, this,
          [this] { RunCommand([this] { commands_.bbEditClick(location_dialog_); }); });
  connect(remove, &QPushButton::clicked, this,
          [this] { RunCommand([this] { commands_.bbDeleteClick(); }); });
  connect(options, &QPushButton::clicked, this, [this] {
    if (options_) RunCommand([this] { options_->exec(); });
  });
  connect(bbIndex_, &QPushButton::clicked, this, [this] { RunCommand(index_); });
  connect(bbImport_, &QPushButton::clicked, this, [this] { RunCommand(import_); });
  connect(bbExport_, &QPushButton::clicked, this, [this] { RunCommand(export_); });
  connect(bbStop_, &QPushButton::clicked, this, [this] {
    if (indexer_) indexer_->bbStopClick();
  });
  connect(DBGridTasks_, &QTableView::doubleClicked, this, [this] { this->close(); });
  connect(DBGridTasks_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& now) { GridRowChosen(now.row()); });

  // FormCreate: status cleared, hidden, the run's objects, placement restored, first tab. The
  // remembered URL and description start empty with the commands.
  ShowStatus("");
  if (browser && http) {
    // Find is disabled while a run is active. The grid shows the run's date and start time from
    // its start, and its end time and page count at its end.
    indexer_ = std::make_unique<TIndexer>(context_, data_, dialogs_, *browser, *http, *this,
                                          [this](bool enabled) { RunStateChanged(!enabled); });
    SetIndexCommand([this] { indexer_->bbGoClick(); });
  }
  archive_view_ = std::make_unique<ArchiveView>(*this);
  archive_ = std::make_unique<TIndexArchive>(context_, data_, dialogs_, pump_, *archive_view_,
                                             [this] { search_bar_.UpdateCaption(); });
  SetExportCommand([this] { archive_->bbExportClick(); });
  // The imported location is the current one now: the grid shows and selects it.
  SetImportCommand([this] {
    archive_->bbImportClick();
    RefreshLocations();
  });
  setObjectName(QStringLiteral("IndexForm"));
  // Without a saved placement the window opens below the search bar, not under it.
  if (!LoadWindowStatus(settings_, *this, false)) {
    PlaceWindowBelowBar(*this, search_bar_.BarArea(), false);
  }
  IEPageControl_->setCurrentIndex(0);
  for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
  RefreshLocations();
  hide();
}

TfmKivIndex::~TfmKivIndex() {
  try {
    SaveWindowStatus(settings_, *this);
  } catch (const std::exception& e) {
    qWarning("Cannot save the index window's placement: %s", e.what());
  }
}

QPushButton* TfmKivIndex::AddButton(const char* name, const char* caption, int y) {
  auto* b = new QPushButton(QString::fromUtf8(caption), pnButtons_);
  b->setObjectName(QString::fromUtf8(name));
  b->setGeometry(8, y, 80, 26);
  return b;
}

void TfmKivIndex::SetIndexCommand(std::function<void()> command) {
  index_ = std::move(command);
  bbIndex_->setEnabled(static_cast<bool>(index_));
}
void TfmKivIndex::SetImportCommand(std::function<void()> command) {
  import_ = std::move(command);
  bbImport_->setEnabled(static_cast<bool>(import_));
}
void TfmKivIndex::SetExportCommand(std::function<void()> command) {
  export_ = std::move(command);
  bbExport_->setEnabled(static_cast<bool>(export_));
}

// One message for anything a command raises; a refused move (silent abort) shows nothing.
// While an export or import runs (its progress bar is visible) the buttons do nothing: the
// run pumps events, and another command would change the locations under it.
void TfmKivIndex::RunCommand(const std::function<void()>& command) {
  if (!command || ProgressVisible()) return;
  try {
    command();
  } catch (const ESilentAbort&) {
  } catch (const std::exception& e) {
    dialogs_.Error(e.what());
  }
  RefreshLocations();
}

void TfmKivIndex::RefreshLocations() {
  model_->Reload();
  FitColumns();
  SelectCurrent();
}

// The dates, times and counts take the width of their texts, their headers' included, so that
// they show whole. The description and the URL share the rest of the grid (each at most its
// design width; the description leaves the URL what it does not need), elided, with the whole
// text as the cell's tool tip. Widths the user has set by hand stay.
void TfmKivIndex::FitColumns() {
  if (columns_sized_by_user_) return;
  constexpr int kDescriptionWidth = 188, kUrlWidth = 293, kIndexedWidth = 45;
  fitting_columns_ = true;
  for (int column : {0, 3, 4, 5}) DBGridTasks_->resizeColumnToContents(column);
  DBGridTasks_->setColumnWidth(5, std::max(DBGridTasks_->columnWidth(5), kIndexedWidth));
  // The grid's inner width, less the vertical scroll bar when the rows need one.
  int rest = DBGridTasks_->width() - 2 * DBGridTasks_->frameWidth();
  const int rows_height = DBGridTasks_->horizontalHeader()->sizeHint().height() +
                          model_->rowCount() * DBGridTasks_->verticalHeader()->defaultSectionSize();
  if (rows_height > DBGridTasks_->height() - 2 * DBGridTasks_->frameWidth()) {
    rest -= DBGridTasks_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  }
  for (int column : {0, 3, 4, 5}) rest -= DBGridTasks_->columnWidth(column);
  DBGridTasks_->resizeColumnToContents(1);
  const int description =
      std::max(0, std::min({DBGridTasks_->columnWidth(1), kDescriptionWidth, rest / 2}));
  DBGridTasks_->setColumnWidth(1, description);
  DBGridTasks_->setColumnWidth(2, std::clamp(rest - description, 0, kUrlWidth));
  fitting_columns_ = false;
}

void TfmKivIndex::RunStateChanged(bool running) {
  search_bar_.SetIndexing(running);
  if (!running) lbRunNote_->hide();
  RefreshLocations();
}

void TfmKivIndex::ShowCloseRefused() { lbRunNote_->show(); }

void TfmKivIndex::SelectCurrent() {
  const int row = model_->RowOf(data_.CurrentTaskNo());
  selecting_ = true;
  if (row >= 0) {
    DBGridTasks_->selectRow(row);
    DBGridTasks_->setCurrentIndex(model_->index(row, 0));
  } else {
    DBGridTasks_->clearSelection();
  }
  selecting_ = false;
}

// The user chose a row: it becomes the current location, unless a run refuses the move.
// While an export or import runs the current location stays where it is.
void TfmKivIndex::GridRowChosen(int row) {
  if (selecting_ || row < 0) return;
  const int task_no = model_->TaskNoAt(row);
  if (task_no == data_.CurrentTaskNo()) return;
  if (ProgressVisible()) {
    QMetaObject::invokeMethod(
        this, [this] { SelectCurrent(); }, Qt::QueuedConnection);
    return;
  }
  try {
    data_.tbTasks.FindKey({std::to_string(task_no)});
  } catch (const ESilentAbort&) {
  } catch (const std::exception& e) {
    dialogs_.Error(e.what());
  }
  if (data_.CurrentTaskNo() != task_no)
    QMetaObject::invokeMethod(
        this, [this] { SelectCurrent(); }, Qt::QueuedConnection);
}

void TfmKivIndex::ShowStatus(const std::string& text) {
  const QString q = QString::fromStdString(text);
  if (IndexStatusBar_->currentMessage() != q) {
    if (q.isEmpty())
      IndexStatusBar_->clearMessage();
    else
      IndexStatusBar_->showMessage(q);
  }
  pump_.ProcessEvents();
}

void TfmKivIndex::SetCounters(int indexed, int queued) {
  lbIndexed_->setText(QString::number(indexed));
  lbToIndex_->setText(QString::number(queued));
}
void TfmKivIndex::SetButtonPanelVisible(bool visible) { pnButtons_->setVisible(visible); }
bool TfmKivIndex::ProgressVisible() { return ProgressBar_->isVisibleTo(this); }
void TfmKivIndex::SetProgressVisible(bool visible) { ProgressBar_->setVisible(visible); }
void TfmKivIndex::SetProgress(int percent) { ProgressBar_->setValue(percent); }

void TfmKivIndex::ShowIndexWindow() {
  show();
  raise();
  activateWindow();
}
void TfmKivIndex::HideIndexWindow() { hide(); }
bool TfmKivIndex::CheckStop() { return indexer_ && indexer_->CheckStop(); }

bool TfmKivIndex::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return false;
  QWidget* focus = QApplication::focusWidget();
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || (focus && focus->window() == this ? widget != focus : widget != this)) {
    return false;
  }
  auto* key = static_cast<QKeyEvent*>(event);
  IndexKeyAction action = IndexWindowKeyDown(VirtualKeyOf(*key), ModifiersOf(*key),
                                             ProgressVisible(), search_bar_.SearchBarVisible());
  bool swallowed = true;
  switch (action) {
    case IndexKeyAction::kCancelArchive:
      archive_cancel = true;
      break;
    case IndexKeyAction::kClose:
      close();
      break;
    case IndexKeyAction::kHelp:
      search_bar_.ShowHelp();
      break;
    case IndexKeyAction::kFocusSearchBar:
      search_bar_.FocusSearchBar();
      break;
    case IndexKeyAction::kNone:
      swallowed = false;
      break;
  }
  // Every key press clears the status line.
  IndexStatusBar_->clearMessage();
  return swallowed;
}

void TfmKivIndex::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  RefreshLocations();
  DBGridTasks_->setFocus();
}

void TfmKivIndex::closeEvent(QCloseEvent* event) {
  const bool may_close = indexer_ ? indexer_->CanClose() : context_.indexing_state <= kIndexingIdle;
  if (!may_close) {
    ShowCloseRefused();
    event->ignore();
    return;
  }
  event->accept();  // closing hides the window; it lives until the program ends
}

}  // namespace vellumark
