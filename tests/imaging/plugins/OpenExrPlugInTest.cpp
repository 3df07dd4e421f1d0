// The shipped OpenEXR plug-in, loaded from the program folder's Converters/ and driven by the
// frame decoder, on files written by oiiotool and compared with oiiotool's own conversion.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DecoderTestSupport.h"
#include "imaging/FrameDecoder.h"
#include "imaging/plugins/KaConverterPlugInList.h"

namespace {

std::string DataFile(const std::string& name) { return rvtest::DataDir() + "/openexr/" + name; }

class OpenExrPlugIn : public ::testing::Test {
 protected:
  void SetUp() override {
    auto list = std::make_unique<CKaConverterPlugInList>(
        rvtest::BinDir() + "/Converters/openexr.kcv", m_dir.File("Kacv.log"));
    ASSERT_EQ(list->GetCount(), 1u) << rvtest::ReadFile(m_dir.File("Kacv.log"));
    m_decoder.SetConverter(std::move(list));
  }

  // The decoded picture as R, G, B, A values, top row first.
  std::vector<int> Decode(const std::string& path, int* width = nullptr) {
    CDIBSectionBitmap bitmap;
    m_decoder.DecodeFile(path, &bitmap);
    if (width != nullptr) *width = bitmap.GetWidth();
    std::vector<int> rgba;
    for (int y = 0; y < bitmap.GetHeight(); ++y) {
      for (int x = 0; x < bitmap.GetWidth(); ++x) {
        RvPixel p = bitmap.GetPixel(x, y);
        if (bitmap.GetBitsPerPixel() == 8) p = RvMakePixel(p, p, p, 255);  // grey references
        rgba.insert(rgba.end(), {RvPixelRed(p), RvPixelGreen(p), RvPixelBlue(p),
                                 bitmap.HasAlpha() ? RvPixelAlpha(p) : 255});
      }
    }
    return rgba;
  }

  // The code and text of the error that decoding bytes raises; code 0 when it decodes.
  int Error(const std::string& bytes, std::string* text = nullptr) {
    const std::string path = m_dir.File("bad.exr");
    rvtest::WriteFile(path, bytes);
    CDIBSectionBitmap bitmap;
    return dectest::ErrorOf([&] { m_decoder.DecodeFile(path, &bitmap); }, text);
  }

  rvtest::TempDir m_dir;
  CFrameDecoder m_decoder;
};

class OpenExrMatchesOiiotool : public OpenExrPlugIn,
                               public ::testing::WithParamInterface<const char*> {};

}  // namespace

TEST_P(OpenExrMatchesOiiotool, WithinOneLevel) {
  const std::string name = GetParam();
  int width = 0;
  const std::vector<int> ours = Decode(DataFile(name + ".exr"), &width);
  EXPECT_EQ(m_decoder.GetConverter()->GetLastConverterName(), "OpenEXR Converter");
  const std::vector<int> reference = Decode(DataFile(name + ".ref.tif"));
  ASSERT_EQ(ours.size(), reference.size());
  ASSERT_EQ(width, 16);
  for (std::size_t i = 0; i < ours.size(); ++i) {
    ASSERT_NEAR(ours[i], reference[i], 1) << "pixel " << i / 4 % 16 << "," << i / 64 << " channel "
                                          << "RGBA"[i % 4];
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, OpenExrMatchesOiiotool,
    ::testing::Values("scan_none_half_rgba", "scan_rle_half_rgba", "scan_zips_half_rgba",
                      "scan_zip_half_rgba", "scan_piz_half_rgba", "scan_pxr24_half_rgba",
                      "scan_b44_half_rgba", "scan_b44a_half_rgba", "scan_dwaa_half_rgba",
                      "scan_dwab_half_rgba", "scan_zip_float_rgb", "scan_piz_float_rgb",
                      "scan_dwaa_float_rgb", "tiled_zip_half_rgba", "tiled_piz_float_rgb",
                      "tiled_dwaa_half_rgba", "tiled_none_half_rgba", "window_inside_half_rgba",
                      "window_over_float_rgb", "multipart", "layer_only", "luminance"));

TEST_F(OpenExrPlugIn, UnsignedIntegersAreValues) {
  const std::vector<int> rgba = Decode(DataFile("uint_rgb.exr"));
  ASSERT_EQ(rgba.size(), 32u);
  EXPECT_EQ(std::vector<int>(rgba.begin(), rgba.begin() + 4), (std::vector<int>{0, 255, 255, 255}));
}

TEST_F(OpenExrPlugIn, TruncatedAndDamagedFilesRaiseErrors) {
  // (A multi-part file cut inside a later part still shows its first part.)
  for (const char* name :
       {"scan_piz_half_rgba.exr", "scan_none_half_rgba.exr", "tiled_zip_half_rgba.exr"}) {
    const std::string bytes = rvtest::ReadFile(DataFile(name));
    for (std::size_t keep : {std::size_t(600), bytes.size() / 2, bytes.size() - 1}) {
      std::string text;
      EXPECT_EQ(Error(bytes.substr(0, keep), &text), 2) << name << " " << keep;
      EXPECT_EQ(text.rfind("OpenEXR: ", 0), 0u) << text;
    }
  }
  // Uncompressed lines shorter than the data window: the library would read stale memory.
  std::string text;
  EXPECT_EQ(Error(rvtest::ReadFile(DataFile("damaged_none_wide.exr")), &text), 2);
  EXPECT_EQ(text, "OpenEXR: a data block is shorter than its pixels.");
}

TEST_F(OpenExrPlugIn, AbsurdWindowsAreRefusedBeforeAllocating) {
  // Each case moves one corner of a window far out (box2i: xMin, yMin, xMax, yMax).
  const std::string bytes = rvtest::ReadFile(DataFile("scan_piz_half_rgba.exr"));
  struct Case {
    const char* attribute;
    int field;
    std::int32_t value;
  };
  for (const Case& c : {Case{"dataWindow", 2, 1 << 30}, Case{"dataWindow", 3, 1 << 30},
                        Case{"dataWindow", 0, -(1 << 30)}, Case{"displayWindow", 2, 70000},
                        Case{"displayWindow", 3, 1 << 30}, Case{"dataWindow", 2, -5}}) {
    std::string broken = bytes;
    const std::size_t at = broken.find(std::string(c.attribute) + '\0' + "box2i");
    ASSERT_NE(at, std::string::npos);
    const std::size_t value = at + std::string(c.attribute).size() + 1 + 6 + 4 + 4 * c.field;
    std::memcpy(&broken[value], &c.value, 4);  // little-endian, as the file stores it
    std::string text;
    EXPECT_EQ(Error(broken, &text), 2) << c.attribute << " " << c.field;
    EXPECT_EQ(text.rfind("OpenEXR: ", 0), 0u) << text;
  }
}

TEST_F(OpenExrPlugIn, AttributeSizesBeyondTheFileAreRefusedBeforeAllocating) {
  // The library would allocate (and zero) what the size fields claim before reading.
  const std::string bytes = rvtest::ReadFile(DataFile("scan_piz_half_rgba.exr"));
  const auto attribute = [](const std::string& name, const std::string& type,
                            const std::vector<std::int32_t>& values) {
    std::string a = name + '\0' + type + '\0';
    const std::int32_t size = std::int32_t(values.size() * 4);
    a.append(reinterpret_cast<const char*>(&size), 4);
    a.append(reinterpret_cast<const char*>(values.data()), values.size() * 4);
    return a;
  };
  std::string longString = bytes;  // the first attribute is a string: claim 1.8 GB for it
  const std::size_t sizeField = longString.find(std::string("string") + '\0') + 7;
  const std::int32_t huge = 1828716563;
  std::memcpy(&longString[sizeField], &huge, 4);
  for (const std::string& broken :
       {longString, bytes.substr(0, 8) + attribute("v", "stringvector", {huge}) + bytes.substr(8),
        bytes.substr(0, 8) + attribute("p", "preview", {60000, 60000}) + bytes.substr(8)}) {
    std::string text;
    EXPECT_EQ(Error(broken, &text), 2);
    EXPECT_EQ(text, "OpenEXR: a header field claims more data than the file holds.");
  }
  // Known types are read by their contents: a size that disagrees would put the library out of
  // step with the checks above (a channel list without its end, an int of two bytes).
  std::string openList = bytes;
  const std::size_t listSize = openList.find(std::string("chlist") + '\0') + 7;
  std::int32_t listBytes;
  std::memcpy(&listBytes, &openList[listSize], 4);
  listBytes -= 1;
  std::memcpy(&openList[listSize], &listBytes, 4);
  const std::string shortInt("i\0int\0\2\0\0\0\7\0", 12);
  for (const std::string& broken : {openList, bytes.substr(0, 8) + shortInt + bytes.substr(8)}) {
    std::string text;
    EXPECT_EQ(Error(broken, &text), 2);
    EXPECT_EQ(text, "OpenEXR: a header field's size does not match its contents.");
  }
  // An attribute without a type: the core reports it and would go on with values of its own.
  const std::size_t window = bytes.find(std::string("dataWindow") + '\0');
  std::string text;
  EXPECT_EQ(Error(bytes.substr(0, window) + std::string("q\0\0\0\0\0\0", 7) + bytes.substr(window),
                  &text),
            2);
  EXPECT_NE(text.find("attribute 'q'"), std::string::npos) << text;
}

TEST(OpenExrTools, RvtoolNamesThePlugIn) {
  std::string out;
  ASSERT_EQ(rvtest::RunCommand(rvtest::BinDir() + "/rvtool info " +
                                   rvtest::ShellQuote(DataFile("tiled_piz_float_rgb.exr")),
                               &out),
            0);
  EXPECT_NE(out.find("width=16 height=8 bpp=32 alpha=1 decoder=OpenEXR Converter"),
            std::string::npos)
      << out;
}

namespace {

// The plug-in's exports, called directly as a host of either generation would.
struct Exports {
  void* module = dlopen((rvtest::BinDir() + "/Converters/openexr.kcv").c_str(), RTLD_NOW);
  KacvReadHeaderFn header = KacvReadHeaderFn(dlsym(module, "bKacvReadHeader"));
  KacvDoConversionFn convert = KacvDoConversionFn(dlsym(module, "bKacvDoConversion"));
  KacvDoConversion2Fn convert2 = KacvDoConversion2Fn(dlsym(module, "bKacvDoConversion2"));
  ~Exports() { dlclose(module); }
};

std::string g_stream;  // what the reader table hands out
std::size_t g_position = 0;

KacvBool StreamBlock(uint32_t count, const unsigned char** block) {
  if (count > g_stream.size() - g_position) return KACV_FALSE;
  *block = reinterpret_cast<const unsigned char*>(g_stream.data() + g_position);
  g_position += count;
  return KACV_TRUE;
}

// A 16 x 8 file's rows, converted in memory or, given a table, through the reader table.
std::vector<std::uint8_t> Convert(const Exports& e, const std::string& bytes,
                                  KacvReaderTable* table = nullptr) {
  std::vector<std::uint8_t> rows(16 * 8 * 4);
  std::vector<std::uint8_t*> lines;
  for (int y = 0; y < 8; ++y) lines.push_back(&rows[y * 64]);
  char error[KACV_ERROR_BUFFER_SIZE] = {};
  const bool ok = table ? e.convert(table, lines.data(), 32, 16, 8, error)
                        : e.convert2(reinterpret_cast<const unsigned char*>(bytes.data()),
                                     bytes.size(), lines.data(), 32, 16, 8, error);
  if (!ok) ADD_FAILURE() << error;
  return rows;
}

}  // namespace

TEST(OpenExrExports, TheReaderTableGivesTheSamePixelsAsTheWholeFile) {
  Exports e;
  ASSERT_TRUE(e.header && e.convert && e.convert2);
  g_stream = rvtest::ReadFile(DataFile("tiled_dwaa_half_rgba.exr"));
  KacvReaderTable table{};
  table.ReadBlock = StreamBlock;
  int32_t bpp = 0, width = 0, height = 0;
  char error[KACV_ERROR_BUFFER_SIZE] = {};
  ASSERT_TRUE(e.header(&table, &bpp, &width, &height, error)) << error;
  EXPECT_EQ(g_position, g_stream.size());
  ASSERT_EQ(width * 1000 + height, 16008);
  EXPECT_EQ(Convert(e, "", &table), Convert(e, g_stream));
}

TEST(OpenExrExports, InMemoryConversionsMayRunOnSeveralThreads) {
  Exports e;
  ASSERT_TRUE(e.convert2);
  const std::string files[] = {rvtest::ReadFile(DataFile("scan_piz_half_rgba.exr")),
                               rvtest::ReadFile(DataFile("tiled_zip_half_rgba.exr")),
                               rvtest::ReadFile(DataFile("scan_dwab_half_rgba.exr"))};
  std::vector<std::uint8_t> expected[3], got[3];
  for (int i = 0; i < 3; ++i) expected[i] = Convert(e, files[i]);
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; ++i) {
    threads.emplace_back([&, i] {
      for (int round = 0; round < 20; ++round) got[i] = Convert(e, files[i]);
    });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(got[i], expected[i]) << i;
}
