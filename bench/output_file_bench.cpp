// Appending one page's text to output files of growing size, beside rewriting the whole file for every page
// (read everything, join, write everything back). Appending costs the same whatever the file's size; the
// rewrite grows with it, which over a run of 1980 pages makes the total work quadratic.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/output_file.h"
#include "text/file.h"

namespace {

namespace fs = std::filesystem;

// A page's text as the run appends it: a dozen sayings of about 60 bytes, each behind CR LF.
qh::Text PageText() {
  std::string s;
  for (int i = 0; i < 12; ++i) s += "\r\n" + std::string(60, static_cast<char>('a' + i));
  s += "\r\n";
  return qh::Text::FromCp936(s);
}

class ScratchFile {
 public:
  explicit ScratchFile(std::int64_t size) {
    std::string name = (fs::temp_directory_path() / "qh-output-bench-XXXXXX").string();
    const int fd = mkstemp(name.data());
    if (fd >= 0) close(fd);
    path_ = name;
    fs::resize_file(path_, static_cast<std::uintmax_t>(size));
    size_ = size;
  }
  ~ScratchFile() {
    std::error_code ec;
    fs::remove(path_, ec);
  }
  void Reset() const { fs::resize_file(path_, static_cast<std::uintmax_t>(size_)); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
  std::int64_t size_ = 0;
};

void BM_Append(benchmark::State& state) {
  const ScratchFile file(state.range(0));
  const qh::Text text = PageText();
  std::int64_t sinceReset = 0;
  for (auto _ : state) {
    if (!qh::AppendToOutputFile(file.path(), text).ok()) state.SkipWithError("append failed");
    if (++sinceReset == 1000) {  // keep the file near its nominal size
      state.PauseTiming();
      file.Reset();
      sinceReset = 0;
      state.ResumeTiming();
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

void BM_RewriteWholeFile(benchmark::State& state) {
  const ScratchFile file(state.range(0));
  const qh::Bytes page = qh::TextToBytes(PageText());
  for (auto _ : state) {
    const qh::Bytes all = qh::ConcatBytes(qh::ReadWholeFile(file.path()), page);
    std::ofstream out(file.path(), std::ios::binary | std::ios::trunc);
    out.write(all.data(), static_cast<std::streamsize>(all.size()));
    if (!out.flush()) state.SkipWithError("rewrite failed");
    state.PauseTiming();
    out.close();
    file.Reset();
    state.ResumeTiming();
  }
}

constexpr std::int64_t kMiB = 1 << 20;
BENCHMARK(BM_Append)->Arg(0)->Arg(1 * kMiB)->Arg(30 * kMiB)->Arg(300 * kMiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RewriteWholeFile)->Arg(1 * kMiB)->Arg(30 * kMiB)->Arg(300 * kMiB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
