// NesCommon55: the support library's ini-file, path, text and key-state helpers.
// Stateless free functions, callable from any thread.
#pragma once

#include <string>

#include "NesExport.h"

// Path conventions. Paths use one separator and have no drive part; every path helper uses
// these constants rather than literals so another platform's rules stay in one place.
inline constexpr char kNesPathSeparator = '/';
inline constexpr const char* kNesPathSeparatorText = "/";
// Typed network paths ("//server/share/..." or "\\server\share\...") start with two of these.
inline constexpr const char* kNesNetworkPrefix = "//";
inline constexpr const char* kNesNetworkPrefixWindows = "\\\\";
// A file of this name in the program folder marks a copy installed for all users (the install
// target puts it there): its settings and logs then never go beside the program.
inline constexpr const char* kNesInstalledCopyMarker = "installed-copy.txt";

// --- ini files ----------------------------------------------------------------------------
NES_EXPORT std::string strReadFromIniFile(const std::string& file, const std::string& section,
                                          const std::string& key, const std::string& defaultText);
NES_EXPORT int iReadFromIniFile(const std::string& file, const std::string& section,
                                const std::string& key, int defaultValue);
NES_EXPORT bool bReadFromIniFile(const std::string& file, const std::string& section,
                                 const std::string& key, bool defaultValue);
NES_EXPORT double dReadFromIniFile(const std::string& file, const std::string& section,
                                   const std::string& key, double defaultValue);
NES_EXPORT bool bWriteToIniFile(const std::string& file, const std::string& section,
                                const std::string& key, const std::string& value);
// Without this overload a string literal would pick the bool form.
NES_EXPORT bool bWriteToIniFile(const std::string& file, const std::string& section,
                                const std::string& key, const char* value);
NES_EXPORT bool bWriteToIniFile(const std::string& file, const std::string& section,
                                const std::string& key, int value);
NES_EXPORT bool bWriteToIniFile(const std::string& file, const std::string& section,
                                const std::string& key, bool value);
NES_EXPORT bool bWriteToIniFile(const std::string& file, const std::string& section,
                                const std::string& key, double value);

// --- paths --------------------------------------------------------------------------------
// The running executable's folder, ending in the separator.
NES_EXPORT std::string strAppPath();
// The folder of the files kept "beside the program" (settings.ini, logs, presets), ending in
// the separator: $REELVANE_HOME when set, else the program folder when writable and not
// marked as an installed copy (kNesInstalledCopyMarker), else $XDG_CONFIG_HOME/reelvane/
// (default ~/.config/reelvane/). Created when missing.
NES_EXPORT std::string strSettingsPath();
NES_EXPORT std::string strGetFullPath(const std::string& path);
NES_EXPORT void SplitPath(std::string path, std::string* drive, std::string* directory,
                          std::string* name, std::string* extension);
NES_EXPORT std::string strCombinePath(const std::string& drive, const std::string& directory,
                                      const std::string& name, const std::string& extension);
NES_EXPORT std::string strNesGetPrevDirectory(std::string directory);

// --- text and numbers ---------------------------------------------------------------------
NES_EXPORT void TruncateWhiteSpace(std::string* text);
NES_EXPORT bool bCmpNoCase(const std::string& a, const std::string& b);
NES_EXPORT bool bGetNextToken(std::string* source, const std::string& separators,
                              std::string* token);
NES_EXPORT bool bString2Long(std::string text, long* value, int* consumed, int radix);
NES_EXPORT bool bString2Double(std::string text, double* value, int* consumed);
NES_EXPORT std::string strLong2String(long value, unsigned width);

// --- keyboard -----------------------------------------------------------------------------
// Virtual-key codes the program asks about (the Windows numbering, kept as the interface).
inline constexpr int kNesVkShift = 0x10;
inline constexpr int kNesVkControl = 0x11;
inline constexpr int kNesVkMenu = 0x12;  // Alt

// True while the key is down. The GUI installs a provider (modifiers from Qt, other keys from
// its key-down table); without one every key reads as up.
NES_EXPORT bool bNesKeyPressed(int virtualKey);
using NesKeyStateProvider = bool (*)(int virtualKey);
NES_EXPORT void NesSetKeyStateProvider(NesKeyStateProvider provider);
// The key-down table: the program's key event filter records presses and releases here, and
// bNesKeyPressed reports a key as down while the table or the provider says so. Codes outside
// 0..255 are ignored.
NES_EXPORT void NesSetKeyDown(int virtualKey, bool down);
// Marks every key as up (when the program loses the keyboard focus no release arrives).
NES_EXPORT void NesClearKeyDownTable();
