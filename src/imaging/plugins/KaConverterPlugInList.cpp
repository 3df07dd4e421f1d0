#include "imaging/plugins/KaConverterPlugInList.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <mutex>

#include "imaging/TextException.h"
#include "support/NesCommon55.h"
#include "support/NesLogFile.h"

namespace {

// Plug-ins are not re-entrant and the reader table has one current source for the whole
// process, so only one conversion may run at a time, whichever decoder asks.
std::mutex g_conversionMutex;
CImageSource* g_currentSource = nullptr;  // guarded by g_conversionMutex
std::atomic<int> g_instanceCount{0};

// Largest picture a plug-in may ask for, so a confused plug-in cannot make us allocate
// gigabytes: 2^28 pixels is 1 GiB of 32-bit rows.
constexpr std::int64_t kMaxSide = 1 << 20;
constexpr std::int64_t kMaxPixels = std::int64_t(1) << 28;

KacvBool ReadByteFromSource(unsigned char* byte) {
  CImageSource* source = g_currentSource;
  if (source == nullptr || byte == nullptr || source->GetRemaining() < 1) return KACV_FALSE;
  try {
    *byte = source->ReadByte();
    return KACV_TRUE;
  } catch (...) {
    return KACV_FALSE;
  }
}

KacvBool ReadBlockFromSource(uint32_t count, const unsigned char** block) {
  CImageSource* source = g_currentSource;
  if (source == nullptr || block == nullptr || source->GetRemaining() < count) return KACV_FALSE;
  try {
    *block = source->ReadNBytes(count);
    return KACV_TRUE;
  } catch (...) {
    return KACV_FALSE;
  }
}

// Sets the process-wide source for the reader table while a conversion runs.
class CurrentSourceScope {
 public:
  explicit CurrentSourceScope(CImageSource* source) { g_currentSource = source; }
  ~CurrentSourceScope() { g_currentSource = nullptr; }
  CurrentSourceScope(const CurrentSourceScope&) = delete;
  CurrentSourceScope& operator=(const CurrentSourceScope&) = delete;
};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// Name mask with "*" and "?", letter case ignored.
bool MatchesMask(const char* name, const char* mask) {
  const char* starMask = nullptr;
  const char* starName = nullptr;
  while (*name) {
    if (*mask == '*') {
      starMask = ++mask;
      starName = name;
    } else if (*mask == '?' || (*mask && Lower(*mask) == Lower(*name))) {
      ++mask;
      ++name;
    } else if (starMask) {
      mask = starMask;
      name = ++starName;
    } else {
      return false;
    }
  }
  while (*mask == '*') ++mask;
  return *mask == '\0';
}

bool LessNoCase(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char x = Lower(a[i]);
    const char y = Lower(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;  // names that differ only in case keep a fixed order
}

// Files in folder whose names match mask, in name order; a missing folder gives none.
std::vector<std::string> MatchingFiles(const std::string& folder, const std::string& mask) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == ".." || !MatchesMask(name.c_str(), mask.c_str())) continue;
    struct stat info {};
    if (stat((folder + name).c_str(), &info) != 0 || S_ISDIR(info.st_mode)) continue;
    names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end(), LessNoCase);
  return names;
}

}  // namespace

CKaConverterPlugInList::CKaConverterPlugInList(const std::string& searchPattern,
                                               const std::string& logFile) {
  ++g_instanceCount;
  CNesLogFile log(logFile, kKacvLogSizeKiB);
  log.bOpen(false);
  Scan(searchPattern, &log);
}

CKaConverterPlugInList::CKaConverterPlugInList(const std::string& searchPattern)
    : CKaConverterPlugInList(searchPattern, strSettingsPath() + kKacvLogName) {}

CKaConverterPlugInList::~CKaConverterPlugInList() { --g_instanceCount; }

std::string CKaConverterPlugInList::DefaultSearchPattern() {
  return strAppPath() + kConverterFolder + kConverterMask;
}

void CKaConverterPlugInList::Scan(const std::string& searchPattern, CNesLogFile* log) {
  log->AppendEntry(kKacvLogSource, "Searching for converter plug-ins using %s",
                   searchPattern.c_str());
  const std::size_t slash = searchPattern.rfind(kNesPathSeparator);
  const std::string folder = slash == std::string::npos ? "" : searchPattern.substr(0, slash + 1);
  const std::string mask =
      slash == std::string::npos ? searchPattern : searchPattern.substr(slash + 1);
  for (const std::string& name : MatchingFiles(folder, mask)) {
    const std::string path = folder + name;
    log->AppendEntry(kKacvLogSource, "Found plug-in %s", path.c_str());
    auto plugIn = std::make_unique<CKaConverterPlugIn>(path);
    if (!plugIn->IsLoaded()) {
      log->AppendEntry(kKacvLogSource, "Plug-In failed to initialize, Reason:");
      log->AppendEntry(kKacvLogSource, "%s", plugIn->GetReason().c_str());
      if (!plugIn->GetLoaderMessage().empty()) {
        log->AppendEntry(kKacvLogSource, "%s", plugIn->GetLoaderMessage().c_str());
      }
      continue;
    }
    log->AppendEntry(kKacvLogSource, "New Plug-In added to list:");
    log->AppendEntry(kKacvLogSource, "%s", plugIn->GetName().c_str());
    log->AppendEntry(kKacvLogSource, "%s", plugIn->GetDescription().c_str());
    log->AppendEntry(kKacvLogSource, "Version %i.%i", plugIn->GetVersionMajor(),
                     plugIn->GetVersionMinor());
    m_plugIns.push_back(std::move(plugIn));
  }
  log->AppendEntry(kKacvLogSource, "Found %i plug-ins in total", int(m_plugIns.size()));
}

CKaConverterPlugIn* CKaConverterPlugInList::FindConverter(const std::string& path,
                                                          const std::uint8_t* header) {
  std::string drive, directory, name, extension;
  SplitPath(path, &drive, &directory, &name, &extension);
  for (const auto& plugIn : m_plugIns) {
    if (plugIn->CanConvert(path, extension, header)) return plugIn.get();
  }
  return nullptr;
}

bool CKaConverterPlugInList::Convert(CImageSource* source, const std::string& fileName,
                                     const std::uint8_t* header, std::size_t headerSize,
                                     const CineonValues& cineon, CImageBitmap* bitmap) {
  if (m_plugIns.empty()) return false;
  std::lock_guard<std::mutex> lock(g_conversionMutex);
  // Plug-ins always see a full header, zero-padded.
  std::array<std::uint8_t, KACV_HEADER_SIZE> padded{};
  if (header != nullptr) {
    std::memcpy(padded.data(), header, std::min<std::size_t>(headerSize, padded.size()));
  }
  CKaConverterPlugIn* plugIn = FindConverter(fileName, padded.data());
  if (plugIn == nullptr) return false;
  m_lastName = plugIn->GetName();
  ConvertWith(plugIn, source, fileName, cineon, bitmap);
  return true;
}

void CKaConverterPlugInList::ConvertWith(CKaConverterPlugIn* plugIn, CImageSource* source,
                                         const std::string& fileName, const CineonValues& cineon,
                                         CImageBitmap* bitmap) {
  CurrentSourceScope current(source);
  KacvReaderTable reader{};
  reader.ReadByte = ReadByteFromSource;
  reader.ReadBlock = ReadBlockFromSource;
  reader.instanceCount = g_instanceCount.load();
  reader.plugInList = this;
  reader.currentSource = source;

  const bool inMemory = plugIn->UsesMemoryCalls();
  // The source already maps the whole file; the in-memory calls get that mapping.
  source->Seek(0);
  const std::size_t size = source->GetFileSize();
  const std::uint8_t* data = inMemory ? source->Peek(size) : nullptr;

  int bitsPerPixel = 0, width = 0, height = 0;
  std::string error;
  plugIn->BeforeConvert();
  bool ok;
  if (inMemory) {
    if (data == nullptr) throw CTextException(kErrFormat, "Cannot read " + fileName + ".");
    ok = plugIn->ReadHeaderInMemory(data, size, &bitsPerPixel, &width, &height, &error);
  } else {
    ok = plugIn->ReadHeader(&reader, &bitsPerPixel, &width, &height, &error);
  }
  if (!ok) throw CTextException(kErrFormat, error);
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide ||
      std::int64_t(width) * height > kMaxPixels) {
    throw CTextException(kErrFormat, "Converter plug-in " + plugIn->GetName() +
                                         " reported an invalid picture size " +
                                         std::to_string(width) + " x " + std::to_string(height) +
                                         ".");
  }
  plugIn->SetCineonValues(cineon);

  // The plug-in reports its own depth, but frames are always converted to 32 bits.
  bitmap->Create(width, height, 32, true);
  {
    CBitmapLock locked(bitmap, true, true);
    std::uint8_t* const* lines = bitmap->GetLineArray();
    ok = inMemory ? plugIn->ConvertInMemory(data, size, lines, width, height, &error)
                  : plugIn->Convert(&reader, lines, width, height, &error);
  }
  if (!ok) throw CTextException(kErrFormat, error);
}
