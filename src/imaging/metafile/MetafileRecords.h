#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/ImageBitmap.h"

class CMetafilePlayer;

// Plays the records of a Windows metafile (starting at its 18-byte header) into the player.
// Unknown records are skipped; a malformed record or one that claims more data than remains
// ends the picture. The first palette the metafile creates is returned in palette.
void RvPlayWindowsMetafile(const std::uint8_t* data, std::size_t size, CMetafilePlayer* player,
                           std::vector<RvPixel>* palette);

// Plays the records of an enhanced metafile (starting at its header record) with the same
// rules. The palette stored with the end record is returned in palette.
void RvPlayEnhancedMetafile(const std::uint8_t* data, std::size_t size, CMetafilePlayer* player,
                            std::vector<RvPixel>* palette);
