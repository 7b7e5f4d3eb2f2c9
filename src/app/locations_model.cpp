#include "app/locations_model.h"

#include "store/database.h"
#include "store/query.h"
#include "store/records.h"

namespace vellumark {
namespace {

const char* const kTitles[] = {"Date", "Description", "URL", "Start Time", "End Time", "Indexed"};

}  // namespace

LocationsModel::LocationsModel(std::string root_folder, QObject* parent)
    : QAbstractTableModel(parent), root_folder_(std::move(root_folder)) {}

void LocationsModel::Reload() {
  std::vector<Row> rows;
  try {
    TDatabase db(kTasksFileName);
    db.Connect(root_folder_);
    TQuery q(db);
    q.SetSQL("SELECT * FROM Tasks ORDER BY Task_No");
    TTaskFields task(q);
    auto text = [](TField& field) { return QString::fromStdString(field.AsString()); };
    for (q.Open(); !q.Eof(); q.Next()) {
      Row r;
      r.task_no = static_cast<int>(task.TaskNo().AsInteger());
      r.date = text(task.Date());
      r.description = text(task.TaskDescription());
      r.url = text(task.TaskURL());
      r.start = text(task.TimeStart());
      r.end = text(task.TimeEnd());
      r.files = text(task.Files());
      rows.push_back(std::move(r));
    }
  } catch (const std::exception& e) {
    qWarning("Cannot read the locations: %s", e.what());
  }
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
}

int LocationsModel::RowOf(int task_no) const {
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].task_no == task_no) return static_cast<int>(i);
  }
  return -1;
}

int LocationsModel::TaskNoAt(int row) const {
  return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[row].task_no : -1;
}

int LocationsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int LocationsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 6;
}

QVariant LocationsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const Row& r = rows_[index.row()];
  // The grid elides long descriptions and URLs; the tool tip holds the whole text.
  if (role == Qt::ToolTipRole) {
    if (index.column() == 1) return r.description;
    if (index.column() == 2) return r.url;
    return {};
  }
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case 0:
      return r.date;
    case 1:
      return r.description;
    case 2:
      return r.url;
    case 3:
      return r.start;
    case 4:
      return r.end;
    case 5:
      return r.files;
    default:
      return {};
  }
}

QVariant LocationsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal && section >= 0 && section < 6) {
    return QString::fromUtf8(kTitles[section]);
  }
  return {};
}

}  // namespace vellumark
