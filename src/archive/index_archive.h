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
// it deletes that row and removes the new location folder again (a link of that name loses
// only the link). An import refuses an archive whose announced stream the disk cannot take.
//
// While either runs, ProgramContext::archive_running is set and Find is refused: both pump
// events, and a Find would reopen the location's database under them.
//
// Every object passed to the constructor must outlive the TIndexArchive.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "archive/archive_header.h"
#include "archive/archive_view.h"
#include "archive/byte_stream.h"
#include "platform/dialogs.h"
#include "platform/event_pump.h"
#include "platform/file_system.h"
#include "store/data_module.h"
#include "util/context.h"

namespace vellumark {

class TMemoryStream;

inline constexpr const char* kArchiveTempFileName = "~kiv1.tmp";
inline constexpr const char* kArchiveExtension = ".kvx";

// The file name the export writes for a chosen name: its extension replaced by ".kvx", or
// ".kvx" appended when it has none.
std::string ArchiveFileName(const std::string& chosen);

class TIndexArchive final {
 public:
  // `update_caption` is the search bar's UpdateCaption (may be empty). The archive file and
  // the temporary file are written through `file_system`.
  TIndexArchive(ProgramContext& context, TdmKiv& dm, Dialogs& dialogs, EventPump& pump,
                TArchiveView& view, std::function<void()> update_caption = {},
                FileSystem& file_system = LocalFileSystem());
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
  class ImportedLocation;
  // How an import went: through, failed before the index stream was expanded (the
  // temporary-file message follows), or failed later ("Cannot Import Index").
  enum class ImportOutcome { kOk, kBeforeStream, kFailed };

  // --- the steps of Export ---

  // The save dialog's file with the archive's extension, when the user chose one and agreed
  // to overwrite an existing file.
  std::optional<std::string> ChooseExportTarget();
  // Makes the current Tasks record the current location and opens its tables. False after a
  // message (`no_location_message` when there is no location).
  bool OpenCurrentLocation(const char* no_location_message);
  // The archive written into `archive` and committed: the index stream built in the temporary
  // file, compressed behind the head. False when it failed or was cancelled.
  bool WriteArchive(WritableFile& archive);
  // The head's texts from the current Tasks record.
  TArchiveTask CurrentArchiveTask();
  // The index stream written to the file `path`. False when it failed or was cancelled (a file
  // that cannot be made says so, and so does a stream of 2 GiB or more, which the archive's
  // header cannot describe).
  bool WriteIndexStreamFile(const std::string& path);
  bool WriteIndexStream(TByteSink& sink);
  // The head and the compressed index stream of `stream_file` into `image`. False when it
  // failed or was cancelled.
  bool CompressArchive(const TArchiveTask& task, const std::string& stream_file,
                       TMemoryStream& image);

  // --- the steps of Import ---

  // The archive's head read and the new location made from it: its Tasks row, its folder
  // with empty tables, opened. `stream_offset` becomes where the compressed stream starts.
  ImportOutcome AddImportedLocation(const std::string& archive, ImportedLocation& location,
                                    std::uint64_t& stream_offset);
  // The compressed stream at `stream_offset` of the archive expanded into `stream_file`.
  ImportOutcome ExpandIndexStream(const std::string& archive, std::uint64_t stream_offset,
                                  const std::string& stream_file);
  // The index stream of `stream_file` read into the new location's tables, in one
  // transaction, when everything before went through (`outcome`).
  ImportOutcome ReadIndexStreamFile(const std::string& stream_file, ImportOutcome outcome);
  bool ReadIndexStream(TByteSource& source);
  // Deletes the Tasks row of a failed import and its location folder (only the table file
  // when the folder was there before), and goes back to the location that was current.
  void RemoveImportedLocation(int task_no, bool folder_existed, int previous_task_no);

  // --- progress ---

  void StartProgress(const char* status);
  void EndProgress();
  bool Cancelled() const { return view_.CancelFlag(); }
  void AdvanceProgress();
  // One step of the progress bar, with events pumped; false when the run was cancelled.
  bool ProgressStep();
  // The compressor's progress handler: pumps events as the percentage moves and aborts the
  // coder run when the cancel flag is set.
  void CoderProgress(int& percent, int& last_percent);

  ProgramContext& context_;
  TdmKiv& dm_;
  Dialogs& dialogs_;
  EventPump& pump_;
  TArchiveView& view_;
  std::function<void()> update_caption_;
  FileSystem& file_system_;
  int imported_task_no_ = -1;
};

}  // namespace vellumark
