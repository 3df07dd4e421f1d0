// Each writer of a 2048 x 1556 frame against the bare library writing the same pixels with the
// same settings, in the same run.
#include <benchmark/benchmark.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "output/AviWriter.h"
#include "output/ImageEncoders.h"

namespace {

constexpr int kWidth = 2048, kHeight = 1556;

// A film-like frame: smooth gradients with a little noise, so compressors do real work.
const CDIBSectionBitmap& Frame() {
  static CDIBSectionBitmap* frame = [] {
    auto* bitmap = new CDIBSectionBitmap;
    bitmap->Create(kWidth, kHeight, 32, false);
    std::uint32_t seed = 12345;
    for (int y = 0; y < kHeight; ++y) {
      std::uint8_t* row = bitmap->GetLineArray()[y];
      for (int x = 0; x < kWidth; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const int noise = int(seed >> 29);
        row[4 * x] = std::uint8_t((x / 8 + noise) & 255);
        row[4 * x + 1] = std::uint8_t((y / 6 + noise) & 255);
        row[4 * x + 2] = std::uint8_t(((x + y) / 16) & 255);
        row[4 * x + 3] = 0;
      }
    }
    return bitmap;
  }();
  return *frame;
}

std::string OutPath(const char* name) {
  static const std::string dir = [] {
    const auto d =
        std::filesystem::temp_directory_path() / ("rv_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(d);
    return d.string();
  }();
  return dir + "/" + name;
}

void Encoder(benchmark::State& state, int format, const char* file) {
  auto encoder = RvMakeImageEncoder(format, 90);
  std::string error;
  for (auto _ : state)
    if (!encoder->Encode(Frame(), OutPath(file), &error)) state.SkipWithError(error.c_str());
}

void BM_TiffEncoder(benchmark::State& s) { Encoder(s, 1, "e.tif"); }
void BM_BmpEncoder(benchmark::State& s) { Encoder(s, 2, "e.bmp"); }
void BM_PngEncoder(benchmark::State& s) { Encoder(s, 3, "e.png"); }
void BM_JpegEncoder(benchmark::State& s) { Encoder(s, 4, "e.jpg"); }

// --- the bare libraries ---------------------------------------------------------------------

void BM_TiffBareLibrary(benchmark::State& state) {
  std::vector<std::uint8_t> row(std::size_t(kWidth) * 3);
  for (auto _ : state) {
    TIFF* tif = TIFFOpen(OutPath("b.tif").c_str(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    for (int y = 0; y < kHeight; ++y) {
      const std::uint8_t* src = Frame().GetLineArray()[y];
      for (int x = 0; x < kWidth; ++x) {
        row[3 * x] = src[4 * x + 2];
        row[3 * x + 1] = src[4 * x + 1];
        row[3 * x + 2] = src[4 * x];
      }
      TIFFWriteScanline(tif, row.data(), std::uint32_t(y), 0);
    }
    TIFFClose(tif);
  }
}

void BM_BmpBareWrite(benchmark::State& state) {
  std::vector<std::uint8_t> row(std::size_t(kWidth) * 3);
  std::uint8_t header[54] = {'B', 'M'};
  for (auto _ : state) {
    FILE* f = std::fopen(OutPath("b.bmp").c_str(), "wb");
    std::fwrite(header, 1, sizeof header, f);
    for (int y = kHeight - 1; y >= 0; --y) {
      const std::uint8_t* src = Frame().GetLineArray()[y];
      for (int x = 0; x < kWidth; ++x) std::memcpy(&row[3 * std::size_t(x)], src + 4 * x, 3);
      std::fwrite(row.data(), 1, row.size(), f);
    }
    std::fclose(f);
  }
}

void BM_PngBareLibrary(benchmark::State& state) {
  for (auto _ : state) {
    FILE* f = std::fopen(OutPath("b.png").c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (int y = 0; y < kHeight; ++y)
      png_write_row(png, const_cast<png_bytep>(Frame().GetLineArray()[y]));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
  }
}

// Baseline JPEG of the frame's pixels into memory (the library's own destination).
std::size_t BareJpeg(int quality, unsigned char** buffer, unsigned long* size) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, buffer, size);
  cinfo.image_width = kWidth;
  cinfo.image_height = kHeight;
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    auto row = const_cast<JSAMPROW>(Frame().GetLineArray()[cinfo.next_scanline]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return *size;
}

void BM_JpegBareLibrary(benchmark::State& state) {
  for (auto _ : state) {
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    BareJpeg(90, &buffer, &size);
    FILE* f = std::fopen(OutPath("b.jpg").c_str(), "wb");
    std::fwrite(buffer, 1, size, f);
    std::fclose(f);
    std::free(buffer);
  }
}

// --- AVI: one frame appended per iteration ---------------------------------------------------

void Avi(benchmark::State& state, RvAviCodec codec) {
  CRvAviWriter writer;
  CRvAviCompression options;
  options.codec = codec;
  writer.SetCompression(options);
  std::string errors;
  writer.Open(OutPath("w.avi"), Frame(), 24, &errors);
  std::uint32_t n = 0;
  for (auto _ : state) {
    if (!writer.Write(n++, Frame())) state.SkipWithError("write failed");
    if (n == 60) {  // keep the file small: start again
      state.PauseTiming();
      writer.Close(&errors);
      writer.Open(OutPath("w.avi"), Frame(), 24, &errors);
      n = 0;
      state.ResumeTiming();
    }
  }
  writer.Close(&errors);
}

void BM_AviUncompressedWriter(benchmark::State& s) { Avi(s, RvAviCodec::Uncompressed); }
void BM_AviMotionJpegWriter(benchmark::State& s) { Avi(s, RvAviCodec::MotionJpeg); }

void BM_AviUncompressedBareWrite(benchmark::State& state) {
  const std::size_t stride = std::size_t(kWidth) * 3;
  std::vector<std::uint8_t> frame(stride * kHeight);
  FILE* f = std::fopen(OutPath("b.raw").c_str(), "wb");
  int n = 0;
  for (auto _ : state) {
    for (int y = 0; y < kHeight; ++y) {
      const std::uint8_t* src = Frame().GetLineArray()[y];
      std::uint8_t* dst = &frame[std::size_t(kHeight - 1 - y) * stride];
      for (int x = 0; x < kWidth; ++x) std::memcpy(dst + 3 * x, src + 4 * x, 3);
    }
    std::fwrite(frame.data(), 1, frame.size(), f);
    if (++n == 60) {
      state.PauseTiming();
      std::fclose(f);
      f = std::fopen(OutPath("b.raw").c_str(), "wb");
      n = 0;
      state.ResumeTiming();
    }
  }
  std::fclose(f);
}

void BM_AviMotionJpegBareLibrary(benchmark::State& state) {
  FILE* f = std::fopen(OutPath("b.mjpg").c_str(), "wb");
  for (auto _ : state) {
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    BareJpeg(90, &buffer, &size);
    std::fwrite(buffer, 1, size, f);
    std::free(buffer);
  }
  std::fclose(f);
}

}  // namespace

BENCHMARK(BM_TiffEncoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffBareLibrary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpEncoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BmpBareWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngEncoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngBareLibrary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegEncoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegBareLibrary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AviUncompressedWriter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AviUncompressedBareWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AviMotionJpegWriter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AviMotionJpegBareLibrary)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
