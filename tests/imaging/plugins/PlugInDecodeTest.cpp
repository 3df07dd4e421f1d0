// Frames decoded through converter plug-ins installed in the frame decoder: both generations, the
// scan order, unclaimed files, failures and the hand-over of the Cineon values (that a converter
// comes before the built-in decoders is FormatDetectionTest's FrameDispatch).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "DecoderTestSupport.h"
#include "FakeConverterCalls.h"
#include "imaging/FrameDecoder.h"
#include "imaging/plugins/KaConverterPlugInList.h"

namespace fs = std::filesystem;

namespace {

// A file of the test plug-ins' format with the given flags and pixels (B, G, R, A each).
std::string TestFrame(std::uint32_t width, std::uint32_t height, std::uint32_t flags,
                      const std::vector<std::uint32_t>& pixels) {
  std::string bytes = "TPLG";
  for (std::uint32_t v : {width, height, flags}) {
    for (int i = 0; i < 4; ++i) bytes.push_back(char(v >> (8 * i)));
  }
  for (std::uint32_t p : pixels) {
    for (int i = 0; i < 4; ++i) bytes.push_back(char(p >> (8 * i)));
  }
  return bytes;
}

const std::vector<std::uint32_t> kPixels = {0x80102030, 0xFF405060, 0x00708090,
                                            0xFFA0B0C0, 0x11223344, 0x55667788};

// A decoder whose plug-ins are the given variants, copied into a folder in the listed order.
class PlugInDecoder {
 public:
  explicit PlugInDecoder(const std::vector<std::string>& variants) {
    int index = 0;
    for (const std::string& v : variants) {
      const std::string name = std::string(1, char('a' + index++)) + "_" + v + ".kcv";
      fs::copy_file(FakePlugIn(v), m_dir.Path() / name);
      m_paths.push_back(m_dir.File(name));
    }
    m_decoder.SetConverter(std::make_unique<CKaConverterPlugInList>(
        m_dir.Path().string() + "/*.kcv", m_dir.File("Kacv.log")));
  }
  CFrameDecoder& Decoder() { return m_decoder; }
  std::string Write(const std::string& name, const std::string& bytes) {
    rvtest::WriteFile(m_dir.File(name), bytes);
    return m_dir.File(name);
  }
  FakeCalls* Calls(std::size_t index) { return CallsOf(m_paths.at(index)); }

 private:
  rvtest::TempDir m_dir;
  std::vector<std::string> m_paths;
  CFrameDecoder m_decoder;
};

void ExpectPixels(const CImageBitmap& bitmap, std::uint32_t width,
                  const std::vector<std::uint32_t>& pixels) {
  ASSERT_EQ(bitmap.GetBitsPerPixel(), 32);
  EXPECT_TRUE(bitmap.HasAlpha());
  ASSERT_EQ(std::size_t(bitmap.GetWidth()) * bitmap.GetHeight(), pixels.size());
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    EXPECT_EQ(bitmap.GetPixel(int(i % width), int(i / width)), pixels[i]) << i;
  }
}

int DecodeErrorCode(CFrameDecoder& decoder, const std::string& path, std::string* text) {
  CDIBSectionBitmap bitmap;
  return dectest::ErrorOf([&] { decoder.DecodeFile(path, &bitmap); }, text);
}

}  // namespace

// Each generation of plug-in, with the calls it gets in order (h header, H header in memory,
// v values, c convert, C convert in memory); a plug-in exporting only one of the two in-memory
// calls is driven through the reader table.
TEST(PlugInDecode, EachGenerationConvertsWithItsCalls) {
  for (const auto& [variant, order] : {std::pair<std::string, std::string>{"reader", "hvc"},
                                       {"memory", "HvC"},
                                       {"header2only", "hvc"}}) {
    SCOPED_TRACE(variant);
    PlugInDecoder d({variant});
    CDIBSectionBitmap bitmap;
    d.Decoder().DecodeFile(d.Write("f.tplg", TestFrame(3, 2, 0, kPixels)), &bitmap);
    ExpectPixels(bitmap, 3, kPixels);
    EXPECT_EQ(bitmap.GetLockCount(), 0);
    FakeCalls* calls = d.Calls(0);
    ASSERT_NE(calls, nullptr);
    EXPECT_EQ(calls->beforeConvert, 1);
    EXPECT_EQ(std::string(calls->order, calls->orderCount), order);
    EXPECT_EQ(calls->afterConvert, 0);  // exported, never called
  }
}

TEST(PlugInDecode, FirstPlugInInScanOrderWins) {
  PlugInDecoder d({"second", "first"});  // copied as a_second, b_first
  const std::string file = d.Write("f.tplg", TestFrame(1, 1, 0, {0x01020304}));
  CDIBSectionBitmap bitmap;
  d.Decoder().DecodeFile(file, &bitmap);
  EXPECT_EQ(bitmap.GetPixel(0, 0), 0xFFFF0000u);  // the fill of "Second"
  EXPECT_EQ(d.Decoder().GetConverter()->GetLastConverterName(), "Second");
  FakeCalls* loser = d.Calls(1);
  ASSERT_NE(loser, nullptr);
  EXPECT_EQ(loser->canConvert, 0);  // never asked once the first had claimed the file
}

TEST(PlugInDecode, UnclaimedFilesGoToTheBuiltInDecoders) {
  PlugInDecoder d({"reader"});
  const std::string file = d.Write("f.pgm", "P5\n2 1\n255\n\x10\x20");
  CDIBSectionBitmap bitmap;
  d.Decoder().DecodeFile(file, &bitmap);
  EXPECT_EQ(bitmap.GetWidth(), 2);
  FakeCalls* calls = d.Calls(0);
  ASSERT_NE(calls, nullptr);
  EXPECT_EQ(calls->canConvert, 1);
  EXPECT_EQ(calls->beforeConvert, 0);
}

TEST(PlugInDecode, FailuresRaiseCodeTwoWithThePlugInsText) {
  for (const char* variant : {"reader", "memory"}) {
    SCOPED_TRACE(variant);
    PlugInDecoder d({variant});
    std::string text;
    EXPECT_EQ(DecodeErrorCode(d.Decoder(), d.Write("h.tplg", TestFrame(1, 1, 1, {0})), &text), 2);
    EXPECT_EQ(text, "Header refused by test plug-in.");
    EXPECT_EQ(DecodeErrorCode(d.Decoder(), d.Write("c.tplg", TestFrame(1, 1, 2, {0})), &text), 2);
    EXPECT_EQ(text, "Conversion refused by test plug-in.");
    // Pixel data missing: the reader table answers false instead of failing.
    EXPECT_EQ(DecodeErrorCode(d.Decoder(), d.Write("s.tplg", TestFrame(4, 4, 0, {0})), &text), 2);
    EXPECT_EQ(text, "Pixel data ended early.");
    // A plug-in that fails silently still gives the user a reason.
    EXPECT_EQ(DecodeErrorCode(d.Decoder(), d.Write("n.tplg", TestFrame(1, 1, 5, {0})), &text), 2);
    EXPECT_FALSE(text.empty());
    // A nonsensical size is refused before any bitmap is made.
    EXPECT_EQ(DecodeErrorCode(d.Decoder(), d.Write("z.tplg", TestFrame(1, 1, 8, {0})), &text), 2);
    EXPECT_NE(text.find("invalid picture size"), std::string::npos);
  }
}

TEST(PlugInDecode, ExceptionInsideAConversionIsAFailure) {
  PlugInDecoder d({"convert_throws"});
  std::string text;
  EXPECT_EQ(DecodeErrorCode(d.Decoder(), d.Write("t.tplg", TestFrame(1, 1, 0, {0})), &text), 2);
  EXPECT_FALSE(text.empty());
}

TEST(PlugInDecode, CurrentCineonValuesReachThePlugInBeforeEachConversion) {
  PlugInDecoder d({"memory"});
  const std::string file = d.Write("f.tplg", TestFrame(1, 1, 0, {0}));
  CDIBSectionBitmap bitmap;
  d.Decoder().DecodeFile(file, &bitmap);
  // (The decoder's start values are FormatDetectionTest's.)
  d.Decoder().SetCineonValues(1.7, 2.2, 95, 685, 12);
  d.Decoder().DecodeFile(file, &bitmap);
  FakeCalls* calls = d.Calls(0);
  ASSERT_NE(calls, nullptr);
  EXPECT_EQ(calls->setCineonValues, 2);
  EXPECT_EQ(calls->gammaLog, 1.7);
  EXPECT_EQ(calls->gammaDisplay, 2.2);
  EXPECT_EQ(calls->referenceBlack, 95);
  EXPECT_EQ(calls->referenceWhite, 685);
  EXPECT_EQ(calls->softClip, 12);
}
