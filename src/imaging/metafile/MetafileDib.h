#pragma once

#include <QImage>
#include <cstddef>
#include <cstdint>

// Device-independent bitmaps inside metafile records: a BITMAPINFOHEADER (or the older 12-byte
// core header), its colour table and the rows. Uncompressed 1, 4, 8, 16, 24 and 32-bit rows
// (bit fields for 16 and 32) are read. A null image means the bitmap is malformed or holds
// less data than its header claims; nothing outside the given blocks is read.

// The header block (header, masks, colour table) and the rows are separate blocks.
QImage RvDecodeDib(const std::uint8_t* info, std::size_t infoSize, const std::uint8_t* bits,
                   std::size_t bitsSize);
// One block: header, colour table and rows one after the other.
QImage RvDecodePackedDib(const std::uint8_t* data, std::size_t size);
