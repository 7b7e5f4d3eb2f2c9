// Speed of the compressor on 32 MB of HTML-like text (LH5) and 8 MB of random bytes (which
// fall back to storing), both ways, with the compression ratio. In the same run: lhasa
// extracting an archive of the same text, gzip -6 compressing it, and the size jlha gives for
// "-lh5-" on it. All times are wall-clock; run with repetitions and read the medians.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "compress/compressor.h"
#include "compress/lh5_test_util.h"  // the inputs the tests use

namespace vellumark::testing {
namespace {

namespace fs = std::filesystem;

constexpr size_t kTextSize = 32u << 20;
constexpr size_t kRandomSize = 8u << 20;

const Bytes& Text() {
  static const Bytes text = HtmlLikeText(kTextSize, 2026);
  return text;
}
const Bytes& Random() {
  static const Bytes random = RandomBytes(kRandomSize, 2026);
  return random;
}

Bytes Compress(const Bytes& in) {
  TCompressor c;
  TMemoryStream source(in), dest;
  c.CompressStream(dest, source, coLZH5);
  return std::move(dest.Data());
}

const Bytes& PackedText() {
  static const Bytes packed = Compress(Text());
  return packed;
}

const fs::path& WorkDir() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("vm_compress_bench_" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

void WriteFile(const fs::path& p, const Bytes& b) {
  std::ofstream f(p, std::ios::binary);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// A one-entry LHA archive (level-0 header) holding our LH5 stream of the text.
const fs::path& TextArchive() {
  static const fs::path path = [] {
    const Bytes& text = Text();
    const Bytes stream(PackedText().begin() + TCompressor::kHeaderSize, PackedText().end());
    const Bytes archive = LhaArchive(
        {LhaEntry{.name = "text.htm", .method = "-lh5-", .original = text, .data = stream}});
    const fs::path p = WorkDir() / "text.lzh";
    WriteFile(p, archive);
    return p;
  }();
  return path;
}

const fs::path& TextFile() {
  static const fs::path path = [] {
    const fs::path p = WorkDir() / "text.htm";
    WriteFile(p, Text());
    return p;
  }();
  return path;
}

// User plus system time of the finished child processes, in seconds.
double ChildCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// CPU time of this process, in seconds.
double OwnCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void SetOwnCpuRate(benchmark::State& state, double cpu_seconds, size_t bytes) {
  if (cpu_seconds > 0) {
    state.counters["cpu_MB/s"] =
        static_cast<double>(bytes) * static_cast<double>(state.iterations()) / cpu_seconds / 1e6;
  }
}

// Reports the tool's own CPU speed too: wall-clock times suffer when the machine is busy.
void SetChildCpuRate(benchmark::State& state, double cpu_seconds, size_t bytes) {
  if (cpu_seconds > 0) {
    state.counters["tool_cpu_MB/s"] =
        static_cast<double>(bytes) * static_cast<double>(state.iterations()) / cpu_seconds / 1e6;
  }
}

void Shell(benchmark::State& state, const std::string& command) {
  if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
}

void BM_CompressText(benchmark::State& state) {
  const Bytes& text = Text();
  size_t packed = 0;
  const double cpu0 = OwnCpuSeconds();
  for (auto _ : state) packed = Compress(text).size();
  SetOwnCpuRate(state, OwnCpuSeconds() - cpu0, text.size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(text.size());
  state.counters["size"] = static_cast<double>(packed);
}

// Expands `packed` (a container of `original_size` bytes) once per iteration.
void ExpandBench(benchmark::State& state, const Bytes& packed, size_t original_size) {
  const double cpu0 = OwnCpuSeconds();
  for (auto _ : state) {
    TCompressor c;
    TMemoryStream source(packed), dest;
    c.ExpandStream(dest, source);
    benchmark::DoNotOptimize(dest.Data().data());
  }
  SetOwnCpuRate(state, OwnCpuSeconds() - cpu0, original_size);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * original_size));
}

void BM_ExpandText(benchmark::State& state) { ExpandBench(state, PackedText(), Text().size()); }

void BM_CompressRandom(benchmark::State& state) {
  const Bytes& random = Random();
  size_t packed = 0;
  const double cpu0 = OwnCpuSeconds();
  for (auto _ : state) packed = Compress(random).size();
  SetOwnCpuRate(state, OwnCpuSeconds() - cpu0, random.size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * random.size()));
  state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(random.size());
}

void BM_ExpandRandom(benchmark::State& state) {
  static const Bytes packed = Compress(Random());
  ExpandBench(state, packed, Random().size());
}

// lhasa writes the entry to standard output, which goes to /dev/null; our expansion above
// writes to memory.
void BM_LhasaExtractText(benchmark::State& state) {
  const std::string command = "lhasa pq '" + TextArchive().string() + "' > /dev/null";
  const double cpu0 = ChildCpuSeconds();
  for (auto _ : state) Shell(state, command);
  SetChildCpuRate(state, ChildCpuSeconds() - cpu0, Text().size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Text().size()));
}

void BM_Gzip6CompressText(benchmark::State& state) {
  const fs::path out = WorkDir() / "text.gz";
  const std::string command = "gzip -6 -c '" + TextFile().string() + "' > '" + out.string() + "'";
  const double cpu0 = ChildCpuSeconds();
  for (auto _ : state) Shell(state, command);
  SetChildCpuRate(state, ChildCpuSeconds() - cpu0, Text().size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Text().size()));
  state.counters["ratio"] =
      static_cast<double>(fs::file_size(out)) / static_cast<double>(Text().size());
}

// One run of jlha: the size of its "-lh5-" data for the text against ours.
void BM_JlhaSizeText(benchmark::State& state) {
  const fs::path archive = WorkDir() / "jlha.lzh";
  for (auto _ : state) {
    fs::remove(archive);
    Shell(state, "cd '" + WorkDir().string() + "' && jlha ao5q jlha.lzh text.htm > /dev/null");
  }
  std::ifstream f(archive, std::ios::binary);
  const Bytes a((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (a.size() < 22) {
    state.SkipWithError("no jlha archive");
    return;
  }
  const uint32_t jlha_size = a[7] | (a[8] << 8) | (a[9] << 16) | (uint32_t(a[10]) << 24);
  const double ours = static_cast<double>(PackedText().size() - TCompressor::kHeaderSize);
  state.counters["jlha_size"] = jlha_size;
  state.counters["our_size"] = ours;
  state.counters["ours_over_jlha"] = ours / jlha_size;
}

BENCHMARK(BM_CompressText)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExpandText)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LhasaExtractText)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Gzip6CompressText)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CompressRandom)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExpandRandom)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JlhaSizeText)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
}  // namespace vellumark::testing

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(vellumark::testing::WorkDir());
  return 0;
}
