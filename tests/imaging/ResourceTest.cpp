// Data compiled in by rv_embed_resource (tests/imaging/CMakeLists.txt embeds png_rgb8.png).
#include <gtest/gtest.h>

#include "DecoderTestSupport.h"
#include "imaging/FrameDecoder.h"

namespace {

TEST(CompiledResource, DecodesLikeTheFile) {
  CAutoImageDecoder decoder;
  CDIBSectionBitmap fromResource, fromFile;
  decoder.DecodeResource("test png", &fromResource);
  decoder.DecodeFile(dectest::Data("imaging/png_rgb8.png"), &fromFile);
  EXPECT_EQ(fromResource.GetWidth(), 23);
  EXPECT_EQ(BitmapToRGBA(fromResource), BitmapToRGBA(fromFile));
}

TEST(CompiledResource, DecodeMemoryRefusesANullBlock) {
  CDIBSectionBitmap bitmap;
  std::string text;
  CAutoImageDecoder decoder;
  EXPECT_EQ(dectest::ErrorOf([&] { decoder.DecodeMemory(nullptr, 10, &bitmap); }, &text), 4);
  EXPECT_EQ(text.rfind("Decoder error: Reading from memory at ", 0), 0u) << text;
}

}  // namespace
