// Reduction of file names to sequence keys and frame numbers, and the wildcard matcher used
// to list folders.
#pragma once

#include <cstdint>
#include <string>

// "None" for a frame number, index or out point.
inline constexpr std::uint32_t kRvNone = 0xFFFFFFFFu;

// The characters stripped from both ends of an extension part.
inline constexpr const char* kRvSeparators = " _-.";

// Splits path (a full path or a bare file name) into the sequence key, in which the trailing
// digit run stands as "#", and the number that stood there (0 when the name holds none).
// shot_0012.tif -> shot_#.tif, 12; clip.tif.0012 -> clip.tif.#, 12; logo.tif -> logo.tif, 0.
void ParseFrameName(const std::string& path, std::string* key, std::uint32_t* number);

// Removes separator characters from both ends of text, the end first.
void TrimSeparators(std::string* text);

// Case-insensitive equality of two keys. Bytes outside ASCII compare exactly, so multi-byte
// UTF-8 names are never split or folded into something else.
bool RvKeysEqual(const std::string& a, const std::string& b);

// The case-folded form used to hash keys: equal for exactly the keys RvKeysEqual calls equal.
std::string RvFoldKey(const std::string& key);

// Wildcard matching with the rules users know from file dialogs: case-insensitive; "*" matches
// any run of characters and "*.*" matches every name, with or without a dot; a run of "?"
// matches up to as many characters as it has, stopping early only where the name reaches a "."
// or its end ("shot_???.tif" matches shot_1.tif and shot_001.tif, "a??b" does not match "ab").
bool RvMatchMask(const std::string& name, const std::string& mask);
