#include <gtest/gtest.h>

#include <string>

#include "FakeDecoder.h"
#include "TestUtil.h"
#include "imageops/RvCrop.h"
#include "imageops/RvResample.h"
#include "sequence/Frame.h"

namespace {

class FrameLoadTest : public testing::Test {
 protected:
  CRvFrame MakeFrame(const std::string& content) {
    const std::string path = m_dir.File("shot_0001.tif");
    rvtest::WriteFile(path, content);
    return CRvFrame(path, 0, 0, content.size());
  }
  rvtest::TempDir m_dir;
  CFakeFrameDecoder m_decoder;
  int m_width = -1;
  int m_height = -1;
};

// The result the decode tool relies on; the reason is checked through the play list.
TEST_F(FrameLoadTest, AFailedDecodeIsNotLoaded) {
  CRvFrame frame = MakeFrame("bad");
  EXPECT_FALSE(frame.Load(&m_decoder, nullptr, nullptr, &m_width, &m_height));
  EXPECT_FALSE(frame.IsLoaded());
}

TEST_F(FrameLoadTest, MarginsAtTheFarEdgesKeepTheLastColumnAndRow) {
  CRvFrame frame = MakeFrame("8 6");
  CRvCrop crop;
  crop.Set(CRvCrop::kLeft, 8, false);
  crop.Set(CRvCrop::kTop, 6, false);
  ASSERT_TRUE(frame.Load(&m_decoder, &crop, nullptr, &m_width, &m_height));
  ASSERT_EQ(frame.GetBitmap()->GetWidth(), 1);
  ASSERT_EQ(frame.GetBitmap()->GetHeight(), 1);
  EXPECT_EQ(frame.GetBitmap()->GetPixel(0, 0), RvMakePixel(7, 5, 7));
}

TEST_F(FrameLoadTest, ResampleWorksOnTheCroppedSize) {
  CRvFrame frame = MakeFrame("720 576");
  CRvCrop crop;
  crop.Set(CRvCrop::kRight, 120, false);
  CRvResample resample;
  resample.SetWidth(50, true);
  ASSERT_TRUE(frame.Load(&m_decoder, &crop, &resample, &m_width, &m_height));
  EXPECT_EQ(m_width, 720);
  EXPECT_EQ(m_height, 576);
  EXPECT_EQ(frame.GetBitmap()->GetWidth(), 300);
  EXPECT_EQ(frame.GetBitmap()->GetHeight(), 576);
}

}  // namespace
