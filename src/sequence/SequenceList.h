// Grouping of a folder listing into sequences, and finding the sequence of one file or typed
// pattern again.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sequence/Sequence.h"

// One directory entry as the listing hands it on.
struct RvDirEntry {
  std::string name;
  RvFileStamp stamp;
};

// Lists the regular files of folder whose names match mask (RvMatchMask), in case-insensitive
// name order (ties by exact bytes), with their stamps. Folders, "." and ".." and entries that
// vanish or cannot be examined while listing are left out. Only matching names are examined.
// Returns false, with errorText set to the system's reason, when the folder cannot be read.
bool RvListFolder(const std::string& folder, const std::string& mask,
                  std::vector<RvDirEntry>* entries, std::string* errorText = nullptr);

class CRvSequenceList {
 public:
  using SequenceVector = std::vector<std::unique_ptr<CRvSequence>>;

  // Lists folder with mask and groups the files into sequences. A folder that cannot be read
  // gives an empty list (IsListed() false, GetErrorText() the reason).
  CRvSequenceList(const std::string& folder, const std::string& mask);
  CRvSequenceList(const CRvSequenceList&) = delete;
  CRvSequenceList& operator=(const CRvSequenceList&) = delete;
  ~CRvSequenceList();

  // Newest sequence first: the reverse order of each sequence's first file in the listing.
  const SequenceVector& GetSequences() const { return m_sequences; }
  bool IsListed() const { return m_listed; }
  const std::string& GetErrorText() const { return m_errorText; }

 private:
  SequenceVector m_sequences;
  bool m_listed = false;
  std::string m_errorText;
};

// The order in which the sequence browser shows a listing: sequences of more than one frame
// first, then single files, each group in the order of its first file in the folder listing.
std::vector<const CRvSequence*> RvBrowserOrder(const CRvSequenceList& list);

// The sequence that path belongs to: path is a frame (shot_0012.tif), the key (shot_#.tif) or a
// typed pattern with one placeholder "#", "@" or "%" + a character (shot_@.tif, shot_%d.tif).
// Returns a copy without bitmaps, or null when nothing matches.
std::unique_ptr<CRvSequence> RvLookupSequence(const std::string& path);
