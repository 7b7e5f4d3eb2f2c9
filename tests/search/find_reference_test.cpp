// Find's result page, byte for byte, against a plain evaluation of the same sample: every
// posting added one by one into scratch tables Result and Result1 of an SQLite database in
// memory, All Words intersected through them, the ranking read back by score, and the page
// written line by line from the Files records. A generated index (fixed seed) and a few hundred
// generated samples cover every mode, with and without "Included" and "Show", stop questions
// answered No or Yes, with and without header lines.
#include <sqlite3.h>

#include <cctype>
#include <random>

#include "search_fixture.h"
#include "store/page_address.h"
#include "store/query.h"

namespace vellumark::testing {
namespace {

constexpr const char* kTaskUrl = "http://example.com/site/index.html";
constexpr const char* kBase = "http://example.com/site/";
constexpr int kSamples = 300;
const std::vector<std::string> kHeaderLines = {
    "<HEAD>",
    "<TITLE>Vellumark Result</TITLE>",
    "</HEAD>",
    "<BODY BGCOLOR=\"#FFFFFF\" TOPMARGIN=0 LEFTMARGIN=10 TEXT=\"#000000\"VLINK=\"#000000\"><BR>",
    "<FONT FACE=\"Arial\" SIZE=1><CENTER><H3>Search Result</H3><p></CENTER>",
    "<P><dl><FONT CLASS=10V FACE=\"Verdana, Arial, Helvetica\" SIZE=2>"};

using ::testing::IsEmpty;

// Answers Yes to the stop question asked before entry stop_at + 1, No to every other.
class StopAtDialogs final : public Dialogs {
 public:
  MessageButton Message(MessageKind, const std::string& text, MessageButtons) override {
    const std::string yes = "Found more then " + std::to_string(stop_at) + " matches (";
    if (text.rfind(yes, 0) == 0) return kButtonYes;
    if (text.rfind("Found more then ", 0) == 0) return kButtonNo;
    errors.push_back(text);
    return kButtonOk;
  }
  std::optional<std::string> OpenFileName(const std::string&) override { return {}; }
  std::optional<std::string> SaveFileName(const std::string&) override { return {}; }
  int stop_at = -1;
  std::vector<std::string> errors;
};

struct Sample {
  std::string text;
  TSearchMode mode;
  bool included;
  bool show;
  int stop_at;  // -1: every stop question answered No
  bool header;  // header lines present
};

// The scratch tables and the statements that fill them one posting at a time.
class ScratchTables {
 public:
  ScratchTables() {
    sqlite3_open(":memory:", &db_);
    Exec(
        "CREATE TABLE Result (Result_File_No INTEGER PRIMARY KEY, Result_Score INTEGER);"
        "CREATE INDEX I1 ON Result (Result_Score);"
        "CREATE TABLE Result1 (Result_File_No INTEGER PRIMARY KEY, Result_Score INTEGER);");
  }
  ~ScratchTables() {
    for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
    sqlite3_close(db_);
  }
  ScratchTables(const ScratchTables&) = delete;
  ScratchTables& operator=(const ScratchTables&) = delete;

  void Exec(const std::string& sql) {
    ASSERT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
  }
  // Adds one posting's score to `table`'s record of the page, making the record when missing.
  void Add(const std::string& table, int page, std::int64_t score) {
    sqlite3_stmt* found = Statement("SELECT 1 FROM " + table + " WHERE Result_File_No = ?");
    sqlite3_bind_int(found, 1, page);
    const bool exists = sqlite3_step(found) == SQLITE_ROW;
    sqlite3_reset(found);
    sqlite3_stmt* write =
        exists ? Statement("UPDATE " + table +
                           " SET Result_Score = Result_Score + ?2 WHERE Result_File_No = ?1")
               : Statement("INSERT INTO " + table + " VALUES (?1, ?2)");
    sqlite3_bind_int(write, 1, page);
    sqlite3_bind_int64(write, 2, score);
    EXPECT_EQ(sqlite3_step(write), SQLITE_DONE);
    sqlite3_reset(write);
  }
  // Walks Result: a page also in Result1 gets its score added, any other page is deleted.
  void Intersect() {
    for (const auto& [page, score] : Rows("Result")) {
      sqlite3_stmt* other = Statement("SELECT Result_Score FROM Result1 WHERE Result_File_No = ?");
      sqlite3_bind_int(other, 1, page);
      const bool there = sqlite3_step(other) == SQLITE_ROW;
      const std::int64_t add = there ? sqlite3_column_int64(other, 0) : 0;
      sqlite3_reset(other);
      if (there) {
        Add("Result", page, add);
      } else {
        Exec("DELETE FROM Result WHERE Result_File_No = " + std::to_string(page));
      }
    }
  }
  // Records of `table` in key order, or by falling score and rising page.
  std::vector<std::pair<int, std::int64_t>> Rows(const std::string& table, bool ranked = false) {
    std::vector<std::pair<int, std::int64_t>> rows;
    sqlite3_stmt* stmt =
        Statement("SELECT Result_File_No, Result_Score FROM " + table + " ORDER BY " +
                  (ranked ? "Result_Score DESC, Result_File_No" : "Result_File_No"));
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      rows.emplace_back(sqlite3_column_int(stmt, 0), sqlite3_column_int64(stmt, 1));
    }
    sqlite3_reset(stmt);
    return rows;
  }

 private:
  sqlite3_stmt* Statement(const std::string& sql) {
    auto it = statements_.find(sql);
    if (it != statements_.end()) return it->second;
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr);
    statements_[sql] = stmt;
    return stmt;
  }

  sqlite3* db_ = nullptr;
  std::map<std::string, sqlite3_stmt*> statements_;
};

std::string Escaped(std::string_view text, bool quotes) {
  std::string out;
  for (char c : text) {
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else if (c == '"' && quotes) {
      out += "&quot;";
    } else if (c == '\'' && quotes) {
      out += "&#39;";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return text;
}

class FindReferenceTest : public SearchTest {
 protected:
  // A generated location: pages with addresses, titles and start texts; words of 1 to 30
  // letters and a few with LIKE and quote characters, each on pages drawn by its rank, with
  // weights 0 to 7, some pages listed twice in a list and some missing from Files.
  void BuildIndex() {
    AddLocation(kTaskUrl);
    std::mt19937 rng(20261208);
    auto below = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    const std::vector<std::string> titles = {"",           "Plain title", "A & B <i>c</i>",
                                             "It's \"q\"", "Caf\xC3\xA9", "  spaced  "};
    for (const char* special : {"50%", "a_b", "o'neil", "back\\sl", "x-y"}) {
      vocabulary_.push_back(special);
    }
    while (vocabulary_.size() < 260) {
      std::string word(1 + below(30), ' ');
      for (char& c : word) c = static_cast<char>('a' + below(8));  // few letters: shared parts
      vocabulary_.push_back(word);
    }
    for (int page = 1; page <= 1200; ++page) pages_.push_back(page);
    for (int page = 4090; page <= 4110; ++page) pages_.push_back(page);  // 3-byte postings too
    for (int page : pages_) {
      std::string relative = "d" + std::to_string(below(5)) + "/p" + std::to_string(page);
      if (below(4) == 0) relative += "/" + std::string(30 + below(20), 'x');
      relative += below(6) == 0 ? "?a='1'&b=\"2\"" : ".html";
      std::string text = below(5) == 0 ? "" : "start of page " + std::to_string(page);
      if (below(7) == 0) text += " <b>bold</b> & more";
      AddPageRecord(page, relative, titles[below(static_cast<int>(titles.size()))], text);
      if (page % 3 == 0) {
        std::string body = "Page " + std::to_string(page) + ":";
        const int words = 5 + below(120);
        for (int i = 0; i < words; ++i) {
          std::string w = vocabulary_[below(40)];
          if (below(4) == 0)
            w[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(w[0])));
          body += (below(5) == 0 ? ", " : " ") + w;
        }
        browser_.pages[kBase + relative] = {"", {}, body};
      }
    }

    std::map<std::string, std::string> lists;  // stored key -> page list
    for (std::size_t rank = 0; rank < vocabulary_.size(); ++rank) {
      const std::string key = vocabulary_[rank].substr(0, 24);
      const double share = std::min(0.95, 1.3 / static_cast<double>(rank + 1));
      std::string& list = lists[key];
      std::vector<int> on;
      for (int page : pages_) {
        if (std::uniform_real_distribution<double>(0, 1)(rng) < share) on.push_back(page);
      }
      if (rank % 4 == 0) on.push_back(1201 + below(10));  // a page missing from Files
      if (rank % 5 == 0) std::shuffle(on.begin(), on.end(), rng);
      for (int page : on) {
        const int weight = below(50) == 0 ? 0 : 1 + below(7);
        const unsigned n = static_cast<unsigned>(page - 1);
        if (weight == 0 && page <= kMaxShortPageNo) {
          list += static_cast<char>(n >> 8);
          list += static_cast<char>(n & 0xFF);
        } else {
          AppendPosting(list, page, std::max(weight, 1));
        }
        if (below(40) == 0) AppendPosting(list, page, 1 + below(7));  // listed twice
      }
    }
    for (const auto& [key, list] : lists) {
      PutWordRecord(key.size() <= 6 ? 1 : key.size() <= 12 ? 2 : 3, key, list);
    }
  }

  Sample MakeSample(std::mt19937& rng, int i) {
    auto below = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    // Frequent words come up more often, as in real samples.
    auto word = [&] {
      const int r = below(3) == 0 ? below(8) : below(static_cast<int>(vocabulary_.size()));
      std::string w = vocabulary_[r];
      switch (below(5)) {
        case 0:  // a prefix
          w = w.substr(0, 1 + below(static_cast<int>(w.size())));
          break;
        case 1: {  // a part from inside
          const int from = below(static_cast<int>(w.size()));
          w = w.substr(from, 1 + below(static_cast<int>(w.size()) - from));
          break;
        }
        case 2:
          if (below(3) == 0) w = "zz" + w;  // found nowhere
          break;
        default:
          break;
      }
      if (below(6) == 0) w[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(w[0])));
      return w;
    };
    Sample s;
    s.mode = static_cast<TSearchMode>(i % 3);
    s.included = (i / 3) % 2 == 1;
    s.show = i % 11 == 0;
    const int stops[] = {-1, -1, -1, 10, 50, 100, 500};
    s.stop_at = stops[below(7)];
    s.header = i % 5 != 0;
    if (s.mode == smExactPhrase) {
      s.text = word();
    } else {
      const char* separators[] = {" ", ",", " , ", "  "};
      const int n = 1 + below(4);
      for (int k = 0; k < n; ++k) s.text += (k ? separators[below(4)] : "") + word();
      if (below(9) == 0) s.text = " ," + s.text + ",";
    }
    return s;
  }

  // The words Find searches for the sample, as the search bar's rules give them.
  static std::vector<std::string> Words(const Sample& s) {
    std::vector<std::string> words;
    if (s.mode == smExactPhrase) {
      words.push_back(s.text);
    } else {
      std::string word;
      for (char c : Lower(s.text) + " ") {
        if (c == ' ' || c == ',') {
          if (!word.empty()) words.push_back(word);
          word.clear();
        } else {
          word += c;
        }
      }
    }
    for (auto& w : words) w = w.substr(0, 24);
    return words;
  }

  // Adds the pages of every record matching `word` to `table`, posting by posting.
  bool QueryWordInto(ScratchTables& scratch, const std::string& table, const Sample& s,
                     const std::string& word, std::uint8_t multiplier) {
    const TWordMatch match = s.mode == smExactPhrase ? TWordMatch::kExact
                             : s.included            ? TWordMatch::kInside
                                                     : TWordMatch::kPrefix;
    bool found = false;
    const std::size_t limits[3] = {6, 12, 24};
    for (int t = 1; t <= 3; ++t) {
      if (word.empty() || word.size() > limits[t - 1]) continue;
      TQuery& q = dm_->quQuery;
      q.SetSQL(WordQuerySql(t, match));
      q.SetParam(1, WordQueryParam(word, match));
      for (q.Open(); !q.Eof(); q.Next()) {
        found = true;
        const std::string list = q.Fields(0).AsBlob();
        TPageListDecoder decoder(list);
        TPosting p;
        while (decoder.Next(p)) scratch.Add(table, p.file_no, std::int64_t{p.weight} * multiplier);
      }
      q.Close();
    }
    return found;
  }

  std::string ReferencePage(const Sample& s) {
    const std::vector<std::string> words = Words(s);
    ScratchTables scratch;
    const std::size_t n = words.size();
    auto multiplier = [n](std::size_t i) { return static_cast<std::uint8_t>(n - i); };
    if (s.mode == smAnyWords) {
      for (std::size_t i = 0; i < n; ++i)
        QueryWordInto(scratch, "Result", s, words[i], multiplier(i));
    } else if (s.mode == smAllWords) {
      if (QueryWordInto(scratch, "Result", s, words[0], multiplier(0))) {
        for (std::size_t i = 1; i < n; ++i) {
          scratch.Exec("DELETE FROM Result1");
          if (!QueryWordInto(scratch, "Result1", s, words[i], multiplier(i))) {
            scratch.Exec("DELETE FROM Result");
            break;
          }
          scratch.Intersect();
        }
      }
    } else {
      QueryWordInto(scratch, "Result", s, words[0], 1);
    }
    const auto ranked = scratch.Rows("Result", true);

    std::string page;
    auto line = [&page](const std::string& text) { page += text + "\r\n"; };
    line("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2//EN\">");
    line("<HTML>");
    if (!s.header) line("<P><dl><FONT CLASS=10V FACE=\"Verdana, Arial, Helvetica\" SIZE=2>");
    for (const auto& h : context_.HeaderLines) line(h);
    const std::string count = std::to_string(ranked.size());
    if (ranked.size() > 1000) {
      line("<BR>Found more then 1000 matches (" + count +
           "). Please enter more specific search sample!");
    } else {
      line("<BR>Found " + count + " matches.<BR><BR>");
      TTable& files = dm_->tbFiles;
      files.SetIndexName("");
      int counter = 0;
      for (const auto& [file_no, score] : ranked) {
        const int c = counter++;
        const bool asks =
            c == 500 || ((c == 10 || c == 50 || c == 100) && (s.show || s.mode == smExactPhrase));
        if (asks && c == s.stop_at) {
          line("<BR>Found more then " + std::to_string(c) + " matches (" + count +
               "). Search process interrupted by user request.");
          break;
        }
        if (!files.FindKey({std::to_string(file_no)})) continue;
        const std::string address = kBase + files.Fields(1).AsString() + files.Fields(2).AsString();
        const std::string title = files.Fields(5).AsString();
        const std::string start = files.Fields(6).AsString();
        std::string link = "<b>" + std::to_string(counter) +
                           ". <a STYLE=\"text-decoration:underline;\"href=\"" +
                           Escaped(address, true) + "\">";
        line(title.empty() ? link + Escaped(address, false) + "</a></b><BR>"
                           : link + Escaped(title, false) + "</a></b><BR><BR>");
        if (s.show) {
          auto it = browser_.pages.find(address);
          const std::string text = Lower(it == browser_.pages.end() ? "" : it->second.text);
          if (auto anchor = SampleAnchor(text, s.mode, words, s.text)) {
            line("<FONT COLOR=\"#003399\"><b>Text found:</b></FONT> " +
                 Escaped(TextSample(text, *anchor), false) + "<BR><BR>");
          }
        } else if (!start.empty()) {
          line("<FONT COLOR=\"#003399\"><b>Started as:</b></FONT> " + Escaped(start, false) +
               "<BR><BR>");
        } else {
          line("<BR>");
        }
      }
    }
    line("</BODY>");
    line("</HTML>");
    return page;
  }

  std::string PageFile() const {
    std::ifstream in(PagePath(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::vector<int> pages_;
  std::vector<std::string> vocabulary_;
};

TEST_F(FindReferenceTest, ResultPagesEqualThoseOfAPostingByPostingEvaluation) {
  BuildIndex();
  StopAtDialogs dialogs;
  TSearch search(context_, *dm_, browser_, dialogs, view_, status_);
  std::mt19937 rng(7);
  std::vector<Sample> samples;
  for (int i = 0; i < kSamples; ++i) samples.push_back(MakeSample(rng, i));
  // Every word counts: the multipliers of 260 words wrap at 256.
  std::string many;
  for (int i = 0; i < 260; ++i) many += vocabulary_[i % 9] + " ";
  samples.push_back({many, smAnyWords, false, false, -1, true});
  samples.push_back({many, smAllWords, true, false, -1, true});

  int listed = 0, too_many = 0, interrupted = 0, text_found = 0, failures = 0;
  for (const Sample& s : samples) {
    view_.text = s.text;
    view_.mode = s.mode;
    view_.sub_word = s.included;
    view_.show = s.show;
    dialogs.stop_at = s.stop_at;
    context_.HeaderLines = s.header ? kHeaderLines : std::vector<std::string>{};
    std::filesystem::remove(PagePath());
    search.bbFindClick();
    ASSERT_THAT(dialogs.errors, IsEmpty()) << s.text;
    const std::string expected = ReferencePage(s);
    const std::string written = PageFile();
    if (written != expected) {
      ADD_FAILURE() << "mode " << s.mode << " included " << s.included << " show " << s.show
                    << " sample '" << s.text << "'\n"
                    << ::testing::PrintToString(written.substr(0, 2000)) << "\n"
                    << ::testing::PrintToString(expected.substr(0, 2000));
      if (++failures == 3) break;
    }
    auto has = [&expected](const char* text) { return expected.find(text) != std::string::npos; };
    (has("Please enter more specific") ? too_many : listed)++;
    interrupted += has("interrupted by user request");
    text_found += has("Text found:");
  }
  // The samples reach every kind of page.
  EXPECT_GT(listed, kSamples / 2);
  EXPECT_GT(too_many, 10);
  EXPECT_GT(interrupted, 3);
  EXPECT_GT(text_found, 3);
}

}  // namespace
}  // namespace vellumark::testing
