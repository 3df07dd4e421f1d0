// Grouping a large folder into sequences, against the bare cost of listing it (readdir + stat)
// measured in the same run.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "sequence/SequenceList.h"

namespace {

// 100,000 empty files: five sequences of 19,800 frames (two of them without zero padding, so
// the listing's name order is not their number order) and 1,000 single files, created in a
// shuffled order.
class BigFolder {
 public:
  BigFolder() {
    std::string templ = (std::filesystem::temp_directory_path() / "rvbench-XXXXXX").string();
    if (!mkdtemp(templ.data())) std::abort();
    m_path = templ;
    std::vector<std::string> names;
    const char* patterns[] = {"shot_%05d.exr", "plate.%d.dpx", "comp_v2_%06d.tif", "bg-%d.png",
                              "fg_%04d.jpg"};
    for (const char* pattern : patterns)
      for (int n = 1; n <= 19800; ++n) names.push_back(Format(pattern, n));
    for (int n = 0; n < 1000; ++n) names.push_back(Format("note_%dx.txt", n));
    std::shuffle(names.begin(), names.end(), std::mt19937(42));
    for (const std::string& name : names) {
      const int fd = ::open((m_path + "/" + name).c_str(), O_CREAT | O_WRONLY, 0644);
      if (fd < 0) std::abort();
      ::close(fd);
    }
  }
  ~BigFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  const std::string& Path() const { return m_path; }

 private:
  static std::string Format(const char* pattern, int n) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, n);
    return buffer;
  }
  std::string m_path;
};

const BigFolder& Folder() {
  static BigFolder folder;
  return folder;
}

// The baseline: every entry read and examined once, nothing else.
void BM_ReaddirStat(benchmark::State& state) {
  const std::string& path = Folder().Path();
  for (auto _ : state) {
    DIR* dir = opendir(path.c_str());
    const int fd = dirfd(dir);
    std::uint64_t bytes = 0;
    std::size_t files = 0;
    while (const dirent* entry = readdir(dir)) {
      struct stat st {};
      if (fstatat(fd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode)) {
        bytes += std::uint64_t(st.st_size);
        ++files;
      }
    }
    closedir(dir);
    benchmark::DoNotOptimize(bytes);
    state.counters["files"] = double(files);
  }
}
BENCHMARK(BM_ReaddirStat)->Unit(benchmark::kMillisecond);

// The listing step of the grouping alone (sorted names with their stamps), for the breakdown.
void BM_ListFolderSorted(benchmark::State& state) {
  const std::string path = Folder().Path() + "/";
  std::vector<RvDirEntry> entries;
  for (auto _ : state) {
    RvListFolder(path, "*.*", &entries);
    benchmark::DoNotOptimize(entries.data());
  }
}
BENCHMARK(BM_ListFolderSorted)->Unit(benchmark::kMillisecond);

void BM_GroupFolder(benchmark::State& state) {
  const std::string path = Folder().Path() + "/";
  for (auto _ : state) {
    CRvSequenceList list(path, "*.*");
    state.counters["sequences"] = double(list.GetSequences().size());
    benchmark::DoNotOptimize(list.GetSequences().data());
  }
}
BENCHMARK(BM_GroupFolder)->Unit(benchmark::kMillisecond);

// The lookup of one sequence examines only the names its mask matches.
void BM_LookupOneSequence(benchmark::State& state) {
  const std::string path = Folder().Path() + "/fg_0042.jpg";
  for (auto _ : state) {
    std::unique_ptr<CRvSequence> sequence = RvLookupSequence(path);
    if (!sequence || sequence->GetFrameCount() != 19800) state.SkipWithError("lookup failed");
    benchmark::DoNotOptimize(sequence.get());
  }
}
BENCHMARK(BM_LookupOneSequence)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
