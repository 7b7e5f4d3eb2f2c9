#include "archive/index_archive.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "archive/archive_header.h"
#include "archive/byte_stream.h"
#include "archive/index_stream.h"
#include "compress/compressor.h"
#include "compress/stream.h"
#include "store/page_address.h"
#include "store/query.h"
#include "store/records.h"
#include "store/word_store.h"

namespace fs = std::filesystem;

namespace vellumark {

namespace {

void RemoveFile(const std::string& path) {
  std::error_code ec;
  fs::remove(path, ec);
}

// The temporary file of a run ("~kiv1.tmp"): removed where the run is done with it (Remove),
// and at the latest when the run ends, however it ends.
class TTemporaryFile final {
 public:
  explicit TTemporaryFile(std::string path) : path_(std::move(path)) {}
  ~TTemporaryFile() { Remove(); }
  TTemporaryFile(const TTemporaryFile&) = delete;
  TTemporaryFile& operator=(const TTemporaryFile&) = delete;

  const std::string& Path() const { return path_; }
  void Remove() { RemoveFile(path_); }

 private:
  std::string path_;
};

// Makes the program folder the current directory again when a run ends, however it ends.
class TRestoresCurrentDirectory final {
 public:
  explicit TRestoresCurrentDirectory(const std::string& program_folder) : folder_(program_folder) {}
  ~TRestoresCurrentDirectory() {
    if (!folder_.empty() && chdir(folder_.c_str()) != 0) {
      // The program folder was the current directory at start; if it is gone there is
      // nothing better to go to.
    }
  }
  TRestoresCurrentDirectory(const TRestoresCurrentDirectory&) = delete;
  TRestoresCurrentDirectory& operator=(const TRestoresCurrentDirectory&) = delete;

 private:
  std::string folder_;
};

// The index stream is too large for the archive: the compressed header holds its size as a
// signed 32-bit number.
class EIndexStreamTooLarge : public Exception {
 public:
  EIndexStreamTooLarge()
      : Exception(
            "The index is too large to export: an archive holds less than 2 GiB of index "
            "data.") {}
};

// The index stream written into the temporary file. It refuses to grow past what the
// archive's header can describe, so an index that is too large fails before the archive is
// written, and before the temporary file fills the disk further.
class TStreamFileSink final : public TByteSink {
 public:
  explicit TStreamFileSink(WritableFile& file) : file_(file) {}
  void Write(std::string_view bytes) override {
    if (file_.Size() + bytes.size() > static_cast<std::uint64_t>(TCompressor::kMaxSourceSize)) {
      throw EIndexStreamTooLarge();
    }
    try {
      file_.Append(bytes);
    } catch (const EFileError& e) {
      throw EArchiveIoError(e.what());
    }
  }

 private:
  WritableFile& file_;
};

// The temporary file as the compressor's destination on import: written from start to end.
class TExpansionStream final : public TStream {
 public:
  explicit TExpansionStream(WritableFile& file) : file_(file) {}
  size_t Read(void*, size_t) override { return 0; }
  void Write(const void* buffer, size_t count) override {
    try {
      file_.Append(std::string_view(static_cast<const char*>(buffer), count));
    } catch (const EFileError& e) {
      throw EStreamError(e.what());
    }
  }
  int64_t Position() const override { return Size(); }
  void SetPosition(int64_t position) override {
    if (position != Size()) throw EStreamError("The temporary file is written in order");
  }
  int64_t Size() const override { return static_cast<int64_t>(file_.Size()); }

 private:
  WritableFile& file_;
};

// Marks an export or import as running for as long as the handler runs: Find, which would
// reopen the location's database under the run (and under an import's open transaction) while
// the run pumps events, is refused meanwhile.
class TArchiveRunning final {
 public:
  explicit TArchiveRunning(ProgramContext& context)
      : context_(context), was_running_(context.archive_running) {
    context_.archive_running = true;
  }
  ~TArchiveRunning() { context_.archive_running = was_running_; }
  TArchiveRunning(const TArchiveRunning&) = delete;
  TArchiveRunning& operator=(const TArchiveRunning&) = delete;

 private:
  ProgramContext& context_;
  const bool was_running_;
};

}  // namespace

// Counts units of work and says when the next progress step is due: each time K + 1 units
// have passed, K being the whole divided by the divisor and rounded.
class TIndexArchive::Rhythm {
 public:
  Rhythm(std::int64_t whole, int divisor)
      : k_(std::llround(static_cast<double>(whole) / divisor)) {}
  bool Due() {
    if (++count_ <= k_) return false;
    count_ = 0;
    return true;
  }

 private:
  std::int64_t k_;
  std::int64_t count_ = 0;
};

std::string ArchiveFileName(const std::string& chosen) {
  fs::path p(chosen);
  p.replace_extension(kArchiveExtension);
  return p.string();
}

TIndexArchive::TIndexArchive(ProgramContext& context, TdmKiv& dm, Dialogs& dialogs, EventPump& pump,
                             TArchiveView& view, std::function<void()> update_caption,
                             FileSystem& file_system)
    : context_(context),
      dm_(dm),
      dialogs_(dialogs),
      pump_(pump),
      view_(view),
      update_caption_(std::move(update_caption)),
      file_system_(file_system) {}

std::string TIndexArchive::TempFilePath() const {
  return context_.program_folder + kArchiveTempFileName;
}

void TIndexArchive::StartProgress(const char* status) {
  view_.ShowStatus(status);
  view_.SetProgress(0);
  view_.SetProgressVisible(true);
  view_.SetCancelFlag(false);
}

void TIndexArchive::EndProgress() {
  view_.SetProgressVisible(false);
  view_.SetProgress(0);
}

void TIndexArchive::AdvanceProgress() { view_.SetProgress(std::min(100, view_.Progress() + 1)); }

bool TIndexArchive::ProgressStep() {
  AdvanceProgress();
  pump_.ProcessEvents();
  return !Cancelled();
}

void TIndexArchive::CoderProgress(int& percent, int& last_percent) {
  if (percent != last_percent) {
    last_percent = percent;
    pump_.ProcessEvents();
  }
  if (Cancelled()) percent = -1;
}

// ---------------------------------------------------------------------------------------------
// Export

bool TIndexArchive::bbExportClick() {
  TRestoresCurrentDirectory directory(context_.program_folder);
  TArchiveRunning running(context_);
  const std::optional<std::string> target = ChooseExportTarget();
  if (!target) return false;
  view_.ShowStatus("");
  if (!OpenCurrentLocation("No tasks to export index.")) return false;
  // The archive is written beside the target and takes its place only when it is complete,
  // so a failed or cancelled export (or a full disk) leaves an existing file as it was.
  std::unique_ptr<WritableFile> archive;
  try {
    archive = file_system_.CreateReplacement(*target);
  } catch (const EFileError&) {
    dialogs_.Error("Cannot create file " + *target);
    return false;
  }
  StartProgress("Exporting Index. Press ESC to cancel.");
  const bool ok = WriteArchive(*archive);
  EndProgress();
  if (ok) {
    view_.ShowStatus("Index exported sucessfully.");
  } else {
    if (Cancelled())
      dialogs_.Information("Export Canceled");
    else
      dialogs_.Error("Cannot Export Index");
    view_.ShowStatus("Index not exported.");
  }
  return ok;
}

std::optional<std::string> TIndexArchive::ChooseExportTarget() {
  std::optional<std::string> chosen = dialogs_.SaveFileName(kArchiveFileFilter);
  if (!chosen || chosen->empty()) return std::nullopt;
  std::string target = ArchiveFileName(*chosen);
  std::error_code ec;
  if (fs::exists(fs::symlink_status(target, ec)) &&
      dialogs_.Confirm("Do you wish to overwrite " + target + "?", kYesNoCancel) != kButtonYes) {
    return std::nullopt;
  }
  return target;
}

bool TIndexArchive::OpenCurrentLocation(const char* no_location_message) {
  context_.CurrentLocationNumber = dm_.CurrentTaskNo();
  if (context_.CurrentLocationNumber == -1) {
    dialogs_.Error(no_location_message);
    return false;
  }
  if (!dm_.OpenLocation(dm_.LocationFolder(context_.CurrentLocationNumber))) {
    dialogs_.Error("Cannot open database.");
    return false;
  }
  return true;
}

bool TIndexArchive::WriteArchive(WritableFile& archive) {
  // Whatever happens, no temporary file stays behind, not even one left from elsewhere.
  TTemporaryFile temp(TempFilePath());
  // The head comes from the location's Tasks row as it is now; events pumped later may move
  // the Tasks cursor.
  TArchiveTask task;
  try {
    task = CurrentArchiveTask();
  } catch (const std::exception&) {
    return false;
  }
  if (!WriteIndexStreamFile(temp.Path())) return false;
  TMemoryStream image;
  const bool compressed = CompressArchive(task, temp.Path(), image);
  temp.Remove();
  if (!compressed) return false;
  try {
    const std::vector<std::uint8_t>& bytes = image.Data();
    archive.Append(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    archive.Commit();
  } catch (const std::exception&) {
    return false;
  }
  view_.SetProgress(100);
  return true;
}

TArchiveTask TIndexArchive::CurrentArchiveTask() {
  TTaskFields row(dm_.tbTasks);
  TArchiveTask task;
  task.task_url = row.TaskURL().AsString();
  task.task_description = row.TaskDescription().AsString();
  task.date = row.Date().AsString();
  task.time_start = row.TimeStart().AsString();
  task.time_end = row.TimeEnd().AsString();
  task.files = row.Files().AsString();
  task.search_delimiters = row.SearchDelimiters().AsString();
  return task;
}

bool TIndexArchive::WriteIndexStreamFile(const std::string& path) {
  std::unique_ptr<WritableFile> file;
  try {
    file = file_system_.CreateScratchFile(path);
  } catch (const EFileError&) {
    dialogs_.Error("Cannot create file " + path);
    return false;
  }
  try {
    TStreamFileSink sink(*file);
    const bool written = WriteIndexStream(sink);
    file->Close();
    return written;
  } catch (const EIndexStreamTooLarge& e) {
    dialogs_.Error(e.what());
    return false;
  } catch (const std::exception&) {
    return false;
  }
}

bool TIndexArchive::CompressArchive(const TArchiveTask& task, const std::string& stream_file,
                                    TMemoryStream& image) {
  try {
    const std::string head = BuildArchiveHeader(task);
    image.Write(head.data(), head.size());
    view_.SetProgress(90);
    TFileStream source(stream_file, TFileStream::Mode::kOpenRead);
    TCompressor compressor(this);
    int last_percent = -1;
    compressor.OnShowProgress = [&](int& percent) { CoderProgress(percent, last_percent); };
    compressor.CompressStream(image, source, coLZH5);
  } catch (const std::exception&) {
    return false;
  }
  // A cancelled coder run ends its input early; what it wrote is not a whole archive.
  if (Cancelled()) return false;
  view_.SetProgress(95);
  return true;
}

bool TIndexArchive::WriteIndexStream(TByteSink& sink) {
  TIndexStreamWriter writer(sink);

  TQuery& query = dm_.quQuery;
  query.SetSQL(kFilesByAddressSql);
  query.Open();
  // An open query holds a read lock on the location; it goes however the writing ends.
  struct QueryCloser {
    TQuery& query;
    ~QueryCloser() { query.Close(); }
  } closer{query};
  const std::int64_t count = query.RecordCount();
  // An index without pages cannot be exported.
  if (count == 0 || query.Eof()) throw EIndexStreamError("No pages to export");
  writer.WritePageCount(count);
  Rhythm pages(count, 20);
  TFileFields row(query);
  TPageRecord page;
  std::int64_t written = 0;
  for (; !query.Eof(); query.Next()) {
    if (pages.Due() && !ProgressStep()) return false;
    page.file_no = row.FileNo().AsInteger();
    page.address = row.Address();
    page.state = static_cast<int>(row.FileState().AsInteger() & 0xFF);
    page.header = row.FileHeader().AsString();
    page.title = row.FileTitle().AsString();
    page.text = row.FileText().AsString();
    writer.WritePage(page);
    ++written;
  }
  // The count heads the records; a table that changed between counting and reading would
  // make a stream that does not read back.
  if (written != count) throw EIndexStreamError("Files changed during export");

  // The three word tables merged into one sequence in byte order; on equal words the
  // lower-numbered table goes first.
  TTable* tables[kWordTableCount] = {&dm_.tbWords1, &dm_.tbWords2, &dm_.tbWords3};
  std::int64_t total = 0;
  for (TTable* t : tables) {
    t->SetIndexName("");
    t->First();
    total += t->RecordCount();
  }
  Rhythm words(total, 60);
  for (;;) {
    TTable* best = nullptr;
    std::string best_word;
    for (TTable* t : tables) {
      if (t->IsEmpty() || t->Eof()) continue;
      std::string word = TWordFields(*t).Word().AsString();
      if (best == nullptr || word < best_word) {
        best = t;
        best_word = std::move(word);
      }
    }
    if (best == nullptr) break;
    if (words.Due() && !ProgressStep()) return false;
    if (best_word.empty()) throw EIndexStreamError("Word record without a word");
    writer.WriteWord(best_word, TWordFields(*best).PageList().AsBlob());
    best->Next();
  }
  writer.WriteEnd();
  return true;
}

// ---------------------------------------------------------------------------------------------
// Import

// The new location of an import until it is kept: a failed import removes its Tasks row and
// its folder again and goes back to the location that was current (its record and its number).
class TIndexArchive::ImportedLocation final {
 public:
  explicit ImportedLocation(TIndexArchive& archive)
      : archive_(archive),
        previous_number_(archive.context_.CurrentLocationNumber),
        previous_task_no_(archive.dm_.CurrentTaskNo()) {}
  ~ImportedLocation() {
    if (kept_) return;
    archive_.RemoveImportedLocation(task_no, folder_existed, previous_task_no_);
    archive_.context_.CurrentLocationNumber = previous_number_;
  }
  ImportedLocation(const ImportedLocation&) = delete;
  ImportedLocation& operator=(const ImportedLocation&) = delete;

  void Keep() { kept_ = true; }

  int task_no = -1;             // the new Tasks row, once posted
  bool folder_existed = false;  // a folder of its name was there before the import

 private:
  TIndexArchive& archive_;
  const int previous_number_;
  const int previous_task_no_;
  bool kept_ = false;
};

bool TIndexArchive::bbImportClick() {
  TRestoresCurrentDirectory directory(context_.program_folder);
  TArchiveRunning running(context_);
  imported_task_no_ = -1;

  view_.ShowStatus("");
  std::optional<std::string> chosen = dialogs_.OpenFileName(kArchiveFileFilter);
  if (!chosen || chosen->empty()) return false;
  const std::string archive = *chosen;
  try {
    TFileSource check(archive);
  } catch (const EArchiveIoError&) {
    dialogs_.Error("Cannot open file " + archive);
    return false;
  }

  StartProgress("Importing Index. Press ESC to cancel.");
  ImportedLocation location(*this);
  TTemporaryFile temp(TempFilePath());
  std::uint64_t stream_offset = 0;
  ImportOutcome outcome = AddImportedLocation(archive, location, stream_offset);
  if (outcome == ImportOutcome::kOk) {
    outcome = ExpandIndexStream(archive, stream_offset, temp.Path());
  }
  if (outcome != ImportOutcome::kBeforeStream) outcome = ReadIndexStreamFile(temp.Path(), outcome);
  temp.Remove();

  if (outcome == ImportOutcome::kBeforeStream) {
    dialogs_.Error("Cannot open temporary file " + temp.Path());
    EndProgress();
    return false;
  }
  EndProgress();
  if (outcome != ImportOutcome::kOk) {
    if (Cancelled())
      dialogs_.Information("Import Canceled");
    else
      dialogs_.Error("Cannot Import Index");
    view_.ShowStatus("Index not imported.");
    return false;
  }
  location.Keep();
  view_.ShowStatus("Index imported sucessfully.");
  imported_task_no_ = location.task_no;
  context_.CurrentLocationNumber = dm_.CurrentTaskNo();
  if (update_caption_) update_caption_();
  if (!dm_.OpenLocation(dm_.LocationFolder(context_.CurrentLocationNumber))) {
    dialogs_.Error("Cannot open database.");
  }
  return true;
}

TIndexArchive::ImportOutcome TIndexArchive::AddImportedLocation(const std::string& archive,
                                                                ImportedLocation& location,
                                                                std::uint64_t& stream_offset) {
  // The head, then the new Tasks row.
  TArchiveTask task;
  try {
    TFileSource source(archive);
    TBufferedReader in(source);
    ReadArchiveTitle(in);
    task = ReadArchiveTask(in);
    stream_offset = in.Taken();
  } catch (const std::exception&) {
    return ImportOutcome::kBeforeStream;
  }
  TTable& tasks = dm_.tbTasks;
  TTaskFields row(tasks);
  try {
    tasks.Insert();
    row.TaskURL().SetString(task.task_url);
    row.TaskDescription().SetString(task.task_description);
    row.Date().SetString(task.date);
    row.TimeStart().SetString(task.time_start);
    row.TimeEnd().SetString(task.time_end);
    row.Files().SetString(task.files);
    row.SearchDelimiters().SetString(task.search_delimiters);
    tasks.Post();
    location.task_no = static_cast<int>(row.TaskNo().AsInteger());
  } catch (const std::exception&) {
    // A text the fields cannot convert fails the run like a bad head.
    if (tasks.State() == TTableState::kInsert) tasks.Cancel();
    return ImportOutcome::kBeforeStream;
  }
  // The location folder with empty tables, opened.
  const std::string folder = dm_.LocationFolder(location.task_no);
  std::error_code ec;
  location.folder_existed = fs::exists(folder, ec);
  if (!dm_.CreateLocationTables(folder)) {
    dialogs_.Error("Cannot create database in directory '" + folder + "'");
    return ImportOutcome::kBeforeStream;
  }
  if (!dm_.OpenLocation(folder)) {
    dialogs_.Error("Cannot open database.");
    return ImportOutcome::kBeforeStream;
  }
  return ImportOutcome::kOk;
}

TIndexArchive::ImportOutcome TIndexArchive::ExpandIndexStream(const std::string& archive,
                                                              std::uint64_t stream_offset,
                                                              const std::string& stream_file) {
  view_.SetProgress(5);
  try {
    std::unique_ptr<WritableFile> file = file_system_.CreateScratchFile(stream_file);
    TFileStream source(archive, TFileStream::Mode::kOpenRead);
    source.SetPosition(static_cast<std::int64_t>(stream_offset));
    // The expansion writes about the announced size (which the compressor holds to what the
    // data can plausibly give); refuse what the disk cannot take instead of filling it.
    const std::int64_t announced = TCompressor::AnnouncedSize(source);
    if (announced > 0 &&
        static_cast<std::uint64_t>(announced) > file_system_.FreeSpace(context_.program_folder)) {
      throw EArchiveIoError("Not enough room for the index stream");
    }
    TExpansionStream dest(*file);
    TCompressor compressor(this);
    int last_percent = -1;
    compressor.OnShowProgress = [&](int& percent) { CoderProgress(percent, last_percent); };
    compressor.ExpandStream(dest, source);
    file->Close();
  } catch (const std::exception&) {
    return ImportOutcome::kFailed;
  }
  if (Cancelled()) return ImportOutcome::kFailed;
  view_.SetProgress(10);
  return ImportOutcome::kOk;
}

TIndexArchive::ImportOutcome TIndexArchive::ReadIndexStreamFile(const std::string& stream_file,
                                                                ImportOutcome outcome) {
  // A stream file that cannot be opened (none was made) ends the run with the temporary-file
  // message, whatever failed before; a failed expansion reads nothing.
  std::unique_ptr<TFileSource> stream;
  try {
    stream = std::make_unique<TFileSource>(stream_file);
  } catch (const EArchiveIoError&) {
    return ImportOutcome::kBeforeStream;
  }
  if (outcome == ImportOutcome::kOk) {
    // The records land in one transaction.
    try {
      TTransaction transaction(dm_.dbKiv);
      if (ReadIndexStream(*stream)) {
        transaction.Commit();
      } else {
        outcome = ImportOutcome::kFailed;
      }
    } catch (const std::exception&) {
      outcome = ImportOutcome::kFailed;
    }
  }
  view_.SetProgress(100);
  return outcome;
}

bool TIndexArchive::ReadIndexStream(TByteSource& source) {
  TIndexStreamReader reader(source);

  const std::int64_t count = reader.ReadPageCount();
  Rhythm pages(count, 10);
  TTable& files = dm_.tbFiles;
  TFileFields row(files);
  TPageRecord page;
  for (std::int64_t i = 0; i < count; ++i) {
    if (pages.Due() && !ProgressStep()) return false;
    reader.ReadPage(page);
    files.Append();
    try {
      TPageAddress address = SplitPageAddress(page.address);
      row.FileNo().SetInteger(page.file_no);
      row.F1().SetString(address.head);
      // Empty texts stay empty fields, as the indexer leaves them; a state of 0 means the
      // same as an empty one.
      if (!address.tail.empty()) row.FileURLRest().SetString(address.tail);
      if (page.state != 0) row.FileState().SetInteger(page.state);
      if (!page.header.empty()) row.FileHeader().SetString(page.header);
      if (!page.title.empty()) row.FileTitle().SetString(page.title);
      if (!page.text.empty()) row.FileText().SetString(page.text);
      files.Post();
    } catch (...) {
      files.Cancel();
      throw;
    }
  }

  // Progress by bytes read, checked before every 12th word record.
  const std::uint64_t step =
      static_cast<std::uint64_t>(std::llround(static_cast<double>(reader.BytesLeft()) / 80));
  std::uint64_t last = reader.BytesRead();
  TWordRecord word;
  for (std::int64_t n = 1;; ++n) {
    if (n % 12 == 0) {
      pump_.ProcessEvents();
      if (Cancelled()) return false;
      if (reader.BytesRead() - last >= step) {
        AdvanceProgress();
        last = reader.BytesRead();
      }
    }
    if (!reader.ReadWord(word)) break;
    TTable& table = dm_.WordTable(WordTableNumber(word.word));
    TWordFields row(table);
    table.Append();
    try {
      row.Word().SetString(word.word);
      row.PageList().SetBlob(word.page_list);
      table.Post();
    } catch (...) {
      table.Cancel();
      throw;
    }
  }
  return true;
}

void TIndexArchive::RemoveImportedLocation(int task_no, bool folder_existed, int previous_task_no) {
  if (task_no < 0) return;
  TTable& tasks = dm_.tbTasks;
  try {
    if (tasks.FindKey({std::to_string(task_no)})) tasks.Delete();
  } catch (const std::exception&) {
    // The row stays; its folder goes all the same.
  }
  if (folder_existed) {
    // A folder of that name was there before (no location of ours owned it): only the table
    // file this run put into it goes.
    const std::string folder = dm_.LocationFolder(task_no);
    dm_.dbKiv.Disconnect();
    for (const char* suffix : {"", "-wal", "-shm", ".new"}) {
      RemoveFile(folder + kIndexFileName + suffix);
    }
  } else {
    dm_.RemoveLocationFolder(task_no, file_system_);
  }
  try {
    if (previous_task_no >= 0) tasks.FindKey({std::to_string(previous_task_no)});
  } catch (const std::exception&) {
  }
}

}  // namespace vellumark
