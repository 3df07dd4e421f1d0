// The shipped Cineon/DPX plug-in, loaded from the program folder's Converters/ and driven by
// the frame decoder, on files written by ImageMagick.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DecoderTestSupport.h"
#include "imaging/FrameDecoder.h"
#include "imaging/plugins/KaConverterPlugInList.h"

namespace {

std::string DataFile(const std::string& name) { return rvtest::DataDir() + "/cineon/" + name; }

std::string Bytes(const std::string& name) { return rvtest::ReadFile(DataFile(name)); }

class CineonPlugIn : public ::testing::Test {
 protected:
  void SetUp() override {
    auto list = std::make_unique<CKaConverterPlugInList>(
        rvtest::BinDir() + "/Converters/cineon.kcv", m_dir.File("Kacv.log"));
    ASSERT_EQ(list->GetCount(), 1u) << rvtest::ReadFile(m_dir.File("Kacv.log"));
    m_decoder.SetConverter(std::move(list));
  }

  // The decoded picture as R, G, B, A bytes, top row first.
  std::string Decode(const std::string& path) {
    CDIBSectionBitmap bitmap;
    m_decoder.DecodeFile(path, &bitmap);
    EXPECT_EQ(bitmap.GetBitsPerPixel(), 32);
    EXPECT_TRUE(bitmap.HasAlpha());
    const std::vector<std::uint8_t> rgba = BitmapToRGBA(bitmap);
    return std::string(rgba.begin(), rgba.end());
  }

  std::string Error(const std::string& bytes, int* code) {
    const std::string path = m_dir.File("bad.cin");
    rvtest::WriteFile(path, bytes);
    CDIBSectionBitmap bitmap;
    std::string text;
    *code = dectest::ErrorOf([&] { m_decoder.DecodeFile(path, &bitmap); }, &text);
    return text;
  }

  rvtest::TempDir m_dir;
  CFrameDecoder m_decoder;
};

}  // namespace

// The pixel code's files of every depth and kind are tested on their own (FilmRasterTest); here
// the plug-in's hand-over of pixels, alpha, values and errors.
// The magic decides, not the name.
TEST_F(CineonPlugIn, DpxFilesDecodeToTheirSourceWhateverTheirName) {
  const std::string renamed = m_dir.File("renamed.tif");
  rvtest::WriteFile(renamed, Bytes("dpx10.dpx"));
  EXPECT_EQ(Decode(renamed), Bytes("src.rgba"));
  EXPECT_EQ(Decode(DataFile("rgba10.dpx")), Bytes("srca.rgba"));
  EXPECT_EQ(m_decoder.GetConverter()->GetLastConverterName(), "Cineon/DPX Converter");
}

TEST_F(CineonPlugIn, EachOfTheFiveValuesChangesALogFileButNotALinearOne) {
  const CineonValues base{1.7, 2.2, 95, 685, 0};
  m_decoder.SetCineonValues(base);
  const std::string logBase = Decode(DataFile("cin10.cin"));
  const std::string linearBase = Decode(DataFile("dpx10.dpx"));
  const CineonValues changed[] = {{1.2, 2.2, 95, 685, 0},
                                  {1.7, 1.0, 95, 685, 0},
                                  {1.7, 2.2, 200, 685, 0},
                                  {1.7, 2.2, 95, 600, 0},
                                  {1.7, 2.2, 95, 685, 50}};
  for (const CineonValues& v : changed) {
    EXPECT_TRUE(m_decoder.SetCineonValues(v));
    EXPECT_NE(Decode(DataFile("cin10.cin")), logBase)
        << v.gammaLog << " " << v.gammaDisplay << " " << v.referenceBlack << " " << v.referenceWhite
        << " " << v.softClip;
    EXPECT_EQ(Decode(DataFile("dpx10.dpx")), linearBase);
  }
  m_decoder.SetCineonValues(base);
  EXPECT_EQ(Decode(DataFile("cin10.cin")), logBase);
}

TEST_F(CineonPlugIn, MalformedFilesRaiseCodeTwoWithTheReadersText) {
  int code = 0;
  const std::string cin = Bytes("cin10.cin");
  EXPECT_EQ(Error(cin.substr(0, cin.size() - 10), &code), "Error reading file.");
  EXPECT_EQ(code, 2);
}

TEST_F(CineonPlugIn, GarbageAfterAMagicNeverCrashes) {
  // Every header byte of a DPX file set to 0xFF in turn: each decode fails cleanly or succeeds.
  const std::string dpx = Bytes("dpx10.dpx");
  for (std::size_t at = 0; at < 860; at += 3) {
    std::string broken = dpx;
    broken[at] = '\xFF';
    int code = 0;
    Error(broken, &code);
    EXPECT_TRUE(code == 0 || code == 2 || code == 8) << at << " " << code;
  }
}

namespace {

// A reader table over a string, as a host of the reader-table generation would offer.
std::string g_stream;
std::size_t g_position = 0;

KacvBool StreamByte(unsigned char* byte) {
  if (g_position >= g_stream.size()) return KACV_FALSE;
  *byte = static_cast<unsigned char>(g_stream[g_position++]);
  return KACV_TRUE;
}

KacvBool StreamBlock(uint32_t count, const unsigned char** block) {
  if (count > g_stream.size() - g_position) return KACV_FALSE;
  *block = reinterpret_cast<const unsigned char*>(g_stream.data() + g_position);
  g_position += count;
  return KACV_TRUE;
}

}  // namespace

TEST(CineonReaderTable, TheReaderTableCallsGiveTheSamePixels) {
  void* module =
      dlopen((rvtest::BinDir() + "/Converters/cineon.kcv").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr);
  auto before = reinterpret_cast<KacvBeforeConvertFn>(dlsym(module, "KacvBeforeConvert"));
  auto header = reinterpret_cast<KacvReadHeaderFn>(dlsym(module, "bKacvReadHeader"));
  auto convert = reinterpret_cast<KacvDoConversionFn>(dlsym(module, "bKacvDoConversion"));
  ASSERT_TRUE(before && header && convert);
  KacvReaderTable table{};
  table.ReadByte = StreamByte;
  table.ReadBlock = StreamBlock;
  // dpx16 has tightly packed lines, dpx10 word-aligned ones.
  for (const char* name : {"dpx10.dpx", "dpx16.dpx"}) {
    SCOPED_TRACE(name);
    g_stream = Bytes(name);
    g_position = 0;
    before();
    int32_t bpp = 0, width = 0, height = 0;
    char error[KACV_ERROR_BUFFER_SIZE] = {};
    ASSERT_TRUE(header(&table, &bpp, &width, &height, error)) << error;
    ASSERT_EQ(width, 6);
    ASSERT_EQ(height, 4);
    std::vector<std::uint8_t> rows(6 * 4 * 4);
    std::vector<std::uint8_t*> lines;
    for (int y = 0; y < 4; ++y) lines.push_back(&rows[y * 24]);
    ASSERT_TRUE(convert(&table, lines.data(), 32, 6, 4, error)) << error;
    std::string rgba;
    for (std::size_t i = 0; i < rows.size(); i += 4) {
      rgba += {char(rows[i + 2]), char(rows[i + 1]), char(rows[i]), char(rows[i + 3])};
    }
    EXPECT_EQ(rgba, Bytes("src.rgba"));
  }
  // A stream that ends early fails with the reader's text.
  g_stream = Bytes("dpx10.dpx").substr(0, 3000);
  g_position = 0;
  before();
  int32_t bpp = 0, width = 0, height = 0;
  char error[KACV_ERROR_BUFFER_SIZE] = {};
  EXPECT_FALSE(header(&table, &bpp, &width, &height, error));
  EXPECT_STREQ(error, "Error reading file.");
  dlclose(module);
}
