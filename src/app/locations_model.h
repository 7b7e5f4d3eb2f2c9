// The location grid's model: the rows of Tasks in table order, read through a connection of
// its own so that reading never moves the current location. Columns: Date, Description, URL,
// Start Time, End Time, Indexed. The description and the URL are also their cells' tool tips.
#pragma once

#include <QAbstractTableModel>
#include <string>
#include <vector>

namespace vellumark {

class LocationsModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  struct Row {
    int task_no = 0;
    QString date, description, url, start, end, files;
  };

  // `root_folder` holds Tasks.db.
  explicit LocationsModel(std::string root_folder, QObject* parent = nullptr);

  // Reads the rows again. A table that cannot be read leaves the grid empty.
  void Reload();
  // The row of a location, -1 when it is not shown.
  int RowOf(int task_no) const;
  int TaskNoAt(int row) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  std::string root_folder_;
  std::vector<Row> rows_;
};

}  // namespace vellumark
