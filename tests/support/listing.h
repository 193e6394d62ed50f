#pragma once
// Runs the lister over an archive and keeps everything it reported: every
// entry as its properties stood during OnRead, the names OnReadFile saw,
// the errors, the totals and the result of Activate.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/formats/lister/vorsk.h"

namespace vsktest {

// One reported entry: the lister's per-entry properties and OnRead's
// offset and file number.
struct ListedEntry {
  std::string name;  // FileName
  vsk::TDateTime date = 0;
  vsk::Int64 packed = 0, unpacked = 0;
  int ratio = 0;
  vsk::UInt32 crc = 0;
  bool encrypted = false;
  int methodNumber = 0;
  std::string methodText;
  vsk::UInt32 attr = 0;  // ExternalAttr
  vsk::UInt16 internalAttr = 0;
  vsk::UInt16 madeBy = 0, needed = 0;
  std::string volume;   // VolumeName
  std::string comment;  // FileComment
  int host = 0;         // HostSystem
  vsk::Int64 offset = -1;
  int filenum = 0;
};

// One OnError report.
struct ListedError {
  int code = 0;
  std::string file;
  std::string text;  // the extended message
  std::string volumeId;
};

// One OnNextVolume question: the volume proposed, its id and whether it exists.
struct VolumeQuestion {
  std::string name;
  std::string id;
  bool exists = false;
};

enum class VolumePolicy {
  Unassigned,    // OnNextVolume is not assigned
  TakeExisting,  // the proposed volume is taken when it exists
  Decline,       // every question is declined
};

struct ListOptions {
  std::vector<std::string> spec{"*.*"};
  bool showDirs = false;
  bool translateOem = true;
  // Set as Password; when not empty OnGetPassword answers with it once.
  std::string password = {};
  VolumePolicy volumes = VolumePolicy::TakeExisting;
};

struct ListResult {
  bool ok = false;  // what Activate returned
  vsk::TArcType type = vsk::atNA;
  std::vector<ListedEntry> entries;
  std::vector<std::string> readFile;
  std::vector<ListedError> errors;
  std::vector<VolumeQuestion> volumesAsked;
  std::vector<std::string> passwordsAsked;
  // OnTotals' values; -1 while it has not fired.
  double unpackTotal = -1, packTotal = -1;
  int ratio = -1, numFiles = -1;
  bool deactivated = false;
  // FileComment after the walk (an archive comment read last stays there).
  std::string lastComment;

  const ListedEntry* Find(const std::string& name) const;
  std::vector<std::string> Names() const;
  std::vector<int> ErrorCodes() const;
  std::vector<std::string> VolumeNamesAsked() const;
};

// Lists with the given component (its other events as the caller set them).
ListResult ListArchive(vsk::TVorsk& lister, const std::string& archive, const ListOptions& options = {});
ListResult ListArchive(const std::string& archive, const ListOptions& options = {});
// Writes Bytes to Path first.
ListResult ListArchiveBytes(const std::string& path, const std::string& bytes, const ListOptions& options = {});

// "YYYY-MM-DD hh:mm:ss".
std::string DateText(vsk::TDateTime date);

// Bytes with four of them overwritten by noise drawn from Seed.
std::string Scattered(const std::string& bytes, std::uint32_t seed);
// Lists Count damaged copies of Bytes (seeds FirstSeed on): each walk must
// end with its closing events; under the sanitizers a crash or an overrun
// fails the test.
void ListDamagedCopies(const std::string& path, const std::string& bytes, std::uint32_t firstSeed,
                       std::size_t count = 400);
// Lists every cut of Bytes from From bytes on: each walk ends with its
// closing events and reports a leading part of Names, in order.
void ExpectCutsListALeadingPart(const std::string& path, const std::string& bytes,
                                const std::vector<std::string>& names, std::size_t from = 0);
// As above where a cut may also shorten what an entry reports: only the
// count of entries is bounded.
void ExpectCutsListAtMost(const std::string& path, const std::string& bytes, std::size_t count);

}  // namespace vsktest
