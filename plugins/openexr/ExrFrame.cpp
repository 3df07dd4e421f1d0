#include "ExrFrame.h"

#include <OpenEXR/Iex.h>
#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfInputPart.h>
#include <OpenEXR/ImfMultiPartInputFile.h>
#include <OpenEXR/ImfRgbaFile.h>
#include <OpenEXR/openexr.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <exception>
#include <utility>
#include <vector>

namespace {

// ---- Display transform -------------------------------------------------------------------

struct DisplayTables {
  std::array<std::uint8_t, 65536> colour;  // half bits -> sRGB byte
  std::array<std::uint8_t, 65536> alpha;   // half bits -> linear byte
};

std::uint8_t ToByte(float v) {
  if (!(v > 0.0f)) return 0;  // negatives and NaN
  if (v >= 1.0f) return 255;
  return static_cast<std::uint8_t>(std::lround(v * 255.0f));
}

float LinearToSrgb(float v) {
  return v <= 0.0031308f ? v * 12.92f : 1.055f * std::pow(v, 1.0f / 2.4f) - 0.055f;
}

const DisplayTables& Tables() {
  static const DisplayTables tables = [] {
    DisplayTables t;
    for (unsigned bits = 0; bits < 65536; ++bits) {
      half h;
      h.setBits(static_cast<unsigned short>(bits));
      const float v = h;
      t.colour[bits] = (v > 0.0f && v < 1.0f) ? ToByte(LinearToSrgb(v)) : ToByte(v);
      t.alpha[bits] = ToByte(v);
    }
    return t;
  }();
  return tables;
}

// ---- Header check through the library's C core, which reads lazily ------------------------

struct CoreSource {
  const std::uint8_t* data;
  std::size_t size;
  std::string message;
};

int64_t CoreRead(exr_const_context_t, void* user, void* buffer, uint64_t count, uint64_t offset,
                 exr_stream_error_func_ptr_t) {
  const auto* source = static_cast<CoreSource*>(user);
  if (offset >= source->size) return 0;
  const uint64_t n = std::min<uint64_t>(count, source->size - offset);
  std::memcpy(buffer, source->data + offset, n);
  return static_cast<int64_t>(n);
}

int64_t CoreSize(exr_const_context_t, void* user) {
  return static_cast<int64_t>(static_cast<CoreSource*>(user)->size);
}

void CoreError(exr_const_context_t context, exr_result_t, const char* message) {
  void* user = nullptr;
  if (exr_get_user_data(context, &user) == EXR_ERR_SUCCESS && user != nullptr) {
    auto* source = static_cast<CoreSource*>(user);
    if (source->message.empty() && message != nullptr) source->message = message;
  }
}

class CoreContext {
 public:
  ~CoreContext() {
    if (m_context != nullptr) exr_finish(&m_context);
  }
  exr_context_t* Out() { return &m_context; }
  exr_const_context_t Get() const { return m_context; }

 private:
  exr_context_t m_context = nullptr;
};

// The C++ library allocates what an attribute's size fields claim before reading it (a string's
// length, each string of a string vector, a preview's pixels, an unknown type's bytes), so a few
// bytes can ask for gigabytes and seconds of zero-filling. Walks the headers as that library
// reads them and refuses any size the rest of the file cannot hold. Known types are read by
// their contents, not by their size field, so a size that disagrees with the contents would put
// the library out of step with this walk: such files are refused too (real writers never make
// them, and the library's own checked reader refuses them as well).
const char* HeaderSizesError(const std::uint8_t* data, std::size_t size) {
  static const char* const kBeyondFile =
      "OpenEXR: a header field claims more data than the file holds.";
  static const char* const kMismatch =
      "OpenEXR: a header field's size does not match its contents.";
  // What the library reads for the fixed-size types it knows.
  // clang-format off
  static const std::pair<const char*, std::size_t> kFixed[] = {
      {"box2f", 16}, {"box2i", 16}, {"chromaticities", 32}, {"compression", 1},
      {"deepImageState", 1}, {"double", 8}, {"envmap", 1}, {"float", 4}, {"int", 4},
      {"keycode", 28}, {"lineOrder", 1}, {"m33d", 72}, {"m33f", 36}, {"m44d", 128},
      {"m44f", 64}, {"rational", 8}, {"tiledesc", 9}, {"timecode", 8}, {"v2d", 16},
      {"v2f", 8}, {"v2i", 8}, {"v3d", 24}, {"v3f", 12}, {"v3i", 12}};
  // clang-format on
  constexpr std::size_t kMaxName = 255;  // the library's name limit; longer ones lose step
  const bool multiPart = (data[5] & 0x10) != 0;
  std::size_t at = 8;
  const auto textEnd = [&](std::size_t from, std::size_t limit) -> std::size_t {
    const std::size_t span = std::min(limit - from, kMaxName + 1);
    const auto* end = static_cast<const std::uint8_t*>(std::memchr(data + from, 0, span));
    return end == nullptr ? 0 : std::size_t(end - data);
  };
  const auto readText = [&](std::string* text) {
    const std::size_t end = textEnd(at, size);
    if (end == 0) return false;
    text->assign(reinterpret_cast<const char*>(data + at), end - at);
    at = end + 1;
    return true;
  };
  const auto readInt = [&](std::size_t where) {
    std::int32_t v;
    std::memcpy(&v, data + where, 4);
    return v;  // files are little-endian, as is every machine this builds for
  };
  std::string name, type;
  for (;;) {
    if (at >= size || !readText(&name)) return kBeyondFile;
    if (name.empty()) {  // end of one header
      if (!multiPart) return nullptr;
      if (at >= size) return kBeyondFile;
      if (data[at] == 0) return nullptr;  // an empty header ends the list
      continue;
    }
    if (!readText(&type) || size - at < 4) return kBeyondFile;
    const std::int32_t length = readInt(at);
    at += 4;
    if (length < 0 || std::size_t(length) > size - at) return kBeyondFile;
    const std::size_t end = at + std::size_t(length);
    for (const auto& [fixedType, bytes] : kFixed) {
      if (type == fixedType && std::size_t(length) != bytes) return kMismatch;
    }
    if (type == "stringvector") {
      for (std::size_t p = at; p < end;) {
        if (end - p < 4) return kBeyondFile;
        const std::int32_t n = readInt(p);
        p += 4;
        if (n < 0 || std::size_t(n) > end - p) return kBeyondFile;
        p += std::size_t(n);
      }
    } else if (type == "chlist") {
      // Channels until an empty name, each name followed by 16 bytes of description.
      std::size_t p = at;
      for (;;) {
        if (p >= end) return kMismatch;
        const std::size_t nameEnd = textEnd(p, end);
        if (nameEnd == 0) return kMismatch;
        if (nameEnd == p) break;
        if (end - (nameEnd + 1) < 16) return kMismatch;
        p = nameEnd + 1 + 16;
      }
      if (p + 1 != end) return kMismatch;
    } else if (type == "preview") {
      if (length < 8) return kBeyondFile;
      const std::uint64_t pixels =
          std::uint64_t(std::uint32_t(readInt(at))) * std::uint32_t(readInt(at + 4));
      if (pixels > std::uint64_t(length - 8) / 4) return kBeyondFile;
      if (pixels * 4 != std::uint64_t(length - 8)) return kMismatch;
    } else if (type == "floatvector" && length % 4 != 0) {
      return kMismatch;
    }
    at = end;
  }
}

bool Fail(std::string* error, const std::string& text) {
  if (error != nullptr) *error = text;
  return false;
}

bool Has(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// Picks the layer and the kind of picture from the part's channel names.
bool ChooseChannels(const std::vector<std::string>& names, ExrLayout* layout, std::string* error) {
  if (Has(names, "R") || Has(names, "G") || Has(names, "B")) {
    layout->channels = ExrChannels::kRgb;
  } else if (Has(names, "Y") && (Has(names, "RY") || Has(names, "BY"))) {
    layout->channels = ExrChannels::kLuminanceChroma;
  } else if (Has(names, "Y")) {
    layout->channels = ExrChannels::kLuminance;
  } else {
    // No colour in the default layer: the first layer (in the file's channel order) that
    // has all of R, G and B.
    for (const std::string& name : names) {
      const std::size_t dot = name.rfind('.');
      if (dot == std::string::npos) continue;
      const std::string prefix = name.substr(0, dot + 1);
      if (Has(names, prefix + "R") && Has(names, prefix + "G") && Has(names, prefix + "B")) {
        layout->layer = prefix;
        break;
      }
    }
    if (layout->layer.empty()) {
      return Fail(error, "OpenEXR: the picture has no colour channels (R, G, B or Y).");
    }
    layout->channels = ExrChannels::kRgb;
  }
  layout->hasAlpha = Has(names, layout->layer + "A");
  return true;
}

// OpenEXR 3.1 takes an uncompressed block that is shorter than its pixels as it is and reads
// the rest from stale buffer memory, so every such block of level 0 is checked first.
// tileX is 0 for scan-line parts.
bool UncompressedBlocksComplete(exr_const_context_t context, int part,
                                const exr_attr_box2i_t& dataWindow, uint32_t tileX, uint32_t tileY,
                                int32_t chunkLines) {
  exr_chunk_info_t info;
  auto complete = [&](exr_result_t result) {
    return result == EXR_ERR_SUCCESS && info.packed_size == info.unpacked_size;
  };
  if (tileX == 0) {
    for (std::int64_t y = dataWindow.min.y; y <= dataWindow.max.y; y += chunkLines) {
      if (!complete(exr_read_scanline_chunk_info(context, part, int(y), &info))) return false;
    }
    return true;
  }
  const std::int64_t across = (std::int64_t(dataWindow.max.x) - dataWindow.min.x + tileX) / tileX;
  const std::int64_t down = (std::int64_t(dataWindow.max.y) - dataWindow.min.y + tileY) / tileY;
  for (std::int64_t ty = 0; ty < down; ++ty) {
    for (std::int64_t tx = 0; tx < across; ++tx) {
      if (!complete(exr_read_tile_chunk_info(context, part, int(tx), int(ty), 0, 0, &info))) {
        return false;
      }
    }
  }
  return true;
}

bool CheckPart(exr_const_context_t context, int part, ExrLayout* layout, std::string* error) {
  exr_attr_box2i_t display, dataWindow;
  const exr_attr_chlist_t* channelList = nullptr;
  int32_t chunkLines = 1;
  exr_storage_t storage = EXR_STORAGE_SCANLINE;
  if (exr_get_display_window(context, part, &display) != EXR_ERR_SUCCESS ||
      exr_get_data_window(context, part, &dataWindow) != EXR_ERR_SUCCESS ||
      exr_get_channels(context, part, &channelList) != EXR_ERR_SUCCESS || channelList == nullptr ||
      exr_get_storage(context, part, &storage) != EXR_ERR_SUCCESS) {
    return Fail(error, "OpenEXR: a required header attribute is missing.");
  }
  uint32_t tileX = 0, tileY = 0;
  if (storage == EXR_STORAGE_TILED) {
    exr_tile_level_mode_t levels;
    exr_tile_round_mode_t rounding;
    if (exr_get_tile_descriptor(context, part, &tileX, &tileY, &levels, &rounding) !=
            EXR_ERR_SUCCESS ||
        tileX == 0 || tileY == 0 || tileX > kExrMaxSide || tileY > kExrMaxSide) {
      return Fail(error, "OpenEXR: the tile description is invalid.");
    }
    chunkLines = static_cast<int32_t>(tileY);
  } else if (exr_get_scanlines_per_chunk(context, part, &chunkLines) != EXR_ERR_SUCCESS ||
             chunkLines < 1) {
    return Fail(error, "OpenEXR: unknown compression.");
  }

  const std::int64_t width = std::int64_t(display.max.x) - display.min.x + 1;
  const std::int64_t height = std::int64_t(display.max.y) - display.min.y + 1;
  const std::int64_t dataWidth = std::int64_t(dataWindow.max.x) - dataWindow.min.x + 1;
  const std::int64_t dataHeight = std::int64_t(dataWindow.max.y) - dataWindow.min.y + 1;
  if (width < 1 || height < 1 || width > kExrMaxSide || height > kExrMaxSide ||
      width * height > kExrMaxPixels) {
    return Fail(error, "OpenEXR: the display window is too large or empty.");
  }
  if (dataWidth < 1 || dataHeight < 1 || dataWidth > kExrMaxSide ||
      dataWidth * std::min<std::int64_t>(chunkLines, dataHeight) * std::int64_t(sizeof(Imf::Rgba)) >
          kExrMaxStripBytes) {
    return Fail(error, "OpenEXR: the data window is too large or empty.");
  }
  uint64_t chunkBytes = 0;
  if (exr_get_chunk_unpacked_size(context, part, &chunkBytes) != EXR_ERR_SUCCESS ||
      chunkBytes > uint64_t(kExrMaxStripBytes)) {
    return Fail(error, "OpenEXR: the data blocks are too large.");
  }

  std::vector<std::string> names;
  for (int i = 0; i < channelList->num_channels; ++i) {
    const exr_attr_chlist_entry_t& entry = channelList->entries[i];
    names.emplace_back(entry.name.str, std::size_t(entry.name.length));
  }
  if (!ChooseChannels(names, layout, error)) return false;
  if (layout->channels != ExrChannels::kLuminanceChroma) {
    // The frame buffer reads whole pixels; subsampled colour comes only with chroma.
    for (int i = 0; i < channelList->num_channels; ++i) {
      const exr_attr_chlist_entry_t& entry = channelList->entries[i];
      if ((entry.x_sampling != 1 || entry.y_sampling != 1) &&
          names[i].compare(0, layout->layer.size(), layout->layer) == 0) {
        return Fail(error, "OpenEXR: subsampled colour channels need Y, RY and BY.");
      }
    }
  } else if (part != 0) {
    return Fail(error, "OpenEXR: luminance/chroma pictures are read only from the first part.");
  }

  exr_compression_t compression = EXR_COMPRESSION_NONE;
  if (exr_get_compression(context, part, &compression) != EXR_ERR_SUCCESS ||
      (compression == EXR_COMPRESSION_NONE &&
       !UncompressedBlocksComplete(context, part, dataWindow, tileX, tileY, chunkLines))) {
    return Fail(error, "OpenEXR: a data block is shorter than its pixels.");
  }

  layout->part = part;
  layout->displayMinX = display.min.x;
  layout->displayMinY = display.min.y;
  layout->width = static_cast<int>(width);
  layout->height = static_cast<int>(height);
  layout->dataMinX = dataWindow.min.x;
  layout->dataMinY = dataWindow.min.y;
  layout->dataMaxX = dataWindow.max.x;
  layout->dataMaxY = dataWindow.max.y;
  layout->stripLines = static_cast<int>(std::min<std::int64_t>(chunkLines, dataHeight));
  layout->compression = int(compression);
  layout->sampleTypes.clear();
  for (int i = 0; i < channelList->num_channels; ++i) {
    layout->sampleTypes += char('0' + int(channelList->entries[i].pixel_type));
  }
  std::sort(layout->sampleTypes.begin(), layout->sampleTypes.end());
  return true;
}

// ---- Pixels through the C++ library ------------------------------------------------------

// Writes one display row: the data row's part that falls inside the display window, and
// black (transparent when the picture has alpha) around it. dataRow is null outside the
// data window's rows.
void WriteRow(const ExrLayout& layout, const Imf::Rgba* dataRow, std::uint8_t* out) {
  const std::uint32_t outside = layout.hasAlpha ? 0u : 0xFF000000u;
  const std::int64_t width = layout.width;
  std::int64_t left = width, right = width;
  if (dataRow != nullptr) {
    left = std::clamp<std::int64_t>(std::int64_t(layout.dataMinX) - layout.displayMinX, 0, width);
    right = std::clamp<std::int64_t>(std::int64_t(layout.dataMaxX) + 1 - layout.displayMinX, left,
                                     width);
  }
  auto fill = [&](std::int64_t from, std::int64_t to) {
    for (std::int64_t x = from; x < to; ++x) std::memcpy(out + 4 * x, &outside, 4);
  };
  fill(0, left);
  if (right > left) {
    const std::int64_t first = layout.displayMinX + left - std::int64_t(layout.dataMinX);
    ExrToDisplay(dataRow + first, std::size_t(right - left),
                 layout.channels == ExrChannels::kLuminance, out + 4 * left);
  }
  fill(right, width);
}

// Decodes the rows of the data window that the display window shows, one chunk's lines at a
// time so the half pixels stay in the cache, and converts each strip. read(y0, y1, base)
// must fill rows y0..y1 of the data window at base (data-window coordinates).
template <typename ReadStrip>
void ReadAndConvert(const ExrLayout& layout, std::uint8_t* const* lines, ReadStrip read) {
  const std::int64_t dataWidth = std::int64_t(layout.dataMaxX) - layout.dataMinX + 1;
  std::vector<Imf::Rgba> strip(std::size_t(dataWidth * layout.stripLines));
  const std::int64_t displayMaxY = std::int64_t(layout.displayMinY) + layout.height - 1;
  const std::int64_t firstY = std::max<std::int64_t>(layout.dataMinY, layout.displayMinY);
  const std::int64_t lastY = std::min<std::int64_t>(layout.dataMaxY, displayMaxY);
  auto line = [&](std::int64_t y) { return lines[y - layout.displayMinY]; };

  for (std::int64_t y = layout.displayMinY; y < std::min(firstY, displayMaxY + 1); ++y) {
    WriteRow(layout, nullptr, line(y));
  }
  for (std::int64_t y0 = firstY; y0 <= lastY;) {
    // Strips follow the file's chunk grid, which starts at the data window's top.
    const std::int64_t chunk = (y0 - layout.dataMinY) / layout.stripLines;
    const std::int64_t y1 =
        std::min<std::int64_t>(layout.dataMinY + (chunk + 1) * layout.stripLines - 1, lastY);
    // The library addresses pixel (x, y) at base + x + y * dataWidth; the address arithmetic
    // is done on integers as the library's own slice helper does.
    const auto base = reinterpret_cast<Imf::Rgba*>(
        reinterpret_cast<std::uintptr_t>(strip.data()) -
        std::uintptr_t((layout.dataMinX + y0 * dataWidth) * std::int64_t(sizeof(Imf::Rgba))));
    read(int(y0), int(y1), base, dataWidth);
    for (std::int64_t y = y0; y <= y1; ++y) {
      WriteRow(layout, strip.data() + (y - y0) * dataWidth, line(y));
    }
    y0 = y1 + 1;
  }
  for (std::int64_t y = std::max(lastY + 1, std::int64_t(layout.displayMinY)); y <= displayMaxY;
       ++y) {
    WriteRow(layout, nullptr, line(y));
  }
}

// The strip buffer is sized from the header as the core read it; the C++ library reads the
// header again and sizes its own block buffers from it, so a damaged file must not make the two
// disagree. Checked before the library builds a part: its buffers are allocated then.
void CheckSameHeader(const Imf::Header& header, const ExrLayout& layout) {
  const Imath::Box2i& data = header.dataWindow();
  const Imath::Box2i& display = header.displayWindow();
  std::string types;
  for (auto it = header.channels().begin(); it != header.channels().end(); ++it) {
    types += char('0' + int(it.channel().type));
  }
  std::sort(types.begin(), types.end());
  if (data.min.x != layout.dataMinX || data.min.y != layout.dataMinY ||
      data.max.x != layout.dataMaxX || data.max.y != layout.dataMaxY ||
      display.min.x != layout.displayMinX || display.min.y != layout.displayMinY ||
      std::int64_t(display.max.x) - display.min.x + 1 != layout.width ||
      std::int64_t(display.max.y) - display.min.y + 1 != layout.height ||
      int(header.compression()) != layout.compression || types != layout.sampleTypes) {
    throw Iex::InputExc("The header is inconsistent.");
  }
}

void ConvertWithFrameBuffer(ExrMemoryStream& stream, const ExrLayout& layout,
                            std::uint8_t* const* lines, int threads) {
  Imf::MultiPartInputFile file(stream, threads);
  if (layout.part >= file.parts()) throw Iex::InputExc("The header is inconsistent.");
  CheckSameHeader(file.header(layout.part), layout);
  Imf::InputPart part(file, layout.part);
  const bool grey = layout.channels == ExrChannels::kLuminance;
  ReadAndConvert(layout, lines, [&](int y0, int y1, Imf::Rgba* base, std::int64_t dataWidth) {
    char* at = reinterpret_cast<char*>(base);
    const std::size_t xStride = sizeof(Imf::Rgba);
    const std::size_t yStride = xStride * std::size_t(dataWidth);
    Imf::FrameBuffer buffer;
    const std::string& p = layout.layer;
    if (grey) {
      buffer.insert(p + "Y", Imf::Slice(Imf::HALF, at, xStride, yStride, 1, 1, 0.0));
    } else {
      buffer.insert(p + "R", Imf::Slice(Imf::HALF, at, xStride, yStride, 1, 1, 0.0));
      buffer.insert(p + "G", Imf::Slice(Imf::HALF, at + 2, xStride, yStride, 1, 1, 0.0));
      buffer.insert(p + "B", Imf::Slice(Imf::HALF, at + 4, xStride, yStride, 1, 1, 0.0));
    }
    buffer.insert(p + "A", Imf::Slice(Imf::HALF, at + 6, xStride, yStride, 1, 1, 1.0));
    part.setFrameBuffer(buffer);
    part.readPixels(y0, y1);
  });
}

void ConvertWithRgbaInterface(ExrMemoryStream& stream, const ExrLayout& layout,
                              std::uint8_t* const* lines, int threads) {
  const std::string layer =
      layout.layer.empty() ? std::string() : layout.layer.substr(0, layout.layer.size() - 1);
  {
    // The RGBA interface builds its buffers as it opens, so the header is compared first.
    Imf::MultiPartInputFile check(stream, threads);
    CheckSameHeader(check.header(0), layout);
  }
  stream.seekg(0);
  Imf::RgbaInputFile file(stream, layer, threads);
  ReadAndConvert(layout, lines, [&](int y0, int y1, Imf::Rgba* base, std::int64_t dataWidth) {
    file.setFrameBuffer(base, 1, std::size_t(dataWidth));
    file.readPixels(y0, y1);
  });
}

}  // namespace

bool ExrMemoryStream::read(char c[], int n) {
  if (n < 0 || m_position > m_size || std::uint64_t(n) > m_size - m_position) {
    throw Iex::InputExc("Unexpected end of file.");
  }
  std::memcpy(c, m_data + m_position, std::size_t(n));
  m_position += std::uint64_t(n);
  return m_position < m_size;
}

bool IsExrFile(const std::uint8_t* header, std::size_t size) {
  return header != nullptr && size >= 8 && header[0] == 0x76 && header[1] == 0x2F &&
         header[2] == 0x31 && header[3] == 0x01 && header[4] == 2;
}

bool ReadExrLayout(const std::uint8_t* data, std::size_t size, ExrLayout* layout,
                   std::string* error) {
  if (data == nullptr || !IsExrFile(data, size)) {
    return Fail(error, "OpenEXR: not an OpenEXR file.");
  }
  if (const char* problem = HeaderSizesError(data, size)) return Fail(error, problem);
  CoreSource source{data, size, {}};
  exr_context_initializer_t init = EXR_DEFAULT_CONTEXT_INITIALIZER;
  init.user_data = &source;
  init.read_fn = CoreRead;
  init.size_fn = CoreSize;
  init.error_handler_fn = CoreError;
  init.max_image_width = int(kExrMaxSide);
  init.max_image_height = int(kExrMaxSide);
  init.max_tile_width = int(kExrMaxSide);
  init.max_tile_height = int(kExrMaxSide);
  CoreContext context;
  // The core may report a damaged header and still start, with what it guessed in place of
  // what it could not read; the C++ library would then read the real, unchecked values.
  if (exr_start_read(context.Out(), "OpenEXR frame", &init) != EXR_ERR_SUCCESS ||
      !source.message.empty()) {
    return Fail(error, "OpenEXR: " + (source.message.empty() ? std::string("unreadable header.")
                                                             : source.message));
  }
  int parts = 0;
  if (exr_get_count(context.Get(), &parts) != EXR_ERR_SUCCESS || parts < 1) {
    return Fail(error, "OpenEXR: the file has no parts.");
  }
  // Every part's chunk offset table is read when the file is opened; each entry takes eight
  // bytes of the file, so a table longer than the file is a lie.
  std::uint64_t chunks = 0;
  int image = -1;
  for (int part = 0; part < parts; ++part) {
    int32_t count = 0;
    exr_storage_t storage = EXR_STORAGE_LAST_TYPE;
    if (exr_get_chunk_count(context.Get(), part, &count) != EXR_ERR_SUCCESS || count < 0 ||
        exr_get_storage(context.Get(), part, &storage) != EXR_ERR_SUCCESS) {
      return Fail(error, "OpenEXR: a part's header is incomplete.");
    }
    chunks += std::uint64_t(count);
    if (image < 0 && (storage == EXR_STORAGE_SCANLINE || storage == EXR_STORAGE_TILED)) {
      image = part;
    }
  }
  if (chunks > size / 8) return Fail(error, "OpenEXR: the file is truncated.");
  if (image < 0) return Fail(error, "OpenEXR: the file holds only deep data, no image.");
  ExrLayout result;
  if (!CheckPart(context.Get(), image, &result, error)) return false;
  *layout = result;
  return true;
}

bool ConvertExr(const std::uint8_t* data, std::size_t size, const ExrLayout& layout,
                std::uint8_t* const* lines, int threads, std::string* error) {
  if (data == nullptr || lines == nullptr) return Fail(error, "OpenEXR: nothing to convert.");
  if (!IsExrFile(data, size)) return Fail(error, "OpenEXR: not an OpenEXR file.");
  if (const char* problem = HeaderSizesError(data, size)) return Fail(error, problem);
  try {
    ExrMemoryStream stream(data, size);
    if (layout.channels == ExrChannels::kLuminanceChroma) {
      ConvertWithRgbaInterface(stream, layout, lines, threads);
    } else {
      ConvertWithFrameBuffer(stream, layout, lines, threads);
    }
  } catch (const std::bad_alloc&) {
    return Fail(error, "OpenEXR: out of memory.");
  } catch (const std::exception& e) {
    return Fail(error, std::string("OpenEXR: ") + e.what());
  }
  return true;
}

void ExrToDisplay(const Imf::Rgba* in, std::size_t count, bool grey, std::uint8_t* out) {
  const DisplayTables& t = Tables();
  // One 32-bit store per pixel: blue, green, red, alpha in memory order (little-endian).
  for (std::size_t i = 0; i < count; ++i, out += 4) {
    const std::uint32_t red = t.colour[in[i].r.bits()];
    const std::uint32_t green = grey ? red : t.colour[in[i].g.bits()];
    const std::uint32_t blue = grey ? red : t.colour[in[i].b.bits()];
    const std::uint32_t pixel =
        blue | (green << 8) | (red << 16) | (std::uint32_t(t.alpha[in[i].a.bits()]) << 24);
    std::memcpy(out, &pixel, 4);
  }
}
