// Data compiled in by rv_embed_resource (tests/imaging/CMakeLists.txt embeds png_rgb8.png).
#include <gtest/gtest.h>

#include "DecoderTestSupport.h"
#include "imaging/FrameDecoder.h"

namespace {

TEST(CompiledResource, HoldsTheFileBytesExactly) {
  const std::string file = rvtest::ReadFile(dectest::Data("imaging/png_rgb8.png"));
  CResourceImageSource source;
  ASSERT_EQ(source.Open("test png"), 0);
  ASSERT_EQ(source.GetFileSize(), file.size());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(source.ReadNBytes(file.size())), file.size()),
            file);
}

TEST(CompiledResource, DecodesLikeTheFile) {
  CAutoImageDecoder decoder;
  CDIBSectionBitmap fromResource, fromFile;
  decoder.DecodeResource("test png", &fromResource);
  decoder.DecodeFile(dectest::Data("imaging/png_rgb8.png"), &fromFile);
  EXPECT_EQ(fromResource.GetWidth(), 23);
  EXPECT_EQ(BitmapToRGBA(fromResource), BitmapToRGBA(fromFile));
}

TEST(CompiledResource, DecodeMemoryReadsTheSameBytes) {
  const std::string file = rvtest::ReadFile(dectest::Data("imaging/png_rgb8.png"));
  CAutoImageDecoder decoder;
  CDIBSectionBitmap bitmap;
  decoder.DecodeMemory(reinterpret_cast<const std::uint8_t*>(file.data()), file.size(), &bitmap);
  EXPECT_EQ(bitmap.GetHeight(), 17);
  try {
    decoder.DecodeMemory(nullptr, 10, &bitmap);
    FAIL();
  } catch (const CTextException& e) {
    EXPECT_EQ(e.GetCode(), 4);
    EXPECT_EQ(e.GetText().rfind("Decoder error: Reading from memory at ", 0), 0u);
  }
}

}  // namespace
