#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include "TestUtil.h"
#include "imaging/ImageSource.h"
#include "imaging/TextException.h"

namespace {

std::vector<std::uint8_t> Bytes(std::size_t n) {
  std::vector<std::uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = std::uint8_t(i * 7 + 1);
  return v;
}

void ExpectEndOfFile(const std::function<void()>& f) {
  try {
    f();
    FAIL() << "no end-of-file error";
  } catch (const CTextException& e) {
    EXPECT_EQ(e.GetCode(), 11);
    EXPECT_EQ(e.GetText(), "End of file reached while decoding.\n");
  }
}

TEST(SourceReads, IntegersInBothByteOrders) {
  const std::uint8_t data[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                               0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D};
  CMemImageSource s;
  s.Open(data, sizeof data);
  EXPECT_EQ(s.ReadByte(), 0x01);
  EXPECT_EQ(s.ReadWordLE(), 0x0302);
  EXPECT_EQ(s.ReadWordBE(), 0x0405);
  EXPECT_EQ(s.ReadLongLE(), 0x09080706u);
  EXPECT_EQ(s.ReadLongBE(), 0x0A0B0C0Du);
  EXPECT_EQ(s.GetRemaining(), 0u);
  EXPECT_EQ(s.GetBytesConsumed(), 13u);
}

TEST(SourceEnd, ReadingPastTheEndRaisesCode11) {
  const std::vector<std::uint8_t> data = Bytes(6);
  CMemImageSource s;
  s.Open(data.data(), data.size());
  s.ReadNBytes(4);
  ExpectEndOfFile([&] { s.ReadLongLE(); });
  EXPECT_EQ(s.GetPosition(), 4u) << "a failed read does not move";
  EXPECT_EQ(s.ReadWordLE(), std::uint16_t(data[4] | (data[5] << 8)));
  ExpectEndOfFile([&] { s.ReadByte(); });
  ExpectEndOfFile([&] { s.ReadNBytes(std::size_t(-1)); });
  s.Seek(0);
  EXPECT_EQ(s.ReadNBytes(6), data.data()) << "exactly the whole data is fine";
}

TEST(SourceEnd, SeekingForwardDoesNotOpenTheWayPastTheEnd) {
  const std::vector<std::uint8_t> data = Bytes(100);
  CMemImageSource s;
  s.Open(data.data(), data.size());
  s.Seek(98);
  ExpectEndOfFile([&] { s.ReadLongLE(); });
  ExpectEndOfFile([&] { s.Seek(101); });
  s.Seek(100);
  EXPECT_EQ(s.GetRemaining(), 0u);
}

TEST(SourcePeek, DoesNotConsume) {
  const std::vector<std::uint8_t> data = Bytes(20);
  CMemImageSource s;
  s.Open(data.data(), data.size());
  s.ReadByte();
  const std::uint8_t* p = s.Peek(19);
  EXPECT_EQ(p, data.data() + 1);
  EXPECT_EQ(s.GetPosition(), 1u);
  EXPECT_EQ(s.GetBytesConsumed(), 1u);
  ExpectEndOfFile([&] { s.Peek(20); });
}

TEST(SourceProgress, ReportsEachCrossedKilobyteAndOneAtClose) {
  const std::vector<std::uint8_t> data = Bytes(4096);
  CMemImageSource s;
  s.Open(data.data(), data.size());
  std::vector<double> reports;
  s.SetProgressSink([&](double v) { reports.push_back(v); });
  s.ReadNBytes(1000);
  EXPECT_TRUE(reports.empty());
  s.ReadNBytes(100);  // 1100 crosses 1024
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_DOUBLE_EQ(reports[0], 1100.0 / 4096.0);
  s.ReadNBytes(2000);  // 3100 crosses 2048 and 3072 in one read: one report
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_DOUBLE_EQ(reports[1], 3100.0 / 4096.0);
  s.Close();
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_DOUBLE_EQ(reports[2], 1.0);
  EXPECT_EQ(s.GetName(), "");
}

// An empty file is a source of size zero, not an open failure.
TEST(FileSource, MapsTheWholeFile) {
  rvtest::TempDir dir;
  for (const std::size_t size : {std::size_t(5000), std::size_t(0)}) {
    const std::vector<std::uint8_t> data = Bytes(size);
    rvtest::WriteFile(dir.File("f.bin"), data);
    CFileImageSource s;
    ASSERT_EQ(s.Open(dir.File("f.bin")), 0) << size;
    EXPECT_EQ(s.GetFileSize(), size);
    EXPECT_EQ(s.GetName(), dir.File("f.bin"));
    const std::uint8_t* read = s.ReadNBytes(size);
    EXPECT_EQ(std::vector<std::uint8_t>(read, read + size), data);
    ExpectEndOfFile([&] { s.ReadByte(); });
    s.Close();
    EXPECT_EQ(s.GetFileSize(), 0u);
  }
}

TEST(FileSource, OpenErrorCodes) {
  rvtest::TempDir dir;
  CFileImageSource s;
  EXPECT_EQ(s.Open(dir.File("no-such-folder/x.png")), 3) << "missing folder";
  rvtest::WriteFile(dir.File("plain"), std::string("x"));
  EXPECT_EQ(s.Open(dir.File("plain") + "/x.png"), 3) << "a file used as a folder";
  EXPECT_EQ(s.Open(dir.File("missing.png")), 4) << "missing file in an existing folder";
  EXPECT_EQ(s.Open(dir.Path().string()), 4) << "a folder is not an image";
  if (geteuid() != 0) {  // root reads everything
    rvtest::WriteFile(dir.File("locked"), std::string("x"));
    chmod(dir.File("locked").c_str(), 0);
    EXPECT_EQ(s.Open(dir.File("locked")), 5);
  }
}

TEST(ResourceSource, UnknownNameIsCode4AndRegisteredDataIsFound) {
  CResourceImageSource s;
  EXPECT_EQ(s.Open("no such resource"), 4);
  static const std::uint8_t kData[] = {1, 2, 3};
  static const CResourceRegistrar registrar("source test data", kData, sizeof kData);
  ASSERT_EQ(s.Open("source test data"), 0);
  EXPECT_EQ(s.GetFileSize(), 3u);
  EXPECT_EQ(s.ReadNBytes(3), kData);
}

}  // namespace
