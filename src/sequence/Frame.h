// One image file of a sequence: its name-derived key and number, its file identity and, while
// the frame cache holds it, its decoded bitmap.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "imaging/ImageBitmap.h"

class CFrameDecoder;
class CRvCrop;
class CRvResample;
class CRvPlayList;

// File identity as found on disk. Times are seconds since the epoch; "created" is the birth time
// where the file system records one, else the status-change time.
struct RvFileStamp {
  std::int64_t created = 0;
  std::int64_t modified = 0;
  std::uint64_t size = 0;
};

// Reads the stamp of path; false when the file cannot be examined (missing, no permission).
bool RvReadFileStamp(const std::string& path, RvFileStamp* stamp);
// The same for a name relative to an open folder, so a folder listing stats without building paths.
bool RvReadFileStampAt(int dirFd, const char* name, RvFileStamp* stamp);

class CRvFrame {
 public:
  CRvFrame(std::string path, std::int64_t created, std::int64_t modified, std::uint64_t size);
  // Copies the identity only: the copy holds no bitmap and has index 0.
  CRvFrame(const CRvFrame& other);
  CRvFrame& operator=(const CRvFrame&) = delete;
  ~CRvFrame();

  // Decodes the file, then crops and resamples it (either may be null). width and height
  // receive the decoded size before crop and resample. On any failure the frame holds no bitmap
  // and the result is false.
  bool Load(CFrameDecoder* decoder, const CRvCrop* crop, const CRvResample* resample, int* width,
            int* height, std::string* error = nullptr);
  // The decode of Load without touching any frame: the bitmap, or null with the reason in
  // *error. Safe on any thread as far as the decoder is.
  static std::unique_ptr<CDIBSectionBitmap> Decode(const std::string& path, CFrameDecoder* decoder,
                                                   const CRvCrop* crop, const CRvResample* resample,
                                                   int* width, int* height, std::string* error);
  void Unload();

  // Compares the file on disk with the stored identity by criterion (0 both times, 1 last-write
  // time, 2 creation time, 3 size, anything else: always changed). Only a frame holding a bitmap
  // is checked. A changed or missing file drops the bitmap and returns true; a changed file also
  // refreshes the stored identity.
  bool CheckChanged(int criterion);

  const std::string& GetPath() const { return m_path; }
  const std::string& GetKey() const { return m_key; }
  std::uint32_t GetNumber() const { return m_number; }
  std::uint32_t GetIndex() const { return m_index; }
  void SetIndex(std::uint32_t index) { m_index = index; }
  std::uint64_t GetSize() const { return m_size; }
  std::int64_t GetCreated() const { return m_created; }
  std::int64_t GetModified() const { return m_modified; }
  CDIBSectionBitmap* GetBitmap() const { return m_bitmap.get(); }
  bool IsLoaded() const { return m_bitmap != nullptr; }

 private:
  friend class CRvPlayList;         // keeps the cache-order link below
  friend class CRvFrameTestAccess;  // lets tests give a frame a bitmap without a decoder

  std::string m_path;
  std::string m_key;
  std::uint32_t m_number = 0;
  std::uint32_t m_index = 0;
  std::uint64_t m_size = 0;
  std::unique_ptr<CDIBSectionBitmap> m_bitmap;
  std::int64_t m_created = 0;
  std::int64_t m_modified = 0;

  // The frame's entry in its play list's cache order, valid while m_inCache is set; lets a
  // cache hit move the entry without searching.
  std::list<CRvFrame*>::iterator m_cacheEntry;
  bool m_inCache = false;
  // Read-ahead state, guarded by the play list's lock: a decode of this frame is running, or
  // the last one failed in generation m_failedGeneration (0: none) for the reason m_error.
  bool m_inFlight = false;
  std::uint64_t m_failedGeneration = 0;
  std::string m_error;
};
