// Typed access to the fields of Tasks, Files and the word tables: one accessor per column,
// by the column's position in the table definition (store/schema.h). A record view works on
// the current record of any data set over that table: the table itself, or a query that
// selects all its columns ("SELECT * FROM Files ...").
//
// A view holds a reference to the data set, which must outlive it; it is cheap to make where
// it is used.
#pragma once

#include <string>

#include "store/field.h"
#include "store/schema.h"

namespace vellumark {

// A location's record in Tasks.
class TTaskFields final {
 public:
  explicit TTaskFields(TDataSet& set) : set_(set) {}

  TField& TaskNo() { return set_.Fields(kTaskNoColumn); }
  TField& TaskURL() { return set_.Fields(kTaskURLColumn); }
  TField& TaskDescription() { return set_.Fields(kTaskDescriptionColumn); }
  TField& Date() { return set_.Fields(kDateColumn); }
  TField& TimeStart() { return set_.Fields(kTimeStartColumn); }
  TField& TimeEnd() { return set_.Fields(kTimeEndColumn); }
  TField& Files() { return set_.Fields(kTaskFilesColumn); }  // pages indexed
  TField& SearchDelimiters() { return set_.Fields(kSearchDelimitersColumn); }

 private:
  TDataSet& set_;
};

// A page's record in Files.
class TFileFields final {
 public:
  explicit TFileFields(TDataSet& set) : set_(set) {}

  TField& FileNo() { return set_.Fields(kFileNoColumn); }
  TField& F1() { return set_.Fields(kF1Column); }
  TField& FileURLRest() { return set_.Fields(kFileURLRestColumn); }
  TField& FileState() { return set_.Fields(kFileStateColumn); }
  TField& FileHeader() { return set_.Fields(kFileHeaderColumn); }
  TField& FileTitle() { return set_.Fields(kFileTitleColumn); }
  TField& FileText() { return set_.Fields(kFileTextColumn); }

  // The page's address relative to the base address: F1 and File_URLRest joined.
  std::string Address() { return F1().AsString() + FileURLRest().AsString(); }

 private:
  TDataSet& set_;
};

// A word's record in Words1, Words2 or Words3.
class TWordFields final {
 public:
  explicit TWordFields(TDataSet& set) : set_(set) {}

  TField& Word() { return set_.Fields(kWordColumn); }
  TField& PageList() { return set_.Fields(kPageListColumn); }  // the "Files" blob

 private:
  TDataSet& set_;
};

}  // namespace vellumark
