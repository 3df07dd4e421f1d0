#include "output/AviWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "output/ImageEncoders.h"

namespace {

constexpr std::uint32_t kMaxSegments = 256;  // entries reserved for the OpenDML super index
constexpr std::uint32_t kIndxDataSize = 24 + 16 * kMaxSegments;
constexpr std::uint32_t kOdmlDataSize = 4 + 8 + 248;
constexpr std::uint32_t kAvifHasIndex = 0x10;
constexpr std::uint32_t kAviifKeyFrame = 0x10;

// Little-endian bytes of a header under construction.
class Bytes {
 public:
  Bytes& U16(std::uint32_t v) {
    m_data.push_back(std::uint8_t(v));
    m_data.push_back(std::uint8_t(v >> 8));
    return *this;
  }
  Bytes& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  Bytes& U64(std::uint64_t v) { return U32(std::uint32_t(v)).U32(std::uint32_t(v >> 32)); }
  Bytes& Id(const char* fourcc) {
    m_data.insert(m_data.end(), fourcc, fourcc + 4);
    return *this;
  }
  Bytes& Text(const char* text) {
    m_data.insert(m_data.end(), text, text + std::strlen(text));
    return *this;
  }
  Bytes& Zeros(std::size_t n) {
    m_data.insert(m_data.end(), n, 0);
    return *this;
  }
  const std::uint8_t* data() const { return m_data.data(); }
  std::size_t size() const { return m_data.size(); }

 private:
  std::vector<std::uint8_t> m_data;
};

std::uint32_t PackedStride(int width) { return ((std::uint32_t(width) * 24 + 31) / 32) * 4; }

}  // namespace

struct CRvAviWriter::Jpeg {
  CRvJpegCompressor compressor;
};

CRvAviWriter::CRvAviWriter(CRvCompressionChooser* chooser) : m_chooser(chooser) {}

CRvAviWriter::~CRvAviWriter() {
  std::string ignored;
  Close(&ignored);
}

std::uint64_t CRvAviWriter::Tell() const { return std::uint64_t(ftello(m_file)); }

bool CRvAviWriter::PutAt(std::uint64_t position, const void* data, std::size_t size) {
  const off_t end = ftello(m_file);
  const bool ok = fseeko(m_file, off_t(position), SEEK_SET) == 0 &&
                  std::fwrite(data, 1, size, m_file) == size && fseeko(m_file, end, SEEK_SET) == 0;
  if (!ok) m_ioFailed = true;
  return ok;
}

bool CRvAviWriter::Put32At(std::uint64_t position, std::uint32_t value) {
  Bytes b;
  b.U32(value);
  return PutAt(position, b.data(), b.size());
}

bool CRvAviWriter::WriteChunk(const char* id, const void* data, std::uint32_t size) {
  Bytes header;
  header.Id(id).U32(size);
  bool ok = std::fwrite(header.data(), 1, header.size(), m_file) == header.size() &&
            (size == 0 || std::fwrite(data, 1, size, m_file) == size);
  if (ok && (size & 1)) ok = std::fputc(0, m_file) != EOF;  // chunks start on even offsets
  if (!ok) m_ioFailed = true;
  return ok;
}

bool CRvAviWriter::Open(const std::string& path, const CImageBitmap& first, std::uint32_t rate,
                        std::string* errorText) {
  Close(errorText);
  if (first.GetWidth() <= 0 || first.GetHeight() <= 0 || first.GetWidth() > 32767 ||
      first.GetHeight() > 32767 ||
      std::uint64_t(PackedStride(first.GetWidth())) * std::uint64_t(first.GetHeight()) >
          m_riffLimit / 2) {
    *errorText += "Invalid first frame\n";
    return false;
  }
  if (m_chooser && !m_chooser->ChooseCompression(&m_options)) {
    *errorText += "No compression option selected\n";
    return false;
  }
  m_path = path;
  m_file = std::fopen(path.c_str(), "wb");
  if (!m_file) {
    *errorText += "File " + path +
                  " could not be opened for write access. Error Code = " + std::to_string(errno) +
                  "\n";
    return false;
  }
  // Frames go out in large writes; the buffer is ours because the C library ignores a size
  // given without one.
  m_ioBuffer.resize(1 << 20);
  std::setvbuf(m_file, m_ioBuffer.data(), _IOFBF, m_ioBuffer.size());
  m_ioFailed = false;
  m_width = first.GetWidth();
  m_height = first.GetHeight();
  m_rate = rate == 0 ? 1 : rate;  // a rate of 0 would make an unreadable file
  m_imageSize = PackedStride(m_width) * std::uint32_t(m_height);
  m_largestChunk = 0;
  m_totalFrames = 0;
  m_firstRiffFrames = 0;
  m_segmentFrames.clear();
  m_idx1.clear();
  m_segments.clear();
  if (m_options.codec == RvAviCodec::MotionJpeg && !m_jpeg) m_jpeg = std::make_unique<Jpeg>();
  if (!WriteHeaders()) {
    *errorText += "Failed to create AVI stream. Error Code = " + std::to_string(errno) + "\n";
    std::fclose(m_file);
    m_file = nullptr;
    std::remove(path.c_str());
    return false;
  }
  return true;
}

bool CRvAviWriter::WriteHeaders() {
  const bool mjpeg = m_options.codec == RvAviCodec::MotionJpeg;
  const char* handler = mjpeg ? "MJPG" : "\0\0\0\0";
  const std::uint32_t nameSize = std::uint32_t(std::strlen(kRvAviStreamName) + 1);
  const std::uint32_t strlSize =
      4 + (8 + 56) + (8 + 40) + (8 + ((nameSize + 1) & ~1u)) + (8 + kIndxDataSize);
  const std::uint32_t hdrlSize = 4 + (8 + 56) + (8 + strlSize) + (8 + kOdmlDataSize);

  Bytes h;
  h.Id("RIFF").U32(0).Id("AVI ");
  h.Id("LIST").U32(hdrlSize).Id("hdrl");
  m_avihPos = h.size() + 8;
  h.Id("avih").U32(56);
  h.U32(1000000 / m_rate).U32(0).U32(0).U32(kAvifHasIndex).U32(0).U32(0).U32(1);
  h.U32(m_imageSize).U32(std::uint32_t(m_width)).U32(std::uint32_t(m_height)).Zeros(16);
  h.Id("LIST").U32(strlSize).Id("strl");
  m_strhPos = h.size() + 8;
  h.Id("strh").U32(56).Id("vids").Id(handler).U32(0).U16(0).U16(0).U32(0);
  h.U32(1).U32(m_rate).U32(0).U32(0).U32(m_imageSize).U32(0xFFFFFFFFu).U32(0);
  h.U16(0).U16(0).U16(std::uint32_t(m_width)).U16(std::uint32_t(m_height));
  h.Id("strf").U32(40).U32(40).U32(std::uint32_t(m_width)).U32(std::uint32_t(m_height));
  h.U16(1).U16(24).Id(mjpeg ? "MJPG" : "\0\0\0\0").U32(m_imageSize).Zeros(16);
  h.Id("strn").U32(nameSize);
  h.Text(kRvAviStreamName).Zeros(1 + (nameSize & 1));
  // Room for the OpenDML super index and header, used only once a second RIFF is needed.
  m_indxPos = h.size();
  h.Id("JUNK").U32(kIndxDataSize).Zeros(kIndxDataSize);
  m_odmlPos = h.size();
  h.Id("JUNK").U32(kOdmlDataSize).Zeros(kOdmlDataSize);
  m_riffPos = 0;
  m_moviPos = h.size();
  h.Id("LIST").U32(0).Id("movi");
  if (std::fwrite(h.data(), 1, h.size(), m_file) != h.size()) {
    m_ioFailed = true;
    return false;
  }
  return true;
}

bool CRvAviWriter::StartSegment() {
  m_riffPos = Tell();
  Bytes h;
  h.Id("RIFF").U32(0).Id("AVIX");
  m_moviPos = m_riffPos + h.size();
  h.Id("LIST").U32(0).Id("movi");
  if (std::fwrite(h.data(), 1, h.size(), m_file) != h.size()) m_ioFailed = true;
  return !m_ioFailed;
}

bool CRvAviWriter::FinishSegment(bool last) {
  const bool first = m_segments.empty();
  const char* chunkId = m_options.codec == RvAviCodec::MotionJpeg ? "00dc" : "00db";
  if (!last || !first) {
    // The segment's standard index, inside its movi list.
    Bytes ix;
    ix.U16(2).U16(0x0100).U32(std::uint32_t(m_segmentFrames.size())).Id(chunkId);
    ix.U64(m_moviPos).U32(0);
    for (const IndexEntry& e : m_segmentFrames)
      ix.U32(std::uint32_t(e.offset + 8 - m_moviPos)).U32(e.size);
    const std::uint64_t at = Tell();
    WriteChunk("ix00", ix.data(), std::uint32_t(ix.size()));
    m_segments.push_back({at, std::uint32_t(8 + ix.size()), std::uint32_t(m_segmentFrames.size())});
  } else {
    m_segments.push_back({0, 0, std::uint32_t(m_segmentFrames.size())});
  }
  Put32At(m_moviPos + 4, std::uint32_t(Tell() - m_moviPos - 8));
  if (first) {
    m_firstRiffFrames = std::uint32_t(m_segmentFrames.size());
    Bytes idx;
    for (const IndexEntry& e : m_segmentFrames)
      idx.Id(chunkId).U32(kAviifKeyFrame).U32(std::uint32_t(e.offset - m_moviPos - 8)).U32(e.size);
    WriteChunk("idx1", idx.data(), std::uint32_t(idx.size()));
  }
  Put32At(m_riffPos + 4, std::uint32_t(Tell() - m_riffPos - 8));
  m_segmentFrames.clear();
  return !m_ioFailed;
}

bool CRvAviWriter::EncodeFrame(const CImageBitmap& source, const std::uint8_t** data,
                               std::uint32_t* size) {
  std::unique_ptr<CDIBSectionBitmap> holder;
  const CImageBitmap& bitmap = RvTrueColour(source, &holder);
  if (m_options.codec == RvAviCodec::MotionJpeg) {
    int quality = m_options.quality;
    const std::uint64_t budget =
        m_options.dataRate > 0 ? std::uint64_t(m_options.dataRate) * 1024 / m_rate : 0;
    for (;;) {
      std::size_t bytes = 0;
      std::string error;
      if (!m_jpeg->compressor.Compress(bitmap, quality, data, &bytes, &error)) return false;
      *size = std::uint32_t(bytes);
      if (budget == 0 || bytes <= budget || quality <= 10) return true;
      quality = quality > 20 ? quality - 10 : 10;
    }
  }
  const std::uint32_t stride = PackedStride(m_width);
  if (bitmap.GetBitsPerPixel() == 24) {
    // Stored rows are already the packed layout, bottom row first, padded to 4 bytes: a
    // bitmap with one block of rows is written straight from it.
    if (const auto* dib = dynamic_cast<const CDIBBitmap*>(&bitmap)) {
      *data = dib->GetBits();
      *size = m_imageSize;
      return true;
    }
    m_frame.resize(m_imageSize);
    for (int y = 0; y < m_height; ++y)
      std::memcpy(&m_frame[std::size_t(m_height - 1 - y) * stride], bitmap.GetLineArray()[y],
                  stride);
  } else {
    m_frame.resize(m_imageSize);
    const std::size_t last = std::size_t(m_width) - 1;
    for (int y = 0; y < m_height; ++y) {
      const std::uint8_t* in = bitmap.GetLineArray()[y];
      std::uint8_t* out = &m_frame[std::size_t(m_height - 1 - y) * stride];
      // Four bytes a pixel, the fourth overwritten by the next pixel; the last pixel copies
      // three, so nothing spills into the neighbouring row.
      for (std::size_t x = 0; x < last; ++x) std::memcpy(out + 3 * x, in + 4 * x, 4);
      std::memcpy(out + 3 * last, in + 4 * last, 3);
      std::memset(out + 3 * (last + 1), 0, stride - 3 * (last + 1));
    }
  }
  *data = m_frame.data();
  *size = m_imageSize;
  return true;
}

bool CRvAviWriter::Write(std::uint32_t, const CImageBitmap& bitmap) {
  if (!m_file || m_ioFailed) return false;
  if (bitmap.GetWidth() != m_width || bitmap.GetHeight() != m_height) return false;
  const std::uint8_t* data = nullptr;
  std::uint32_t size = 0;
  if (!EncodeFrame(bitmap, &data, &size)) return false;

  const bool first = m_segments.empty();
  const std::uint64_t frames = m_segmentFrames.size() + 1;
  const std::uint64_t indexBytes = (8 + 24 + 8 * frames) + (first ? 8 + 16 * frames : 0);
  const std::uint64_t projected = Tell() + 8 + size + (size & 1) + indexBytes - m_riffPos;
  if (projected > m_riffLimit && !m_segmentFrames.empty()) {
    if (m_segments.size() + 1 >= kMaxSegments) return false;
    if (!FinishSegment(false) || !StartSegment()) return false;
  }
  const std::uint64_t at = Tell();
  if (!WriteChunk(m_options.codec == RvAviCodec::MotionJpeg ? "00dc" : "00db", data, size))
    return false;
  m_segmentFrames.push_back({at, size});
  if (size > m_largestChunk) m_largestChunk = size;
  ++m_totalFrames;
  return true;
}

bool CRvAviWriter::PatchHeaders() {
  const std::uint32_t buffer = std::max(m_imageSize, m_largestChunk);
  Put32At(m_avihPos + 4, std::uint32_t(std::min<std::uint64_t>(
                             std::uint64_t(m_largestChunk) * m_rate, 0xFFFFFFFFu)));
  Put32At(m_avihPos + 16, m_firstRiffFrames);
  Put32At(m_avihPos + 28, buffer);
  Put32At(m_strhPos + 32, m_totalFrames);
  Put32At(m_strhPos + 36, buffer);
  if (m_segments.size() > 1) {
    const char* chunkId = m_options.codec == RvAviCodec::MotionJpeg ? "00dc" : "00db";
    Bytes indx;
    indx.Id("indx").U32(kIndxDataSize);
    indx.U16(4).U16(0).U32(std::uint32_t(m_segments.size())).Id(chunkId).Zeros(12);
    for (const Segment& s : m_segments) indx.U64(s.indexOffset).U32(s.indexSize).U32(s.frames);
    indx.Zeros(8 + kIndxDataSize - indx.size());
    PutAt(m_indxPos, indx.data(), indx.size());
    Bytes odml;
    odml.Id("LIST").U32(kOdmlDataSize).Id("odml").Id("dmlh").U32(248).U32(m_totalFrames);
    odml.Zeros(244);
    PutAt(m_odmlPos, odml.data(), odml.size());
  }
  return !m_ioFailed;
}

bool CRvAviWriter::Close(std::string* errorText) {
  if (!m_file) return true;
  bool ok = !m_ioFailed && FinishSegment(true) && PatchHeaders();
  ok = std::fflush(m_file) == 0 && ok;
  ok = std::fclose(m_file) == 0 && ok;
  m_file = nullptr;
  if (!ok) *errorText += "Failed to complete AVI file " + m_path + "\n";
  return ok;
}
