#pragma once
// The headers of one RAR volume, read straight from its file beside the
// decoder: where the archive starts, what its main header says, and its
// file headers as stored (names, CRCs, DOS times, host systems and
// attributes, which the decoder does not give). RAR 1.5-4.x blocks and
// RAR5 headers are both read; every size is checked against the file
// before it is used.

#include <string>
#include <vector>

#include "base/types.h"

namespace vsk::unrar {

enum class TRarFormat : Byte { Rar4, Rar5 };

// One file header in the terms of the library's header record.
struct TRarEntryInfo {
  std::string Name;
  UInt32 Flags = 0;
  UInt64 PackSize = 0;
  UInt64 UnpSize = 0;
  UInt32 HostOS = 0;
  UInt32 FileCrc = 0;
  bool HasCrc = false;  // RAR5 may keep only another hash
  UInt32 FileTime = 0;
  UInt32 UnpVer = 0;
  UInt32 Method = 0;
  UInt32 Attributes = 0;
  UInt32 RedirType = 0;
  std::string RedirName;
  // The volume ends before the entry's data does (and not because the
  // entry goes on in the next volume).
  bool CutShort = false;

  bool IsDirectory() const;
  bool SplitBefore() const;
  bool SplitAfter() const;
  bool Encrypted() const;
  // A symbolic link, junction, hard link or copy: never written as a file.
  bool IsLink() const;
};

// The archive comment's place in the first volume.
struct TRarComment {
  bool Present = false;
  bool Stored = false;  // kept as it is (not packed)
  Int64 Offset = 0;
  UInt64 Size = 0;
  UInt32 Crc = 0;
  bool HasCrc = false;
};

class TRarVolume {
 public:
  // Reads the signature and the main header of the file open on Fd (which
  // stays the caller's). A first volume may have a program in front of it
  // (a self-extractor). An ERAR_* code: ERAR_SUCCESS, ERAR_BAD_ARCHIVE (no
  // RAR archive, or encrypted headers) or ERAR_EREAD.
  int Open(int Fd, bool First);

  // The next file header after the last one given (continued parts
  // included); false at the end of the volume or at a damaged block.
  bool NextFile(TRarEntryInfo& Entry);

  // Whether a block after the last file header given runs past the end of
  // the volume (a volume cut short rather than damaged).
  bool CutShortAhead();

  // Whether the set goes on in a next volume: the end block says so, or a
  // volume without one ends inside a file. Walks the whole volume once.
  bool ContinuesInNextVolume();

  TRarFormat Format = TRarFormat::Rar4;
  Int64 Start = 0;  // where the signature is
  bool IsVolume = false;
  bool Solid = false;
  TRarComment Comment;
  Int64 Size = 0;

 private:
  enum class TKind : Byte { File, Service, End, Other };
  struct TBlock {
    TKind Kind = TKind::Other;
    Int64 Next = 0;
    UInt64 EndFlags = 0;
    TRarEntryInfo Entry;  // for File and Service
    Int64 DataOffset = 0;
    bool OldComment = false;
  };

  bool ReadBlock(Int64 Pos, TBlock& Block);
  bool ReadBlock4(Int64 Pos, TBlock& Block);
  bool ReadBlock5(Int64 Pos, TBlock& Block);
  bool ReadAt(Int64 Pos, std::size_t Count);
  int OpenRar4(Int64 Pos);
  int OpenRar5(Int64 Pos);
  void NoteComment();

  int Fd_ = -1;
  Int64 Cursor_ = 0;
  Int64 FirstBlock_ = 0;
  int Continues_ = -1;  // not walked yet
  std::vector<Byte> Buffer_;
};

}  // namespace vsk::unrar
