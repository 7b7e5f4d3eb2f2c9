// LH5 streams against the LHA tools of the system, used as black boxes: our streams, placed in
// a level-0 LHA archive written here, must extract to the same bytes with lhasa and 7z (and
// bsdtar, for the streams it can take); the "-lh5-" entries that jlha writes must expand with
// our decoder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "lh5_test_util.h"

namespace vellumark::testing {
namespace {

namespace fs = std::filesystem;

std::vector<LhaEntry> ParseLha(const Bytes& a) {
  std::vector<LhaEntry> entries;
  size_t pos = 0;
  while (pos < a.size() && a[pos] != 0) {
    LhaEntry e;
    e.method.assign(a.begin() + pos + 2, a.begin() + pos + 7);
    uint32_t csize = GetLe(a, pos + 7, 4);
    e.original_size = GetLe(a, pos + 11, 4);
    const int level = a.at(pos + 20);
    size_t data_at = 0;
    if (level == 0 || level == 1) {
      const size_t name_len = a.at(pos + 21);
      e.name.assign(a.begin() + pos + 22, a.begin() + pos + 22 + name_len);
      e.crc = static_cast<uint16_t>(GetLe(a, pos + 22 + name_len, 2));
      data_at = pos + 2 + a[pos];
      if (level == 1) {
        // Extended headers follow the base header; their sizes count in the data size.
        uint32_t next = GetLe(a, data_at - 2, 2);
        while (next != 0) {
          const size_t at = data_at;
          data_at += next;
          csize -= next;
          next = GetLe(a, at + next - 2, 2);
        }
      }
    } else if (level == 2) {
      e.crc = static_cast<uint16_t>(GetLe(a, pos + 21, 2));
      uint32_t next = GetLe(a, pos + 24, 2);
      size_t at = pos + 26;
      while (next != 0) {
        if (a.at(at) == 0x01) e.name.assign(a.begin() + at + 1, a.begin() + at + next - 2);
        const uint32_t size = next;
        next = GetLe(a, at + size - 2, 2);
        at += size;
      }
      data_at = pos + GetLe(a, pos, 2);
      EXPECT_EQ(at, data_at);
    } else {
      ADD_FAILURE() << "header level " << level;
      break;
    }
    e.data.assign(a.begin() + data_at, a.begin() + data_at + csize);
    entries.push_back(e);
    pos = data_at + csize;
  }
  return entries;
}

Bytes ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& p, const Bytes& b) {
  std::ofstream f(p, std::ios::binary);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

int Shell(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str());
}

bool HaveTool(const std::string& tool) { return Shell("command -v " + tool) == 0; }

LhaEntry Ours(const std::string& name, const Bytes& original) {
  LhaEntry e;
  e.name = name;
  e.method = "-lh5-";
  e.original = original;
  e.data = EncodeRaw(original);
  return e;
}

// The inputs over which the tools and our coder must agree.
std::vector<LhaEntry> Inputs() {
  Bytes phrase;
  while (phrase.size() < 120000) {
    const std::string s = "<tr><td class=\"word\">archive</td><td>17</td></tr>\n";
    phrase.insert(phrase.end(), s.begin(), s.end());
  }
  std::vector<LhaEntry> in = {
      Ours("text.htm", HtmlLikeText(300000, 71)),
      Ours("binary.bin", StructuredBinary(80000, 72)),
      Ours("random.bin", RandomBytes(40000, 73)),
      Ours("phrase.txt", phrase),
      Ours("run.bin", Bytes(1 + 256 * 8000, 'z')),  // later blocks hold a single C symbol
      Ours("seventeen.txt", ToBytes("exactly 17 bytes!")),
      Ours("tiny.txt", ToBytes("tiny")),
      Ours("empty.txt", Bytes{}),
  };
  return in;
}

// What bsdtar 3.6 cannot take: a stream under 8 bytes, or one whose last block holds a single
// C symbol.
bool BsdtarCanTake(const LhaEntry& e) {
  if (e.data.size() < 8) return false;
  struct LastHead final : lh5::Trace {
    void OnBlockHead(const lh5::BlockHead& h) override { single = h.single_symbol[1] >= 0; }
    void OnMatch(int64_t, int, int) override {}
    void OnEnd(int64_t) override {}
    bool single = false;
  } trace;
  DecodeRaw(e.data, static_cast<int64_t>(e.original.size()), &trace);
  return !trace.single;
}

class LhaInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vm_lha_interop_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Extracts `archive` with `command` (run in `out`) and checks every entry.
  void ExpectExtracts(const std::string& tool, const std::string& command,
                      const std::vector<LhaEntry>& entries, const fs::path& out) {
    ASSERT_TRUE(HaveTool(tool)) << tool << " is missing; scripts/install-deps installs it";
    fs::create_directories(out);
    ASSERT_EQ(Shell("cd '" + out.string() + "' && " + command), 0) << command;
    for (const LhaEntry& e : entries) {
      EXPECT_EQ(ReadFile(out / e.name), e.original) << tool << ": " << e.name;
    }
  }

  fs::path dir_;
};

TEST_F(LhaInterop, ToolsExtractOurStreams) {
  const std::vector<LhaEntry> all = Inputs();
  const fs::path archive = dir_ / "ours.lzh";
  WriteFile(archive, LhaArchive(all));
  ExpectExtracts("lhasa", "lhasa xf '" + archive.string() + "'", all, dir_ / "lhasa");
  ExpectExtracts("7z", "7z x -y '" + archive.string() + "'", all, dir_ / "7z");

  std::vector<LhaEntry> for_bsdtar;
  for (const LhaEntry& e : all) {
    if (BsdtarCanTake(e)) for_bsdtar.push_back(e);
  }
  EXPECT_GE(for_bsdtar.size(), 4u);
  EXPECT_FALSE(BsdtarCanTake(all[4]));  // the long run keeps the trait that excludes it
  const fs::path narrow = dir_ / "bsdtar.lzh";
  WriteFile(narrow, LhaArchive(for_bsdtar));
  ExpectExtracts("bsdtar", "bsdtar xf '" + narrow.string() + "'", for_bsdtar, dir_ / "bsdtar");
}

TEST_F(LhaInterop, ToolsCheckTheCrcWeWrite) {
  // The same archive with one CRC bit wrong is refused, so the passing test above means the
  // CRC we write is the one the tools compute.
  std::vector<LhaEntry> one = {Inputs()[0]};
  const fs::path archive = dir_ / "badcrc.lzh";
  WriteFile(archive, LhaArchive(one, /*break_crc=*/true));
  ASSERT_TRUE(HaveTool("lhasa"));
  fs::create_directories(dir_ / "x");
  EXPECT_NE(Shell("cd '" + (dir_ / "x").string() + "' && lhasa xf '" + archive.string() + "'"), 0);
}

TEST_F(LhaInterop, OurDecoderExpandsJlhaStreams) {
  ASSERT_TRUE(HaveTool("jlha")) << "jlha is missing; scripts/install-deps installs it";
  const std::vector<LhaEntry> all = Inputs();
  std::string names;
  for (const LhaEntry& e : all) {
    WriteFile(dir_ / e.name, e.original);
    names += " '" + e.name + "'";
  }
  for (const char* level : {"1", "2"}) {
    SCOPED_TRACE(std::string("header level ") + level);
    const std::string archive = std::string("jlha") + level + ".lzh";
    ASSERT_EQ(Shell("cd '" + dir_.string() + "' && jlha ao5" + level + "q " + archive + names), 0);
    const std::vector<LhaEntry> got = ParseLha(ReadFile(dir_ / archive));
    ASSERT_EQ(got.size(), all.size());
    int lh5_entries = 0;
    for (const LhaEntry& g : got) {
      const auto it = std::find_if(all.begin(), all.end(),
                                   [&g](const LhaEntry& e) { return e.name == g.name; });
      ASSERT_NE(it, all.end()) << g.name;
      EXPECT_EQ(g.original_size, it->original.size());
      if (g.method != "-lh5-") continue;  // jlha stores what it cannot shrink as -lh0-
      ++lh5_entries;
      const Bytes out = DecodeRaw(g.data, g.original_size);
      EXPECT_EQ(out, it->original) << g.name;
      EXPECT_EQ(g.crc, Crc16(out)) << g.name;
    }
    EXPECT_GE(lh5_entries, 4);
  }
}

}  // namespace
}  // namespace vellumark::testing
