// Triangle-filter resample of a 2048x1556 32-bit frame (a 2K film scan) down to half size and up
// to double size, against ImageMagick's Triangle resize of the same pixels on one thread.
//
// Baseline method: the frame is written once as an ImageMagick pixel cache (.mpc, which is read
// by mapping the raw pixels), then each iteration runs
//   convert -limit thread 1 in.mpc -filter Triangle -resize WxH! null:
// and the same command without -resize; the difference of the two is the resize alone (process
// start, pixel-cache read and the null write cancel out). Ours is timed on the in-memory bitmap,
// single-threaded. Both sides exclude file I/O. The reported times are CPU times (the calling
// thread's for ours, the child process's user + system time for ImageMagick), because the
// build machine is shared and wall times there mostly measure the other jobs.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "imageops/CropResample.h"

namespace {

constexpr int kWidth = 2048;
constexpr int kHeight = 1556;

std::unique_ptr<CDIBSectionBitmap> MakeFrame() {
  auto frame = std::make_unique<CDIBSectionBitmap>();
  frame->Create(kWidth, kHeight, 32, true);
  unsigned state = 12345;
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t* row = frame->GetLineArray()[y];
    for (int i = 0; i < kWidth * 4; ++i) {
      // Smooth gradients plus noise, like a rendered frame.
      state = state * 1103515245u + 12345u;
      row[i] = static_cast<std::uint8_t>((i / 4 + y) / 8 + ((state >> 16) & 15));
    }
  }
  return frame;
}

const CDIBSectionBitmap& Frame() {
  static const std::unique_ptr<CDIBSectionBitmap> frame = MakeFrame();
  return *frame;
}

// The benchmark's working folder, removed at exit.
struct WorkDir {
  std::filesystem::path path;
  WorkDir() {
    path = std::filesystem::temp_directory_path() /
           ("rv-resample-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(path);
  }
  ~WorkDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

WorkDir& Work() {
  static WorkDir dir;
  return dir;
}

int Run(const std::string& command) {
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Writes the frame as PAM (RGBA or RGB) and converts it to a pixel cache; returns its path or ""
// when ImageMagick is not available.
std::string PixelCache(bool withAlpha) {
  const std::string stem = (Work().path / (withAlpha ? "rgba" : "rgb")).string();
  const std::string mpc = stem + ".mpc";
  if (std::filesystem::exists(mpc)) return mpc;
  const CDIBSectionBitmap& frame = Frame();
  {
    std::ofstream out(stem + ".pam", std::ios::binary);
    out << "P7\nWIDTH " << kWidth << "\nHEIGHT " << kHeight << "\nDEPTH " << (withAlpha ? 4 : 3)
        << "\nMAXVAL 255\nTUPLTYPE " << (withAlpha ? "RGB_ALPHA" : "RGB") << "\nENDHDR\n";
    std::string row;
    for (int y = 0; y < kHeight; ++y) {
      row.clear();
      const std::uint8_t* p = frame.GetLineArray()[y];
      for (int x = 0; x < kWidth; ++x, p += 4) {
        row.push_back(static_cast<char>(p[2]));
        row.push_back(static_cast<char>(p[1]));
        row.push_back(static_cast<char>(p[0]));
        if (withAlpha) row.push_back(static_cast<char>(p[3]));
      }
      out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
  }
  if (Run("convert " + stem + ".pam " + mpc) != 0) return "";
  return mpc;
}

double ChildrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// CPU time the command's processes used.
double CpuSeconds(const std::string& command) {
  const double before = ChildrenCpuSeconds();
  Run(command);
  return ChildrenCpuSeconds() - before;
}

void BM_Resample(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const CDIBSectionBitmap& frame = Frame();
  for (auto _ : state) {
    const double start = ThreadCpuSeconds();
    auto result = RvResampleBitmap(frame, width, height);
    benchmark::DoNotOptimize(result.get());
    state.SetIterationTime(ThreadCpuSeconds() - start);
  }
}

// The same pixels without the fourth byte: 24-bit frames (JPEG, most TIFFs) take the 3-channel
// path. Compare with the RGB baseline.
void BM_Resample24(benchmark::State& state) {
  static const std::unique_ptr<CDIBSectionBitmap> frame24 = [] {
    auto bitmap = std::make_unique<CDIBSectionBitmap>();
    bitmap->Create(kWidth, kHeight, 24, false);
    for (int y = 0; y < kHeight; ++y) {
      const std::uint8_t* in = Frame().GetLineArray()[y];
      std::uint8_t* out = bitmap->GetLineArray()[y];
      for (int x = 0; x < kWidth; ++x) std::memcpy(out + 3 * x, in + 4 * x, 3);
    }
    return bitmap;
  }();
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  for (auto _ : state) {
    const double start = ThreadCpuSeconds();
    auto result = RvResampleBitmap(*frame24, width, height);
    benchmark::DoNotOptimize(result.get());
    state.SetIterationTime(ThreadCpuSeconds() - start);
  }
}

void ImageMagick(benchmark::State& state, bool withAlpha) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const std::string mpc = PixelCache(withAlpha);
  if (mpc.empty()) {
    state.SkipWithError("ImageMagick's convert is not available");
    return;
  }
  const std::string base = "convert -limit thread 1 " + mpc;
  const std::string resize = base + " -filter Triangle -resize " + std::to_string(width) + "x" +
                             std::to_string(height) + "! null:";
  const std::string noop = base + " null:";
  for (auto _ : state) {
    const double withResize = CpuSeconds(resize);
    const double without = CpuSeconds(noop);
    state.SetIterationTime(std::max(0.0, withResize - without));
  }
}

void BM_ImageMagickRGBA(benchmark::State& state) { ImageMagick(state, true); }
void BM_ImageMagickRGB(benchmark::State& state) { ImageMagick(state, false); }

}  // namespace

BENCHMARK(BM_Resample)
    ->Args({1024, 778})
    ->Args({4096, 3112})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Resample24)
    ->Args({1024, 778})
    ->Args({4096, 3112})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageMagickRGBA)
    ->Args({1024, 778})
    ->Args({4096, 3112})
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImageMagickRGB)
    ->Args({1024, 778})
    ->Args({4096, 3112})
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
