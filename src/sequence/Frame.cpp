#include "sequence/Frame.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <utility>

#include "sequence/FrameName.h"

bool RvReadFileStamp(const std::string& path, RvFileStamp* stamp) {
  return RvReadFileStampAt(AT_FDCWD, path.c_str(), stamp);
}

bool RvReadFileStampAt(int dirFd, const char* name, RvFileStamp* stamp) {
  struct statx sx {};
  if (statx(dirFd, name, 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return false;
  if ((sx.stx_mode & S_IFMT) != S_IFREG) return false;
  stamp->created = (sx.stx_mask & STATX_BTIME) ? std::int64_t(sx.stx_btime.tv_sec)
                                               : std::int64_t(sx.stx_ctime.tv_sec);
  stamp->modified = std::int64_t(sx.stx_mtime.tv_sec);
  stamp->size = sx.stx_size;
  return true;
}

CRvFrame::CRvFrame(std::string path, std::int64_t created, std::int64_t modified,
                   std::uint64_t size)
    : m_path(std::move(path)), m_size(size), m_created(created), m_modified(modified) {
  ParseFrameName(m_path, &m_key, &m_number);
}

CRvFrame::CRvFrame(const CRvFrame& other)
    : m_path(other.m_path),
      m_key(other.m_key),
      m_number(other.m_number),
      m_size(other.m_size),
      m_created(other.m_created),
      m_modified(other.m_modified) {}

CRvFrame::~CRvFrame() = default;

void CRvFrame::Unload() { m_bitmap.reset(); }

bool CRvFrame::CheckChanged(int criterion) {
  if (!m_bitmap) return false;
  RvFileStamp now;
  if (!RvReadFileStamp(m_path, &now)) {
    m_bitmap.reset();
    return true;
  }
  bool unchanged = false;
  switch (criterion) {
    case 0:
      unchanged = now.created == m_created && now.modified == m_modified;
      break;
    case 1:
      unchanged = now.modified == m_modified;
      break;
    case 2:
      unchanged = now.created == m_created;
      break;
    case 3:
      unchanged = now.size == m_size;
      break;
    default:
      unchanged = false;
      break;
  }
  if (unchanged) return false;
  m_created = now.created;
  m_modified = now.modified;
  m_size = now.size;
  m_bitmap.reset();
  return true;
}
