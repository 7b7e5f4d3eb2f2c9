// The data module: owns the database connections, every table and the query of the index
// store.
//
//   root folder/Tasks.db   tbTasks (one record per location), own connection
//   root folder/Index.db   the empty template copied into every new location folder
//   location folder        dbKiv: tbFiles, tbWords1..3 and quQuery, switched by OpenLocation
//
// The search keeps its scores in memory while it runs; the store has no scratch tables.
//
// Creating the data module opens Tasks from the context's root folder. On first start, when
// the root folder holds neither Tasks.db nor the template, both are created. When Tasks cannot
// be opened its message is shown through `dialogs` and the application is asked to terminate
// (TerminateRequested).
//
// The context and the dialogs must outlive the data module. The HTTP client is not the data
// module's: the store lies below the network layer, so the program shell owns the client
// (shell/program_shell.h) and hands it to the data module's users, the indexing run.
#pragma once

#include <functional>
#include <string>

#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "platform/view.h"
#include "store/database.h"
#include "store/query.h"
#include "store/table.h"
#include "util/context.h"

namespace vellumark {

class TdmKiv final {
 public:
  // Runs dmKivCreate. `update_caption` is the search bar's UpdateCaption, called by
  // tbTasksAfterScroll (may be empty until the search bar exists; see SetUpdateCaption).
  TdmKiv(ProgramContext& context, Dialogs& dialogs, std::function<void()> update_caption = {});
  ~TdmKiv();
  TdmKiv(const TdmKiv&) = delete;
  TdmKiv& operator=(const TdmKiv&) = delete;

  // True when Tasks could not be opened at creation: the message was shown and the program
  // must end.
  bool TerminateRequested() const { return terminate_requested_; }
  void SetUpdateCaption(std::function<void()> update_caption);

  // Switches dbKiv to `folder` (ending with "/"), writes the postings a killed run left
  // pending into the word lists, and opens every table. A failed connection shows "Cannot
  // connect to Database"; damaged pending rows or a table that cannot be opened give false
  // silently. So whoever opens a location reads complete page lists, except while the postings
  // cannot be written now: a run holds the location's run mark (store/run_mark.h), another
  // program holds the write lock, the disk is full. The location is then read as it is and the
  // postings stay pending for a later open. When dbKiv is on that folder's file already (and in
  // no transaction) the connection stays and only the tables are closed and opened again.
  bool OpenLocation(const std::string& folder);
  // Writes the postings recorded since the last merge into the word lists (an indexing run
  // does this when it ends), showing progress on `status` (may be null). Raises
  // EDatabaseError; what was not written stays pending for the next open.
  void MergePendingWords(StatusView* status);
  // Opens every table that is not open, in creation order; false at the first failure.
  bool OpenAllTables();
  // Makes `folder` a location folder: creates it when missing (one level) and copies the
  // template Index.db into it, replacing an existing one (with its WAL files); other files
  // stay. Disconnects dbKiv first when it is on that folder. False on any failure.
  bool CreateLocationTables(const std::string& folder);
  // Removes the folder of location `task_no` with everything in it, only when task_no > 0 and
  // the folder exists (true when nothing had to be removed). Disconnects dbKiv from it first.
  // A folder that is a link to a folder elsewhere loses the link only; what it names stays.
  bool RemoveLocationFolder(int task_no, FileSystem& file_system = LocalFileSystem());

  // Root folder + Task_No in decimal + "/".
  std::string LocationFolder(int task_no) const;
  // Task_No of the current Tasks record, -1 when Tasks is empty.
  int CurrentTaskNo();
  // "" when Tasks is empty; else Task_Description, or Task_URL when that is empty.
  std::string CurrentTaskName();
  // The word table of number 1, 2 or 3.
  TTable& WordTable(int number);

  // The event handlers of tbTasks (installed as its hooks; public for the tests).
  bool tbTasksBeforeScroll();
  void tbTasksAfterScroll();

  ProgramContext& Context() { return context_; }
  // The database of Tasks. A second TTable on it reads other locations' records without
  // moving tbTasks (which a run refuses).
  TDatabase& RootDatabase() { return dbRoot_; }

 private:
  void dmKivCreate();
  bool OpenRootTable(TTable& table, const char* message);
  // OpenLocation's merge of the postings left pending in `folder`, when it can run now. False
  // when the pending rows are damaged.
  bool MergeLeftPostings(const std::string& folder);

  ProgramContext& context_;
  Dialogs& dialogs_;
  std::function<void()> update_caption_;
  bool terminate_requested_ = false;

  TDatabase dbRoot_;  // Tasks.db in the root folder

 public:
  TDatabase dbKiv;  // the current location's Index.db
  TTable tbTasks;
  TTable tbFiles;
  TQuery quQuery;
  TTable tbWords1;
  TTable tbWords2;
  TTable tbWords3;
};

}  // namespace vellumark
