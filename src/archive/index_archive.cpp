#include "archive/index_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
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
#include "store/word_store.h"

namespace fs = std::filesystem;

namespace vellumark {

namespace {

// The archive file while it is written: a file of its own beside the target, renamed over the
// target by Commit. Until then the target is untouched; a file never committed is removed.
class TPendingFile final {
 public:
  explicit TPendingFile(const std::string& target) : target_(target) {
    fs::path t(target);
    fs::path folder = t.has_parent_path() ? t.parent_path() : fs::path(".");
    path_ = (folder / ("." + t.filename().string() + ".XXXXXX")).string();
    fd_ = mkstemp(path_.data());
    if (fd_ < 0) {
      path_.clear();
      return;
    }
    // mkstemp creates the file for its owner only; an archive gets the usual permissions.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd_, 0666 & ~mask);
  }
  ~TPendingFile() {
    if (fd_ >= 0) close(fd_);
    if (!path_.empty()) unlink(path_.c_str());
  }
  TPendingFile(const TPendingFile&) = delete;
  TPendingFile& operator=(const TPendingFile&) = delete;

  bool Created() const { return fd_ >= 0; }

  // Writes `bytes`, syncs them to disk and renames the file over the target. Raises
  // EArchiveIoError on any failure (the target then stays as it was).
  void Commit(const std::uint8_t* bytes, std::size_t size) {
    while (size > 0) {
      ssize_t n = write(fd_, bytes, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw EArchiveIoError("Cannot write file " + path_);
      bytes += n;
      size -= static_cast<std::size_t>(n);
    }
    if (fsync(fd_) != 0) throw EArchiveIoError("Cannot write file " + path_);
    int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) throw EArchiveIoError("Cannot write file " + path_);
    if (rename(path_.c_str(), target_.c_str()) != 0) {
      throw EArchiveIoError("Cannot rename to " + target_);
    }
    path_.clear();
  }

 private:
  std::string target_;
  std::string path_;
  int fd_ = -1;
};

void RemoveFile(const std::string& path) {
  std::error_code ec;
  fs::remove(path, ec);
}

// The uncompressed size a compressed header announces, or -1 when the data has no header.
std::int64_t AnnouncedSize(const std::string& archive, std::uint64_t offset) {
  TFileStream in(archive, TFileStream::Mode::kOpenRead);
  if (in.Size() - static_cast<std::int64_t>(offset) <= TCompressor::kHeaderSize) return -1;
  in.SetPosition(static_cast<std::int64_t>(offset));
  std::uint8_t head[8];
  if (in.Read(head, sizeof head) != sizeof head || head[0] != TCompressor::kHeaderMark) return -1;
  std::uint32_t size =
      head[4] | (head[5] << 8) | (head[6] << 16) | (static_cast<std::uint32_t>(head[7]) << 24);
  return static_cast<std::int32_t>(size);
}

// Bytes free for an ordinary user on the file system of `folder`.
std::uint64_t FreeSpace(const std::string& folder) {
  struct statvfs st;
  if (statvfs(folder.empty() ? "." : folder.c_str(), &st) != 0) return UINT64_MAX;
  return static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
}

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
                             TArchiveView& view, std::function<void()> update_caption)
    : context_(context),
      dm_(dm),
      dialogs_(dialogs),
      pump_(pump),
      view_(view),
      update_caption_(std::move(update_caption)) {}

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

void TIndexArchive::RestoreCurrentDirectory() {
  if (!context_.program_folder.empty() && chdir(context_.program_folder.c_str()) != 0) {
    // The program folder was the current directory at start; if it is gone there is nothing
    // better to go to.
  }
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
  struct DirectoryGuard {
    TIndexArchive* self;
    ~DirectoryGuard() { self->RestoreCurrentDirectory(); }
  } guard{this};

  std::optional<std::string> chosen = dialogs_.SaveFileName(kArchiveFileFilter);
  if (!chosen || chosen->empty()) return false;
  const std::string target = ArchiveFileName(*chosen);
  std::error_code ec;
  if (fs::exists(fs::symlink_status(target, ec))) {
    if (dialogs_.Confirm("Do you wish to overwrite " + target + "?", kYesNoCancel) != kButtonYes) {
      return false;
    }
  }

  view_.ShowStatus("");
  context_.CurrentLocationNumber = dm_.CurrentTaskNo();
  if (context_.CurrentLocationNumber == -1) {
    dialogs_.Error("No tasks to export index.");
    return false;
  }
  if (!dm_.OpenLocation(dm_.LocationFolder(context_.CurrentLocationNumber))) {
    dialogs_.Error("Cannot open database.");
    return false;
  }

  TPendingFile pending(target);
  if (!pending.Created()) {
    dialogs_.Error("Cannot create file " + target);
    return false;
  }

  StartProgress("Exporting Index. Press ESC to cancel.");
  bool ok = true;

  // The head comes from the location's Tasks row as it is now; events pumped later may move
  // the Tasks cursor.
  TArchiveTask task;
  try {
    TTable& tasks = dm_.tbTasks;
    task.task_url = tasks.FieldByName("Task_URL").AsString();
    task.task_description = tasks.FieldByName("Task_Description").AsString();
    task.date = tasks.FieldByName("Date").AsString();
    task.time_start = tasks.FieldByName("Time_Start").AsString();
    task.time_end = tasks.FieldByName("Time_End").AsString();
    task.files = tasks.FieldByName("Files").AsString();
    task.search_delimiters = tasks.FieldByName("SearchDelimiters").AsString();
  } catch (const std::exception&) {
    ok = false;
  }

  const std::string temp = TempFilePath();
  std::unique_ptr<TFileSink> sink;
  if (ok) {
    try {
      sink = std::make_unique<TFileSink>(temp);
    } catch (const EArchiveIoError&) {
      dialogs_.Error("Cannot create file " + temp);
      ok = false;
    }
  }
  if (ok) {
    try {
      ok = WriteIndexStream(*sink);
      sink->Close();
    } catch (const std::exception&) {
      ok = false;
    }
  }
  sink.reset();

  TMemoryStream image;
  if (ok) {
    try {
      const std::string head = BuildArchiveHeader(task);
      image.Write(head.data(), head.size());
      view_.SetProgress(90);
      TFileStream source(temp, TFileStream::Mode::kOpenRead);
      TCompressor compressor(this);
      int last_percent = -1;
      compressor.OnShowProgress = [&](int& percent) { CoderProgress(percent, last_percent); };
      compressor.CompressStream(image, source, coLZH5);
      // A cancelled coder run ends its input early; what it wrote is not a whole archive.
      if (Cancelled())
        ok = false;
      else
        view_.SetProgress(95);
    } catch (const std::exception&) {
      ok = false;
    }
  }
  RemoveFile(temp);
  if (ok) {
    try {
      pending.Commit(image.Data().data(), image.Data().size());
      view_.SetProgress(100);
    } catch (const std::exception&) {
      ok = false;
    }
  }

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
  TPageRecord page;
  std::int64_t written = 0;
  for (; !query.Eof(); query.Next()) {
    if (pages.Due()) {
      AdvanceProgress();
      pump_.ProcessEvents();
      if (Cancelled()) return false;
    }
    page.file_no = query.Fields(0).AsInteger();
    page.address = query.Fields(1).AsString() + query.Fields(2).AsString();
    page.state = static_cast<int>(query.Fields(3).AsInteger() & 0xFF);
    page.header = query.Fields(4).AsString();
    page.title = query.Fields(5).AsString();
    page.text = query.Fields(6).AsString();
    writer.WritePage(page);
    ++written;
  }
  // The count heads the records; a table that changed between counting and reading would
  // make a stream that does not read back.
  if (written != count) throw EIndexStreamError("Files changed during export");

  // The three word tables merged into one sequence in byte order; on equal words the
  // lower-numbered table goes first.
  TTable* tables[3] = {&dm_.tbWords1, &dm_.tbWords2, &dm_.tbWords3};
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
      std::string word = t->Fields(0).AsString();
      if (best == nullptr || word < best_word) {
        best = t;
        best_word = std::move(word);
      }
    }
    if (best == nullptr) break;
    if (words.Due()) {
      AdvanceProgress();
      pump_.ProcessEvents();
      if (Cancelled()) return false;
    }
    if (best_word.empty()) throw EIndexStreamError("Word record without a word");
    writer.WriteWord(best_word, best->Fields(1).AsBlob());
    best->Next();
  }
  writer.WriteEnd();
  return true;
}

// ---------------------------------------------------------------------------------------------
// Import

bool TIndexArchive::bbImportClick() {
  struct DirectoryGuard {
    TIndexArchive* self;
    ~DirectoryGuard() { self->RestoreCurrentDirectory(); }
  } guard{this};
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
  const int previous_number = context_.CurrentLocationNumber;
  const int previous_task_no = dm_.CurrentTaskNo();
  const std::string temp = TempFilePath();

  // What failed decides what the user sees: a failure before the index stream was expanded
  // ends with the temporary-file message only, a later one with "Cannot Import Index".
  enum class Outcome { kOk, kBeforeStream, kFailed };
  Outcome outcome = Outcome::kOk;
  int new_task = -1;

  // Steps 4 and 5: the head, then the new Tasks row.
  TArchiveTask task;
  std::uint64_t stream_offset = 0;
  try {
    TFileSource source(archive);
    TBufferedReader in(source);
    ReadArchiveTitle(in);
    task = ReadArchiveTask(in);
    stream_offset = in.Taken();
  } catch (const std::exception&) {
    outcome = Outcome::kBeforeStream;
  }
  if (outcome == Outcome::kOk) {
    TTable& tasks = dm_.tbTasks;
    try {
      tasks.Insert();
      tasks.FieldByName("Task_URL").SetString(task.task_url);
      tasks.FieldByName("Task_Description").SetString(task.task_description);
      tasks.FieldByName("Date").SetString(task.date);
      tasks.FieldByName("Time_Start").SetString(task.time_start);
      tasks.FieldByName("Time_End").SetString(task.time_end);
      tasks.FieldByName("Files").SetString(task.files);
      tasks.FieldByName("SearchDelimiters").SetString(task.search_delimiters);
      tasks.Post();
      new_task = static_cast<int>(tasks.FieldByName("Task_No").AsInteger());
    } catch (const std::exception&) {
      // A text the fields cannot convert fails the run like a bad head.
      if (tasks.State() == TTableState::kInsert) tasks.Cancel();
      outcome = Outcome::kBeforeStream;
    }
  }
  // Steps 6 and 7: the location folder with empty tables, opened.
  bool folder_existed = false;
  if (outcome == Outcome::kOk) {
    const std::string folder = dm_.LocationFolder(new_task);
    std::error_code ec;
    folder_existed = fs::exists(folder, ec);
    if (!dm_.CreateLocationTables(folder)) {
      dialogs_.Error("Cannot create database in directory '" + folder + "'");
      outcome = Outcome::kBeforeStream;
    } else if (!dm_.OpenLocation(folder)) {
      dialogs_.Error("Cannot open database.");
      outcome = Outcome::kBeforeStream;
    }
  }
  // Step 8: the compressed stream expanded into the temporary file.
  if (outcome == Outcome::kOk) {
    view_.SetProgress(5);
    try {
      // A hostile head may announce up to 2 GiB; refuse what the disk cannot take instead of
      // filling it.
      std::int64_t announced = AnnouncedSize(archive, stream_offset);
      if (announced > 0 &&
          static_cast<std::uint64_t>(announced) > FreeSpace(context_.program_folder)) {
        throw EArchiveIoError("Not enough room for the index stream");
      }
      TFileStream dest(temp, TFileStream::Mode::kCreate);
      TFileStream source(archive, TFileStream::Mode::kOpenRead);
      source.SetPosition(static_cast<std::int64_t>(stream_offset));
      TCompressor compressor(this);
      int last_percent = -1;
      compressor.OnShowProgress = [&](int& percent) { CoderProgress(percent, last_percent); };
      compressor.ExpandStream(dest, source);
      if (Cancelled())
        outcome = Outcome::kFailed;
      else
        view_.SetProgress(10);
    } catch (const std::exception&) {
      outcome = Outcome::kFailed;
    }
  }
  // Steps 9 to 11: the temporary file read into the new tables, in one transaction.
  std::unique_ptr<TFileSource> stream;
  if (outcome != Outcome::kBeforeStream) {
    try {
      stream = std::make_unique<TFileSource>(temp);
    } catch (const EArchiveIoError&) {
      outcome = Outcome::kBeforeStream;
    }
  }
  if (outcome == Outcome::kOk) {
    try {
      TTransaction transaction(dm_.dbKiv);
      if (ReadIndexStream(*stream)) {
        transaction.Commit();
      } else {
        outcome = Outcome::kFailed;
      }
    } catch (const std::exception&) {
      outcome = Outcome::kFailed;
    }
  }
  if (outcome != Outcome::kBeforeStream) view_.SetProgress(100);
  stream.reset();
  RemoveFile(temp);

  if (outcome == Outcome::kBeforeStream) {
    dialogs_.Error("Cannot open temporary file " + temp);
    EndProgress();
    RemoveImportedLocation(new_task, folder_existed, previous_task_no);
    context_.CurrentLocationNumber = previous_number;
    return false;
  }
  EndProgress();
  if (outcome == Outcome::kOk) {
    view_.ShowStatus("Index imported sucessfully.");
    imported_task_no_ = new_task;
    context_.CurrentLocationNumber = dm_.CurrentTaskNo();
    if (update_caption_) update_caption_();
    if (!dm_.OpenLocation(dm_.LocationFolder(context_.CurrentLocationNumber))) {
      dialogs_.Error("Cannot open database.");
    }
    return true;
  }
  if (Cancelled())
    dialogs_.Information("Import Canceled");
  else
    dialogs_.Error("Cannot Import Index");
  view_.ShowStatus("Index not imported.");
  RemoveImportedLocation(new_task, folder_existed, previous_task_no);
  context_.CurrentLocationNumber = previous_number;
  return false;
}

bool TIndexArchive::ReadIndexStream(TByteSource& source) {
  TIndexStreamReader reader(source);

  const std::int64_t count = reader.ReadPageCount();
  Rhythm pages(count, 10);
  TTable& files = dm_.tbFiles;
  TPageRecord page;
  for (std::int64_t i = 0; i < count; ++i) {
    if (pages.Due()) {
      AdvanceProgress();
      pump_.ProcessEvents();
      if (Cancelled()) return false;
    }
    reader.ReadPage(page);
    files.Append();
    try {
      TPageAddress address = SplitPageAddress(page.address);
      files.Fields(0).SetInteger(page.file_no);
      files.Fields(1).SetString(address.head);
      // Empty texts stay empty fields, as the indexer leaves them; a state of 0 means the
      // same as an empty one.
      if (!address.tail.empty()) files.Fields(2).SetString(address.tail);
      if (page.state != 0) files.Fields(3).SetInteger(page.state);
      if (!page.header.empty()) files.Fields(4).SetString(page.header);
      if (!page.title.empty()) files.Fields(5).SetString(page.title);
      if (!page.text.empty()) files.Fields(6).SetString(page.text);
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
    table.Append();
    try {
      table.Fields(0).SetString(word.word);
      table.Fields(1).SetBlob(word.page_list);
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
    dm_.RemoveLocationFolder(task_no);
  }
  try {
    if (previous_task_no >= 0) tasks.FindKey({std::to_string(previous_task_no)});
  } catch (const std::exception&) {
  }
}

}  // namespace vellumark
