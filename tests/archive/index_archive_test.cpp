#include "archive/index_archive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "archive/archive_header.h"
#include "compress/compressor.h"
#include "search/search_fixture.h"
#include "store/page_address.h"
#include "store/page_list.h"
#include "store/store_fixture.h"
#include "support/faulty_file_system.h"
#include "support/scripted_event_pump.h"
#include "util/temp_folder.h"

namespace fs = std::filesystem;

namespace vellumark::testing {
namespace {

// The index window's part in an archive run: status line, progress bar and cancel flag.
class RecordingView final : public TArchiveView {
 public:
  explicit RecordingView(EventPump& pump) : pump_(pump) {}
  void ShowStatus(const std::string& text) override {
    if (text != status) {
      status = text;
      statuses.push_back(text);
    }
    pump_.ProcessEvents();
  }
  void SetProgress(int p) override {
    progress = p;
    highest = std::max(highest, p);
  }
  int Progress() const override { return progress; }
  void SetProgressVisible(bool v) override { visible = v; }
  bool ProgressVisible() const override { return visible; }
  bool CancelFlag() const override { return cancel; }
  void SetCancelFlag(bool c) override { cancel = c; }

  std::string status;
  std::vector<std::string> statuses;
  int progress = 0, highest = 0;
  bool visible = false, cancel = false;

 private:
  EventPump& pump_;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Postings(int first, int count) {
  std::string list;
  for (int i = 0; i < count; ++i) AppendPosting(list, first + i, 1 + i % 7);
  return list;
}

void AddPage(TdmKiv& dm, int no, const std::string& address, int state, const std::string& title,
             const std::string& text) {
  TTable& f = dm.tbFiles;
  f.Append();
  TPageAddress a = SplitPageAddress(address);
  f.Fields(0).SetInteger(no);
  f.Fields(1).SetString(a.head);
  if (!a.tail.empty()) f.Fields(2).SetString(a.tail);
  if (state >= 0) f.Fields(3).SetInteger(state);
  if (state > 0) f.Fields(4).SetString("content-type: text/html\r\n");
  if (!title.empty()) f.Fields(5).SetString(title);
  if (!text.empty()) f.Fields(6).SetString(text);
  f.Post();
}

void AddWord(TdmKiv& dm, int table, const std::string& word, const std::string& list) {
  TTable& t = dm.WordTable(table);
  t.Append();
  t.Fields(0).SetString(word);
  t.Fields(1).SetBlob(list);
  t.Post();
}

// A location as the program reads it: its Tasks fields, its Files rows and its word rows.
struct Snapshot {
  std::vector<std::string> task;
  std::vector<std::vector<std::string>> files;
  std::vector<std::tuple<int, std::string, std::string>> words;
  bool operator==(const Snapshot&) const = default;
};

Snapshot Take(TdmKiv& dm, int task_no) {
  Snapshot s;
  EXPECT_TRUE(dm.tbTasks.FindKey({std::to_string(task_no)}));
  for (const char* f : {"Task_URL", "Task_Description", "Date", "Time_Start", "Time_End", "Files",
                        "SearchDelimiters"}) {
    s.task.push_back(dm.tbTasks.FieldByName(f).AsString());
  }
  EXPECT_TRUE(dm.OpenLocation(dm.LocationFolder(task_no)));
  TTable& files = dm.tbFiles;
  files.SetIndexName("");
  for (files.First(); !files.IsEmpty() && !files.Eof(); files.Next()) {
    std::vector<std::string> row;
    for (int i = 0; i < files.FieldCount(); ++i) row.push_back(files.Fields(i).AsString());
    s.files.push_back(row);
  }
  for (int n = 1; n <= 3; ++n) {
    TTable& t = dm.WordTable(n);
    for (t.First(); !t.IsEmpty() && !t.Eof(); t.Next()) {
      s.words.emplace_back(n, t.Fields(0).AsString(), t.Fields(1).AsBlob());
    }
  }
  return s;
}

class ArchiveTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    view_ = std::make_unique<RecordingView>(pump_);
  }

  TIndexArchive& Archive() {
    if (!archive_) {
      archive_ = std::make_unique<TIndexArchive>(
          context_, Module(), dialogs_, pump_, *view_, [this] { ++caption_updates_; }, files_);
    }
    return *archive_;
  }

  // A location with pages and words that exercise the format's edges. Returns its Task_No.
  int Populate() {
    int no = AddLocation("http://example.com/docs/");
    TdmKiv& dm = Module();
    dm.tbTasks.Edit();
    dm.tbTasks.FieldByName("Task_Description").SetString("Docs");
    dm.tbTasks.FieldByName("Date").SetString("2024-03-07");
    dm.tbTasks.FieldByName("Time_Start").SetString("09:05:00");
    dm.tbTasks.FieldByName("Time_End").SetString("10:15:30");
    dm.tbTasks.FieldByName("Files").SetString("6");
    dm.tbTasks.FieldByName("SearchDelimiters").SetString(" \t\n\r,;");
    dm.tbTasks.Post();
    const std::string a40(40, 'a'), a41 = std::string(40, 'a') + "b";
    AddPage(dm, 1, "", 1, "Home", "welcome to the docs");
    AddPage(dm, 2, a40, 1, "Forty", "welcome to forty");
    AddPage(dm, 3, a41, 2, "", "");
    AddPage(dm, 4, "ab.html", -1, "", "");  // never fetched: state empty
    AddPage(dm, 5000, "guide/intro.html", 1, "Intro \xC3\xA9t\xC3\xA9", "intro text");
    AddPage(dm, kMaxPageNo, "guide/last.html", 1, "Last", "the last page");
    AddWord(dm, 1, "docs", Postings(1, 2));
    AddWord(dm, 1, "welcom", Postings(1, 128));  // 6 characters, 256 bytes
    AddWord(dm, 1, "the", Postings(4097, 85));   // 255 bytes
    AddWord(dm, 2, "welcome", Postings(1, 2));   // 7 characters
    AddWord(dm, 2, "doctors", Postings(5000, 1));
    AddWord(dm, 3, "documentation", Postings(1, 30000));  // 13 characters, 3-byte length
    AddWord(dm, 3, "\xC3\xA9t\xC3\xA9-long-word-x", Postings(2, 1));
    return no;
  }

  bool Export(const std::string& name) {
    dialogs_.file_answers.push_back(name);
    return Archive().bbExportClick();
  }
  bool Import(const std::string& name) {
    dialogs_.file_answers.push_back(name);
    return Archive().bbImportClick();
  }
  std::int64_t TaskCount() { return Module().tbTasks.RecordCount(); }
  // What the folder holds besides the root tables: location folders and stray files.
  std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename());
    std::sort(out.begin(), out.end());
    return out;
  }

  FaultyFileSystem files_;
  ScriptedEventPump pump_;
  std::unique_ptr<RecordingView> view_;
  std::unique_ptr<TIndexArchive> archive_;
  int caption_updates_ = 0;
};

TEST_F(ArchiveTest, ExportThenImportIntoAFreshProgramFolderReproducesTheLocation) {
  int no = Populate();
  const std::string target = root_ + "docs.kvx";
  ASSERT_TRUE(Export(root_ + "docs"));
  EXPECT_EQ(view_->status, "Index exported sucessfully.");
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(view_->highest, 100);
  EXPECT_FALSE(view_->visible);
  EXPECT_FALSE(fs::exists(root_ + kArchiveTempFileName));
  EXPECT_GT(pump_.pumps, 6);
  Snapshot original = Take(Module(), no);

  // The head: nine texts, the date as mm/dd/yyyy, then the compressed stream.
  std::string bytes = ReadFile(target);
  std::string head = BuildArchiveHeader(
      {"http://example.com/docs/", "Docs", "2024-03-07", "09:05:00", "10:15:30", "6", " \t\n\r,;"});
  ASSERT_EQ(bytes.substr(0, head.size()), head);
  EXPECT_NE(head.find("03/07/2024"), std::string::npos);
  EXPECT_EQ(static_cast<unsigned char>(bytes[head.size()]), 0x1A);
  EXPECT_EQ(bytes.substr(head.size() + 1, 3), "LH5");

  // A second program folder with nothing in it.
  TempFolder folder2("vm_archive2_");
  const std::string root2 = folder2.path();
  {
    ProgramContext context2;
    context2.program_folder = context2.db_root_folder = root2;
    ScriptedDialogs dialogs2;
    TdmKiv dm2(context2, dialogs2);
    ScriptedEventPump pump2;
    RecordingView view2(pump2);
    TIndexArchive archive2(context2, dm2, dialogs2, pump2, view2);
    dialogs2.file_answers.push_back(target);
    ASSERT_TRUE(archive2.bbImportClick());
    EXPECT_EQ(view2.status, "Index imported sucessfully.");
    EXPECT_TRUE(dialogs2.messages.empty());
    EXPECT_EQ(archive2.ImportedTaskNo(), 1);
    EXPECT_EQ(context2.CurrentLocationNumber, 1);
    EXPECT_FALSE(fs::exists(root2 + kArchiveTempFileName));
    EXPECT_EQ(Take(dm2, 1), original);
  }

  // Into the same program folder: a second location, now the current one.
  ASSERT_TRUE(Import(target));
  int imported = Archive().ImportedTaskNo();
  EXPECT_EQ(imported, no + 1);
  EXPECT_EQ(context_.CurrentLocationNumber, imported);
  EXPECT_EQ(caption_updates_ > 0, true);
  EXPECT_EQ(Take(Module(), imported), original);
}

TEST_F(ArchiveTest, ImportedWordsLandInTheTableTheirLengthNames) {
  AddLocation();
  AddPage(Module(), 1, "a.html", 1, "", "x");
  AddWord(Module(), 3, "sixsix", Postings(1, 1));         // 6 characters, held in Words3
  AddWord(Module(), 1, "sevense", Postings(1, 1));        // 7, in Words1
  AddWord(Module(), 2, "thirteenchars", Postings(1, 1));  // 13, in Words2
  ASSERT_TRUE(Export(root_ + "w"));
  ASSERT_TRUE(Import(root_ + "w.kvx"));
  auto words = Take(Module(), Archive().ImportedTaskNo()).words;
  std::vector<std::pair<int, std::string>> where;
  for (auto& [table, word, list] : words) where.emplace_back(table, word);
  EXPECT_EQ(where, (std::vector<std::pair<int, std::string>>{
                       {1, "sixsix"}, {2, "sevense"}, {3, "thirteenchars"}}));
}

TEST_F(ArchiveTest, ExtensionRuleAndOverwriteQuestion) {
  EXPECT_EQ(ArchiveFileName("/x/index"), "/x/index.kvx");
  EXPECT_EQ(ArchiveFileName("/x/index.txt"), "/x/index.kvx");
  EXPECT_EQ(ArchiveFileName("/x/a.b/index.tar.gz"), "/x/a.b/index.tar.kvx");
  EXPECT_EQ(ArchiveFileName("/x/index.KVX"), "/x/index.kvx");

  Populate();
  const std::string target = root_ + "old.kvx";
  WriteFile(target, "keep me");
  for (MessageButton answer : {kButtonNo, kButtonCancel}) {
    dialogs_.answers.push_back(answer);
    EXPECT_FALSE(Export(root_ + "old.txt"));
    EXPECT_EQ(ReadFile(target), "keep me");
  }
  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[0].text, "Do you wish to overwrite " + target + "?");
  EXPECT_EQ(dialogs_.messages[0].buttons, kYesNoCancel);
  EXPECT_EQ(dialogs_.messages[0].kind, MessageKind::kConfirmation);
  EXPECT_EQ(dialogs_.filters[0], kArchiveFileFilter);

  dialogs_.answers.push_back(kButtonYes);
  EXPECT_TRUE(Export(root_ + "old"));
  EXPECT_EQ(ReadFile(target).rfind("Vellumark Index v 1.0.0", 0), 0u);
}

TEST_F(ArchiveTest, FailedExportsLeaveTheTargetAsItWas) {
  // No locations at all.
  EXPECT_FALSE(Export(root_ + "none"));
  EXPECT_EQ(dialogs_.Texts().back(), "No tasks to export index.");

  // A location without pages cannot be exported; the file it would replace stays.
  AddLocation();
  const std::string target = root_ + "old.kvx";
  WriteFile(target, "keep me");
  auto before = Entries(root_);
  dialogs_.answers.push_back(kButtonYes);
  EXPECT_FALSE(Export(target));
  EXPECT_EQ(dialogs_.messages.back().text, "Cannot Export Index");
  EXPECT_EQ(dialogs_.messages.back().kind, MessageKind::kError);
  EXPECT_EQ(view_->status, "Index not exported.");
  EXPECT_FALSE(view_->visible);
  EXPECT_EQ(ReadFile(target), "keep me");
  EXPECT_EQ(Entries(root_), before);  // no temporary files left behind

  // A folder that does not exist.
  EXPECT_FALSE(Export(root_ + "missing/x"));
  EXPECT_EQ(dialogs_.Texts().back(), "Cannot create file " + root_ + "missing/x.kvx");
}

TEST_F(ArchiveTest, AFullDiskLeavesTheOldArchiveWhole) {
  Populate();
  ASSERT_TRUE(Export(root_ + "probe"));
  const std::uint64_t needed = files_.written;  // the index stream and the archive
  fs::remove(root_ + "probe.kvx");
  const std::string target = root_ + "old.kvx";
  WriteFile(target, "keep me");
  const auto before = Entries(root_);
  // The disk fills while the index stream is written, or at the archive's last byte.
  for (std::uint64_t room : {std::uint64_t{10}, needed - 1}) {
    SCOPED_TRACE(room);
    files_.disk_left = room;
    dialogs_.answers.push_back(kButtonYes);
    EXPECT_FALSE(Export(target));
    EXPECT_EQ(dialogs_.messages.back().text, "Cannot Export Index");
    EXPECT_EQ(view_->status, "Index not exported.");
    EXPECT_EQ(ReadFile(target), "keep me");
    EXPECT_EQ(Entries(root_), before);
  }
}

TEST_F(ArchiveTest, AnIndexStreamOf2GiBIsRefusedBeforeTheArchiveIsWritten) {
  Populate();
  files_.extra_size = (std::uint64_t{1} << 31) - 100;  // as if nearly 2 GiB were written
  EXPECT_FALSE(Export(root_ + "big"));
  EXPECT_EQ(dialogs_.Texts(),
            (std::vector<std::string>{"The index is too large to export: an archive holds less "
                                      "than 2 GiB of index data.",
                                      "Cannot Export Index"}));
  EXPECT_FALSE(fs::exists(root_ + "big.kvx"));
  EXPECT_FALSE(fs::exists(root_ + kArchiveTempFileName));
}

TEST_F(ArchiveTest, FindIsRefusedWhileAnExportOrImportRuns) {
  Populate();
  FakeBrowser browser;
  RecordingSearchView search_view;
  RecordingStatus status;
  TSearch search(context_, Module(), browser, dialogs_, search_view, status);
  search_view.text = "docs";
  int finds = 0;
  pump_.on_pump = [&](long) {
    EXPECT_TRUE(context_.archive_running);
    ++finds;
    search.bbFindClick();
  };
  ASSERT_TRUE(Export(root_ + "find"));
  ASSERT_TRUE(Import(root_ + "find.kvx"));
  EXPECT_GT(finds, 4);
  EXPECT_TRUE(browser.navigations.empty());
  EXPECT_FALSE(context_.archive_running);
  pump_.on_pump = nullptr;
  search.bbFindClick();
  EXPECT_EQ(browser.navigations.size(), 1u);
}

TEST_F(ArchiveTest, EscCancelsExportAndImportOnlyWhileTheProgressBarShows) {
  Populate();
  // Esc with the bar hidden does not cancel: the window closes instead.
  EXPECT_FALSE(ArchiveEscapeKey(*view_));
  EXPECT_FALSE(view_->cancel);

  pump_.on_pump = [&](long) { ArchiveEscapeKey(*view_); };
  EXPECT_FALSE(Export(root_ + "esc"));
  EXPECT_EQ(dialogs_.messages.back().text, "Export Canceled");
  EXPECT_EQ(dialogs_.messages.back().kind, MessageKind::kInformation);
  EXPECT_EQ(view_->status, "Index not exported.");
  EXPECT_FALSE(fs::exists(root_ + "esc.kvx"));
  EXPECT_FALSE(fs::exists(root_ + kArchiveTempFileName));

  // A flag left set from before is cleared when a run starts.
  pump_.on_pump = nullptr;
  ASSERT_TRUE(Export(root_ + "esc"));
  const auto tasks = TaskCount();
  const auto entries = Entries(root_);
  const int current = context_.CurrentLocationNumber;

  // Esc after the first page records are in: everything posted goes again.
  pump_.on_pump = [&](long) {
    if (view_->progress > 10) ArchiveEscapeKey(*view_);
  };
  EXPECT_FALSE(Import(root_ + "esc.kvx"));
  EXPECT_EQ(dialogs_.messages.back().text, "Import Canceled");
  EXPECT_EQ(view_->status, "Index not imported.");
  EXPECT_EQ(TaskCount(), tasks);
  EXPECT_EQ(Entries(root_), entries);
  EXPECT_EQ(context_.CurrentLocationNumber, current);
  EXPECT_EQ(Module().CurrentTaskNo(), current);
}

class ImportFailureTest : public ArchiveTest {
 protected:
  void SetUp() override {
    ArchiveTest::SetUp();
    Populate();
    ASSERT_TRUE(Export(root_ + "good"));
    good_ = ReadFile(root_ + "good.kvx");
    dialogs_.messages.clear();
    tasks_ = TaskCount();
    entries_ = Entries(root_);
  }

  // Imports `bytes` as an archive, expects it refused with `message`, and nothing left behind.
  void ExpectRefused(const std::string& bytes, const std::string& message) {
    const std::string path = root_ + "bad.kvx";
    WriteFile(path, bytes);
    dialogs_.messages.clear();
    EXPECT_FALSE(Import(path));
    ASSERT_FALSE(dialogs_.messages.empty());
    EXPECT_EQ(dialogs_.messages.back().text, message);
    EXPECT_FALSE(view_->visible);
    EXPECT_EQ(TaskCount(), tasks_);
    fs::remove(path);
    EXPECT_EQ(Entries(root_), entries_);
    EXPECT_EQ(context_.CurrentLocationNumber, 1);
  }

  // An archive whose head is `head` and whose stream is `stream`, compressed as export does.
  static std::string Archive(const std::string& head, const std::string& stream) {
    TMemoryStream source(std::vector<uint8_t>(stream.begin(), stream.end()));
    TMemoryStream image;
    image.Write(head.data(), head.size());
    TCompressor().CompressStream(image, source, coLZH5);
    return std::string(image.Data().begin(), image.Data().end());
  }
  static std::string Head(const std::string& date = "03/07/2024") {
    return BuildArchiveHeader({"http://x/", "", date, "09:00:00", "", "1", " "});
  }

  std::string good_;
  std::int64_t tasks_ = 0;
  std::vector<std::string> entries_;
};

TEST_F(ImportFailureTest, BadHeadsEndWithTheTemporaryFileMessage) {
  const std::string temp_message = "Cannot open temporary file " + root_ + kArchiveTempFileName;
  ExpectRefused("My " + good_, temp_message);
  ExpectRefused(std::string("Vellumark Index v 2.0.0") + good_.substr(good_.find('\0')),
                temp_message);
  ExpectRefused(good_.substr(0, 30), temp_message);
  EXPECT_EQ(view_->status, "Importing Index. Press ESC to cancel.");
  // A field text that its field cannot take fails the same way.
  ExpectRefused(Archive(Head("13/45/2024"), "0"), temp_message);
  ExpectRefused(Archive(BuildArchiveHeader({"u", "", "", "", "", "many", ""}), "0"), temp_message);

  dialogs_.messages.clear();
  EXPECT_FALSE(Import(root_ + "nowhere.kvx"));
  EXPECT_EQ(dialogs_.Texts(),
            std::vector<std::string>{"Cannot open file " + root_ + "nowhere.kvx"});
}

TEST_F(ImportFailureTest, CutOrDamagedStreamsRollBackEverything) {
  const std::size_t head = good_.find("LH5") - 1;
  for (std::size_t cut :
       {head, head + 10, head + 17, head + 40, good_.size() / 2, good_.size() - 1}) {
    SCOPED_TRACE(cut);
    ExpectRefused(good_.substr(0, cut), "Cannot Import Index");
  }
  for (std::size_t at = head + 17; at < good_.size(); at += (good_.size() - head) / 13) {
    SCOPED_TRACE(at);
    std::string damaged = good_;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
    ExpectRefused(damaged, "Cannot Import Index");
  }
}

TEST_F(ImportFailureTest, HostileStreamsThatExpandCleanlyAreRefused) {
  const std::string page = std::string("\x80\x00\x01", 3) + "a" + std::string("\0\1\0\0\0", 5);
  std::string words_end(1, '\0');
  // A page count far beyond the records.
  ExpectRefused(
      Archive(Head(), std::string("900000") + '\0' + page + words_end + std::string(40, 'x')),
      "Cannot Import Index");
  // Two pages with one number: the second post fails.
  ExpectRefused(Archive(Head(), std::string("2") + '\0' + page + page + words_end + "padding.."),
                "Cannot Import Index");
  // The same word twice.
  std::string word = std::string("\x04", 1) + "word" + std::string("\x02\x10\x00", 3);
  ExpectRefused(Archive(Head(), std::string("1") + '\0' + page + word + word + words_end),
                "Cannot Import Index");
  // A page list whose length runs past the end.
  ExpectRefused(Archive(Head(), std::string("1") + '\0' + page +
                                    std::string("\xC4word\x7F\xFF\xFF\xF0", 9) + "xx"),
                "Cannot Import Index");
}

TEST_F(ImportFailureTest, AnnouncedStreamsTooLargeForTheDataOrTheDiskAreNotExpanded) {
  // 26 bytes of LH5 that expand to 64 MiB: four blocks of 65,535 matches of 256 bytes whose
  // codes take no bits, the best the format allows. Announced as 256 MiB, they must not be
  // expanded at all.
  std::string blocks;
  for (int i = 0; i < 2; ++i)
    blocks += std::string("\xFF\xFF\0\0\x1F\xD0\x0F\xFF\xF0\0\x01\xFD\0", 13);
  const std::string inflated =
      Head() + std::string("\x1ALH5\0\0\0\x10", 8) + std::string(9, '\0') + blocks;
  files_.written = 0;
  ExpectRefused(inflated, "Cannot Import Index");
  EXPECT_EQ(files_.written, 0u);

  files_.free_space = 100;
  ExpectRefused(good_, "Cannot Import Index");
  EXPECT_EQ(files_.written, 0u);
}

}  // namespace
}  // namespace vellumark::testing

namespace vellumark::testing {
namespace {

TEST_F(ImportFailureTest, AFolderThatWasThereBeforeKeepsItsOwnFiles) {
  // The next location number (2, then 3: numbers are not used twice) names a folder, a real
  // one or a link to a folder elsewhere, that already holds a file of the user's.
  WriteFile(root_ + "cut.kvx", good_.substr(0, good_.size() - 5));
  fs::create_directory(root_ + "elsewhere");
  int next = 2;
  for (bool linked : {false, true}) {
    SCOPED_TRACE(linked);
    const std::string name = root_ + std::to_string(next++);
    const std::string folder = linked ? root_ + "elsewhere/" : name + "/";
    if (linked) {
      fs::create_directory_symlink(root_ + "elsewhere", name);
    } else {
      fs::create_directory(folder);
    }
    WriteFile(folder + "note.txt", "mine");
    EXPECT_FALSE(Import(root_ + "cut.kvx"));
    EXPECT_EQ(dialogs_.messages.back().text, "Cannot Import Index");
    EXPECT_EQ(TaskCount(), tasks_);
    EXPECT_EQ(ReadFile(folder + "note.txt"), "mine");
    EXPECT_FALSE(fs::exists(folder + kIndexFileName));
    EXPECT_EQ(fs::is_symlink(name), linked);
  }
}

}  // namespace
}  // namespace vellumark::testing
