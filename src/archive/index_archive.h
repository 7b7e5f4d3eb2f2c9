// Export and import of one location's index as an archive file (".kvx"): the index window's
// "Export" and "Import" buttons. Both run on the user-interface thread, report progress in
// the window's progress bar and status line, pump events every so many records and stop when
// the cancel flag (the Esc key) is set.
//
// An archive is the head of archive_header.h followed by the index stream of index_stream.h,
// compressed with LH5. The index stream is built in, and on import restored to, the
// temporary file "~kiv1.tmp" in the program folder, which each run deletes again.
//
// Export writes the archive beside the target under a temporary name and renames it over the
// target only when everything succeeded, so a failed or cancelled export leaves an existing
// file as it was. Import is all or nothing: when it fails after the new Tasks row was posted,
// it deletes that row and removes the new location folder again.
//
// Every object passed to the constructor must outlive the TIndexArchive.
#pragma once

#include <functional>
#include <string>

#include "archive/archive_view.h"
#include "archive/byte_stream.h"
#include "platform/dialogs.h"
#include "platform/event_pump.h"
#include "store/data_module.h"
#include "util/context.h"

namespace vellumark {

inline constexpr const char* kArchiveTempFileName = "~kiv1.tmp";
inline constexpr const char* kArchiveExtension = ".kvx";

// The file name the export writes for a chosen name: its extension replaced by ".kvx", or
// ".kvx" appended when it has none.
std::string ArchiveFileName(const std::string& chosen);

class TIndexArchive final {
 public:
  // `update_caption` is the search bar's UpdateCaption (may be empty).
  TIndexArchive(ProgramContext& context, TdmKiv& dm, Dialogs& dialogs, EventPump& pump,
                TArchiveView& view, std::function<void()> update_caption = {});
  TIndexArchive(const TIndexArchive&) = delete;
  TIndexArchive& operator=(const TIndexArchive&) = delete;

  // Exports the current location to the file the save dialog names. True when the archive
  // was written.
  bool bbExportClick();
  // Imports the archive the open dialog names as a new location, which becomes the current
  // one. True when it was imported; ImportedTaskNo() then gives its Task_No.
  bool bbImportClick();

  int ImportedTaskNo() const { return imported_task_no_; }
  // program folder + "~kiv1.tmp".
  std::string TempFilePath() const;

 private:
  class Rhythm;
  bool WriteIndexStream(TByteSink& sink);
  bool ReadIndexStream(TByteSource& source);
  // Deletes the Tasks row of a failed import and its location folder (only the table file
  // when the folder was there before), and goes back to the location that was current.
  void RemoveImportedLocation(int task_no, bool folder_existed, int previous_task_no);
  void StartProgress(const char* status);
  void EndProgress();
  bool Cancelled() const { return view_.CancelFlag(); }
  void AdvanceProgress();
  void RestoreCurrentDirectory();
  // The compressor's progress handler: pumps events as the percentage moves and aborts the
  // coder run when the cancel flag is set.
  void CoderProgress(int& percent, int& last_percent);

  ProgramContext& context_;
  TdmKiv& dm_;
  Dialogs& dialogs_;
  EventPump& pump_;
  TArchiveView& view_;
  std::function<void()> update_caption_;
  int imported_task_no_ = -1;
};

}  // namespace vellumark
