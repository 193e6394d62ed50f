#include "libs/cabinet/cabrecords.h"

#include <algorithm>
#include <cstring>

namespace vsk::cab {

bool TCabReader::Fill(std::size_t Want, std::size_t& Have) {
  Want = std::min(Want, FBuf.size());
  if (FEnd - FPos < Want && FPos > 0) {
    std::memmove(FBuf.data(), FBuf.data() + FPos, FEnd - FPos);
    FEnd -= FPos;
    FPos = 0;
  }
  while (FEnd - FPos < Want) {
    unsigned got = 0;
    if (!FFiles.ReadSome(FHandle, FBuf.data() + FEnd, static_cast<unsigned>(FBuf.size() - FEnd), got)) return false;
    if (got == 0) break;
    FEnd += got;
  }
  Have = std::min(Want, FEnd - FPos);
  return true;
}

namespace {

int ParseRecords(TCabFiles& Files, intptr_t Handle, TCabRecords& Out) {
  std::vector<Byte> head(kCabMaxHeaderSize);
  std::size_t got = 0;
  while (got < head.size()) {
    unsigned n = 0;
    if (!Files.ReadSome(Handle, head.data() + got, static_cast<unsigned>(head.size() - got), n)) {
      return FDIERROR_CORRUPT_CABINET;
    }
    if (n == 0) break;
    got += n;
  }
  if (got < kCabFixedHeaderSize || std::memcmp(head.data(), "MSCF", 4) != 0) return FDIERROR_NOT_A_CABINET;
  if (head[25] != 1) return FDIERROR_UNKNOWN_CABINET_VERSION;  // the major version
  TCabHeader& h = Out.Header;
  if (!h.Parse(head.data(), got)) return FDIERROR_CORRUPT_CABINET;
  // At most 65535 records of 263 bytes: read apart when they go on past
  // the header's bytes.
  if (h.FoldersOffset + h.FoldersSize() > static_cast<Int64>(got)) {
    head.resize(static_cast<std::size_t>(h.FoldersSize()));
    if (Files.Seek(Handle, h.FoldersOffset, 0) != h.FoldersOffset || !Files.ReadAll(Handle, head.data(), head.size())) {
      return FDIERROR_CORRUPT_CABINET;
    }
    h.ParseFolders(head.data(), head.size(), Out.Folders);
  } else {
    h.ParseFolders(head.data() + h.FoldersOffset, got - static_cast<std::size_t>(h.FoldersOffset), Out.Folders);
  }
  if (h.FileCount == 0) return FDIERROR_NONE;
  if (Files.Seek(Handle, h.FilesOffset, 0) != h.FilesOffset) return FDIERROR_CORRUPT_CABINET;

  TCabReader reader(Files, Handle);
  Out.Files.reserve(h.FileCount);
  for (std::size_t i = 0; i < h.FileCount; ++i) {
    std::size_t have = 0;
    if (!reader.Fill(kCabFileRecordSize + kCabMaxName, have) || have < kCabFileRecordSize + 1) {
      return FDIERROR_CORRUPT_CABINET;
    }
    TCabRecords::TFile file;
    file.Record.Parse(reader.Data());
    std::size_t used = 0;
    if (!ParseCabName(reader.Data() + kCabFileRecordSize, have - kCabFileRecordSize, file.Name, used) ||
        file.Record.FolderOf(h.FolderCount) < 0) {
      return FDIERROR_CORRUPT_CABINET;
    }
    reader.Skip(kCabFileRecordSize + used);
    const UInt16 folder = file.Record.FolderIndex;
    if (folder == kCabFolderContinuedToNext || folder == kCabFolderContinuedPrevAndNext) Out.LastFolderGoesOn = true;
    if (file.Record.ContinuedFromPrev()) Out.FirstFolderGoesBack = true;
    Out.Files.push_back(std::move(file));
  }
  return FDIERROR_NONE;
}

}  // namespace

int ReadCabRecords(TCabFiles& Files, const std::string& Name, TCabRecords& Out) {
  Out = TCabRecords{};
  const intptr_t h = Files.Open(Name, CAB_O_RDONLY | CAB_O_BINARY);
  if (h == -1) return FDIERROR_CABINET_NOT_FOUND;
  const int result = ParseRecords(Files, h, Out);
  // Nothing was written through the handle: a failing close loses nothing.
  Files.Close(h);
  return result;
}

}  // namespace vsk::cab
