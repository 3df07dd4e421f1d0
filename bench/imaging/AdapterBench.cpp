// The JPEG, PNG and TIFF adapters against the bare library decoding the same 2048x1556 frame
// into a plain buffer, in the same run. Each side allocates its output once per decode, as the
// frame cache does. The machine is shared: compare the CPU column, and the medians of several
// repetitions (--benchmark_repetitions=5).
#include <benchmark/benchmark.h>
#include <png.h>
#include <tiffio.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>
// jpeglib.h needs FILE and size_t first.
#include <jpeglib.h>

#include "imaging/ImageFileWriter.h"
#include "imaging/decoders/JPEGDecoder.h"
#include "imaging/decoders/PNGDecoder.h"
#include "imaging/decoders/TIFFDecoder.h"

namespace {

constexpr int kWidth = 2048;
constexpr int kHeight = 1556;

// A render-like frame: smooth gradients, soft shapes and a little grain, so the codecs do real
// work (a flat picture would compress to nothing).
void Paint(CImageBitmap& b) {
  std::uint32_t seed = 12345;
  for (int y = 0; y < kHeight; ++y) {
    auto* row = reinterpret_cast<RvPixel*>(b.GetLineArray()[y]);
    for (int x = 0; x < kWidth; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int grain = int(seed >> 29) - 4;
      const double r = std::hypot(x - 900.0, y - 700.0);
      const int v = int(128 + 100 * std::sin(r / 60.0));
      auto clamp = [](int c) { return std::uint8_t(std::min(255, std::max(0, c))); };
      row[x] = RvMakePixel(clamp(v + grain), clamp(x * 255 / kWidth + grain),
                           clamp(y * 255 / kHeight - grain), 255);
    }
  }
}

struct Files {
  std::string jpeg, png, tiff, tiffLzw;
  std::vector<std::uint8_t> jpegBytes, pngBytes, tiffBytes;
};

// The frame as an 8-bit RGB TIFF with LZW compression, in strips of libtiff's default size
// (the adapter's own writer makes the Deflate one).
bool WriteLzwTiff(const CImageBitmap& frame, const std::string& path) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) return false;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, std::uint32_t(kWidth));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, std::uint32_t(kHeight));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
  std::vector<std::uint8_t> row(std::size_t(kWidth) * 3);
  bool ok = true;
  for (int y = 0; y < kHeight && ok; ++y) {
    const std::uint8_t* p = frame.GetLineArray()[y];
    for (int x = 0; x < kWidth; ++x) {
      row[3 * std::size_t(x)] = p[4 * x + 2];
      row[3 * std::size_t(x) + 1] = p[4 * x + 1];
      row[3 * std::size_t(x) + 2] = p[4 * x];
    }
    ok = TIFFWriteScanline(tif, row.data(), std::uint32_t(y), 0) >= 0;
  }
  TIFFClose(tif);
  return ok;
}

std::vector<std::uint8_t> Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

const Files& TestFiles() {
  static const Files files = [] {
    Files f;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "rv-adapter-bench";
    std::filesystem::create_directories(dir);
    f.jpeg = (dir / "frame.jpg").string();
    f.png = (dir / "frame.png").string();
    f.tiff = (dir / "frame.tif").string();
    f.tiffLzw = (dir / "frame-lzw.tif").string();
    CDIBSectionBitmap frame;
    frame.Create(kWidth, kHeight, 32, false);
    Paint(frame);
    std::string error;
    if (!WriteJPEGFile(frame, f.jpeg, 90, &error) || !WritePNGFile(frame, f.png, &error) ||
        !WriteTIFFFile(frame, f.tiff, &error) || !WriteLzwTiff(frame, f.tiffLzw)) {
      std::fprintf(stderr, "cannot write the benchmark frames: %s\n", error.c_str());
      std::exit(1);
    }
    f.jpegBytes = Slurp(f.jpeg);
    f.pngBytes = Slurp(f.png);
    f.tiffBytes = Slurp(f.tiff);
    return f;
  }();
  return files;
}

// From the bytes in memory, like the library baselines of JPEG and PNG.
void RunAdapter(benchmark::State& state, CImageDecoder& decoder,
                const std::vector<std::uint8_t>& data) {
  for (auto _ : state) {
    CDIBSectionBitmap bitmap;
    decoder.DecodeMemory(data.data(), data.size(), &bitmap);
    benchmark::DoNotOptimize(bitmap.GetLineArray()[0][0]);
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

// Through the mapped file, the way the frame cache decodes.
void RunAdapterFile(benchmark::State& state, CImageDecoder& decoder, const std::string& path) {
  for (auto _ : state) {
    CDIBSectionBitmap bitmap;
    decoder.DecodeFile(path, &bitmap);
    benchmark::DoNotOptimize(bitmap.GetLineArray()[0][0]);
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

// ---- JPEG
void BM_JPEG_Adapter(benchmark::State& state) {
  CJPEGDecoder decoder;
  RunAdapter(state, decoder, TestFiles().jpegBytes);
}

void BM_JPEG_AdapterFile(benchmark::State& state) {
  CJPEGDecoder decoder;
  RunAdapterFile(state, decoder, TestFiles().jpeg);
}

void BM_JPEG_Library(benchmark::State& state) {
  const std::vector<std::uint8_t>& data = TestFiles().jpegBytes;
  for (auto _ : state) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.dct_method = JDCT_FLOAT;
    cinfo.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&cinfo);
    const std::size_t stride = std::size_t(cinfo.output_width) * 4;
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[stride * cinfo.output_height]);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = buffer.get() + stride * cinfo.output_scanline;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(buffer[0]);
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

// ---- PNG
struct PngMemory {
  const std::uint8_t* data;
  std::size_t size, position;
};

void PngRead(png_structp png, png_bytep out, png_size_t n) {
  auto* m = static_cast<PngMemory*>(png_get_io_ptr(png));
  if (n > m->size - m->position) png_error(png, "short");
  std::memcpy(out, m->data + m->position, n);
  m->position += n;
}

void BM_PNG_Adapter(benchmark::State& state) {
  CPNGDecoder decoder;
  RunAdapter(state, decoder, TestFiles().pngBytes);
}

void BM_PNG_AdapterFile(benchmark::State& state) {
  CPNGDecoder decoder;
  RunAdapterFile(state, decoder, TestFiles().png);
}

void BM_PNG_Library(benchmark::State& state) {
  const std::vector<std::uint8_t>& data = TestFiles().pngBytes;
  for (auto _ : state) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    PngMemory memory{data.data(), data.size(), 0};
    png_set_read_fn(png, &memory, PngRead);
    png_read_info(png, info);
    png_set_bgr(png);
    png_read_update_info(png, info);
    const std::size_t width = png_get_image_width(png, info),
                      height = png_get_image_height(png, info);
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[width * height * 4]);
    std::vector<png_bytep> rows(height);
    for (std::size_t y = 0; y < height; ++y) rows[y] = buffer.get() + y * width * 4;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(buffer[0]);
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

// ---- TIFF
// Argument 0: Deflate, 1: LZW. The adapter reads samples directly; the baseline is libtiff's
// RGBA interface, which the adapter used before (and still uses for YCbCr and palettes).
// libtiff opens the file itself in the baseline, so the adapter goes through the file too.
const std::string& TiffFile(const benchmark::State& state) {
  return state.range(0) == 0 ? TestFiles().tiff : TestFiles().tiffLzw;
}

void BM_TIFF_AdapterFile(benchmark::State& state) {
  CTIFFDecoder decoder;
  RunAdapterFile(state, decoder, TiffFile(state));
}

void BM_TIFF_Library(benchmark::State& state) {
  const std::string& path = TiffFile(state);
  for (auto _ : state) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    std::unique_ptr<std::uint32_t[]> buffer(new std::uint32_t[std::size_t(width) * height]);
    TIFFReadRGBAImage(tif, width, height, buffer.get(), 0);
    TIFFClose(tif);
    benchmark::DoNotOptimize(buffer[0]);
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

BENCHMARK(BM_JPEG_Library)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JPEG_Adapter)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JPEG_AdapterFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PNG_Library)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PNG_Adapter)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PNG_AdapterFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TIFF_Library)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TIFF_AdapterFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
