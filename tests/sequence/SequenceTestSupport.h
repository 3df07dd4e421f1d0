// What the sequence tests share: sequences of frames that need no file, the frame numbers of a
// sequence in playing order, and a play list of frames whose files each describe a picture for
// the fake decoder.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "FakeDecoder.h"
#include "TestUtil.h"
#include "sequence/PlayList.h"

// A sequence `key` ("#" standing for the number, padded to four digits) in `folder` holding
// frames first .. first + count - 1; no file is read.
inline std::unique_ptr<CRvSequence> MakeSequence(const std::string& key, std::uint32_t first,
                                                 std::uint32_t count,
                                                 const std::string& folder = "/s") {
  auto sequence = std::make_unique<CRvSequence>(key, folder + "/");
  for (std::uint32_t n = first; n < first + count; ++n) {
    char number[16];
    std::snprintf(number, sizeof number, "%04u", n);
    std::string name = key;
    name.replace(name.find('#'), 1, number);
    auto frame = std::make_unique<CRvFrame>(folder + "/" + name, 0, 0, 0);
    EXPECT_TRUE(sequence->AddFrame(frame));
  }
  return sequence;
}

inline std::vector<std::uint32_t> Numbers(const CRvSequence& sequence) {
  std::vector<std::uint32_t> numbers;
  for (const auto& frame : sequence.GetFrames()) numbers.push_back(frame->GetNumber());
  return numbers;
}

// `count` frames shot_0000.tif.. of width x height pixels (4 x 4 unless given), under a budget
// of 1 GiB.
class FakeFramesTest : public testing::Test {
 protected:
  void Build(int count, int width = 4, int height = 4) {
    for (int n = 0; n < count; ++n)
      rvtest::WriteFile(FilePath(n), std::to_string(width) + " " + std::to_string(height));
    ASSERT_TRUE(m_list.AddSequenceByFile(FilePath(0)));
    m_list.NumberFrames();
    m_list.SetFrameDecoder(&m_decoder);
    m_list.SetRAMPercent(100);
    m_list.SetPhysicalMemory(std::uint64_t(1) << 30);
  }
  std::string FilePath(int n) const {
    char name[32];
    std::snprintf(name, sizeof name, "shot_%04d.tif", n);
    return m_dir.File(name);
  }
  bool Loaded(std::uint32_t index) const { return m_list.GetLoadedFlags()[index].load() != 0; }

  rvtest::TempDir m_dir;
  CFakeFrameDecoder m_decoder;
  CRvPlayList m_list;
};
