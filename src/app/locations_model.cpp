#include "app/locations_model.h"

#include "store/database.h"
#include "store/query.h"

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
    q.SetSQL(
        "SELECT Task_No, Date, Task_Description, Task_URL, Time_Start, Time_End, Files "
        "FROM Tasks ORDER BY Task_No");
    for (q.Open(); !q.Eof(); q.Next()) {
      Row r;
      r.task_no = static_cast<int>(q.Fields(0).AsInteger());
      QString* texts[] = {&r.date, &r.description, &r.url, &r.start, &r.end, &r.files};
      for (int i = 0; i < 6; ++i) *texts[i] = QString::fromStdString(q.Fields(i + 1).AsString());
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
  if (!index.isValid() || role != Qt::DisplayRole) return {};
  const Row& r = rows_[index.row()];
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
