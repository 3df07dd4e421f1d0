// The private-profile (ini) store under the ini helpers: sections in square brackets, one
// "key=value" per line. Names match case-insensitively, blanks around names and values are
// trimmed and a value wrapped in matching double quotes loses them. Every write rewrites the
// whole file into a temporary file beside it and renames it over the old one while holding an
// advisory lock on the folder, so a crash or a second process never leaves a half-written file.
#pragma once

#include <string>

#include "NesExport.h"

// Longest value a read delivers; longer values are cut.
inline constexpr std::size_t kNesProfileMaxValue = 1023;

// Reads the value of section/key. False (and *value untouched) when the file, the section or
// the key is missing or the file cannot be read.
NES_EXPORT bool bNesGetProfileString(const std::string& file, const std::string& section,
                                     const std::string& key, std::string* value);

// Sets section/key to value: in place when the key exists, else appended to its section, else
// in a new section at the end; every other line stays as it was. The file is created by the
// first write. False, with the previous file intact, when the names or the value cannot be
// stored (empty names, line breaks, "=" in a key, "]" in a section) or the file system refuses.
NES_EXPORT bool bNesWriteProfileString(const std::string& file, const std::string& section,
                                       const std::string& key, const std::string& value);
