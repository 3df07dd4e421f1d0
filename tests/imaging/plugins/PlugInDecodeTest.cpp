// Frames decoded through converter plug-ins installed in the frame decoder: both generations,
// precedence over the built-in decoders, failures and the hand-over of the Cineon values.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "FakeConverterCalls.h"
#include "TestUtil.h"
#include "imaging/FrameDecoder.h"
#include "imaging/plugins/KaConverterPlugInList.h"

namespace fs = std::filesystem;

namespace {

std::string FakePlugIn(const std::string& variant) {
  return std::string(RV_FAKE_PLUGIN_DIR) + "/" + variant + "/" + variant + ".kcv";
}

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
  ~PlugInDecoder() {
    for (void* h : m_handles) dlclose(h);
  }

  CFrameDecoder& Decoder() { return m_decoder; }
  std::string Write(const std::string& name, const std::string& bytes) {
    rvtest::WriteFile(m_dir.File(name), bytes);
    return m_dir.File(name);
  }
  FakeCalls* Calls(std::size_t index) {
    void* h = dlopen(m_paths.at(index).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (h == nullptr) return nullptr;
    m_handles.push_back(h);
    auto fn = reinterpret_cast<FakeConverterCallsFn>(dlsym(h, "FakeConverterCalls"));
    return fn ? fn() : nullptr;
  }

 private:
  rvtest::TempDir m_dir;
  std::vector<std::string> m_paths;
  std::vector<void*> m_handles;
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
  try {
    decoder.DecodeFile(path, &bitmap);
  } catch (const CTextException& e) {
    *text = e.GetText();
    return e.GetCode();
  }
  return 0;
}

}  // namespace

TEST(PlugInDecode, ReaderTableGenerationConvertsThroughTheSource) {
  PlugInDecoder d({"reader"});
  const std::string file = d.Write("f.tplg", TestFrame(3, 2, 0, kPixels));
  CDIBSectionBitmap bitmap;
  d.Decoder().DecodeFile(file, &bitmap);
  ExpectPixels(bitmap, 3, kPixels);
  EXPECT_EQ(bitmap.GetLockCount(), 0);
  FakeCalls* calls = d.Calls(0);
  ASSERT_NE(calls, nullptr);
  EXPECT_EQ(calls->beforeConvert, 1);
  EXPECT_EQ(std::string(calls->order, calls->orderCount), "hvc");
  EXPECT_EQ(calls->afterConvert, 0);  // exported, never called
}

TEST(PlugInDecode, InMemoryGenerationGetsTheWholeFile) {
  PlugInDecoder d({"memory"});
  const std::string file = d.Write("f.tplg", TestFrame(2, 3, 0, kPixels));
  CDIBSectionBitmap bitmap;
  d.Decoder().DecodeFile(file, &bitmap);
  ExpectPixels(bitmap, 2, kPixels);
  FakeCalls* calls = d.Calls(0);
  ASSERT_NE(calls, nullptr);
  EXPECT_EQ(std::string(calls->order, calls->orderCount), "HvC");
}

TEST(PlugInDecode, OnlyReadHeader2IsDrivenThroughTheReaderTable) {
  PlugInDecoder d({"header2only"});
  const std::string file = d.Write("f.tplg", TestFrame(3, 2, 0, kPixels));
  CDIBSectionBitmap bitmap;
  d.Decoder().DecodeFile(file, &bitmap);
  ExpectPixels(bitmap, 3, kPixels);
  FakeCalls* calls = d.Calls(0);
  ASSERT_NE(calls, nullptr);
  EXPECT_EQ(calls->readHeader2, 0);
  EXPECT_EQ(calls->readHeader, 1);
  EXPECT_EQ(calls->doConversion, 1);
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

TEST(PlugInDecode, PlugInClaimingJpegBeatsTheJpegDecoder) {
  if (!rvtest::HaveProgram("convert")) GTEST_SKIP() << "ImageMagick missing";
  rvtest::TempDir dir;
  const std::string jpeg = dir.File("red.jpg");
  ASSERT_EQ(rvtest::RunCommand("convert -size 2x2 xc:red " + rvtest::ShellQuote(jpeg)), 0);
  CFrameDecoder plain;
  CDIBSectionBitmap built;
  plain.DecodeFile(jpeg, &built);
  EXPECT_NE(built.GetPixel(0, 0) & 0xFFFFFF, 0x00FF00u);

  PlugInDecoder d({"jpeg"});
  CDIBSectionBitmap bitmap;
  d.Decoder().DecodeFile(jpeg, &bitmap);
  EXPECT_EQ(bitmap.GetBitsPerPixel(), 32);
  EXPECT_EQ(bitmap.GetPixel(0, 0), 0xFF00FF00u);
  EXPECT_EQ(bitmap.GetPixel(1, 1), 0xFF00FF00u);
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
  FakeCalls* calls = d.Calls(0);
  ASSERT_NE(calls, nullptr);
  EXPECT_EQ(calls->gammaLog, 1.0);  // the decoder's start values
  EXPECT_EQ(calls->gammaDisplay, 1.0);
  EXPECT_EQ(calls->referenceBlack, 0);
  EXPECT_EQ(calls->referenceWhite, 1024);
  EXPECT_EQ(calls->softClip, 0);

  d.Decoder().SetCineonValues(1.7, 2.2, 95, 685, 12);
  d.Decoder().DecodeFile(file, &bitmap);
  EXPECT_EQ(calls->setCineonValues, 2);
  EXPECT_EQ(calls->gammaLog, 1.7);
  EXPECT_EQ(calls->gammaDisplay, 2.2);
  EXPECT_EQ(calls->referenceBlack, 95);
  EXPECT_EQ(calls->referenceWhite, 685);
  EXPECT_EQ(calls->softClip, 12);
}
