#pragma once
// The 512-byte tar header (v7, ustar, GNU and pax forms), the GNU long-name
// records and the pax extended records that carry the real name, size and
// time of the entry that follows them, the sparse maps of GNU tar, and the
// one walk over them that the reader, the lister and the writer share.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/types.h"
#include "archive/codecs/readat.h"

namespace vsk {

inline constexpr std::size_t kTarHeaderSize = 512;
// Longest GNU long name or pax record block read; a longer one is read this
// far (names past it are cut).
inline constexpr std::size_t kTarMaxExtendedData = 1 << 20;

// Most filled parts of a sparse file the walk keeps; a file of more is not
// extracted.
inline constexpr std::size_t kTarMaxSparseRegions = 1 << 20;

// Type flags the walk treats specially.
inline constexpr char kTarTypeFile = '0';
inline constexpr char kTarTypeHardLink = '1';
inline constexpr char kTarTypeSymLink = '2';
inline constexpr char kTarTypeDirectory = '5';
inline constexpr char kTarTypeContiguous = '7';
inline constexpr char kTarTypeGnuLongName = 'L';
inline constexpr char kTarTypeGnuLongLink = 'K';
inline constexpr char kTarTypeGnuVolume = 'V';
inline constexpr char kTarTypePaxEntry = 'x';
inline constexpr char kTarTypePaxGlobal = 'g';
inline constexpr char kTarTypeGnuSparse = 'S';
inline constexpr char kTarTypeGnuDumpDir = 'D';
inline constexpr char kTarTypeSolarisExtended = 'X';

// A numeric field: octal text (digits 0..7 in order; blanks and NULs around
// them do not count), or, when the first byte has its high bit set, a
// big-endian binary number in the remaining bits (base-256; 0xFF first is
// a negative number). A value beyond Int64 gives the Int64 maximum.
Int64 TarNumber(const Byte* Field, std::size_t Size);

struct TTarHeader {
  std::string Name;      // up to the first NUL, at most 100 bytes
  std::string LinkName;  // the same for the link target
  std::string Prefix;    // ustar: the folder part of a long name
  Int64 Mode = 0;
  Int64 Size = 0;
  Int64 MTime = 0;
  // The value stored in the checksum field.
  UInt32 Checksum = 0;
  char TypeFlag = 0;
  bool Ustar = false;  // POSIX "ustar\0" magic: the prefix field is used
  bool Gnu = false;    // GNU "ustar  \0" magic
  // The stored checksum matches the header's sum (the unsigned sum, or the
  // signed sum some old writers used) and is not 0.
  bool Valid = false;

  // Parses kTarHeaderSize bytes. A negative size reads as 0.
  void Parse(const Byte* Block);
  // The name with the ustar prefix in front of it.
  std::string FullName() const;
  // A regular file's data: plain, hard link, symbolic link, contiguous.
  bool IsFileType() const;
};

// What pax extended records (or the global ones) say about the next entry.
struct TTarPaxInfo {
  bool HasPath = false;
  std::string Path;
  bool HasSize = false;
  Int64 Size = 0;
  bool HasMTime = false;
  Int64 MTime = 0;  // whole seconds
  bool HasLinkPath = false;
  std::string LinkPath;
  // GNU sparse records: the data hold the filled parts of a file only.
  bool Sparse = false;
  // Its real name and size ("GNU.sparse.name", "GNU.sparse.size" or
  // "GNU.sparse.realsize"), and its version: 1.0 keeps the map in front of
  // the data; 0.0 and 0.1 keep it in these records (Map).
  bool HasSparseName = false;
  std::string SparseName;
  bool HasSparseSize = false;
  Int64 SparseSize = 0;
  Int64 SparseMajor = 0;
  Int64 SparseMinor = 0;
  bool HasSparseMap = false;
  // Offset and length pairs in the order they were given; a damaged map is
  // marked so and left incomplete.
  std::vector<Int64> SparseMap;
  bool SparseMapDamaged = false;

  // Reads "<length> <key>=<value>\n" records; a malformed record ends the
  // reading, the records before it stand. Records read earlier stay unless
  // a record of the same key replaces them (global records under an
  // entry's own).
  void Parse(const Byte* Data, std::size_t Count);
  // Forgets the sparse records (what global records said of a sparse file
  // does not carry to the next entry).
  void ClearSparse();

 private:
  void TakeSparse(std::string_view Key, std::string_view Value);
};

// The name a GNU long-name record holds: its data up to the first NUL.
std::string TarLongName(const Byte* Data, std::size_t Count);

// The bytes an entry's data take in the archive: Size rounded up to whole
// blocks (saturating instead of overflowing).
Int64 TarPaddedSize(Int64 Size);

// ---- walking

// One filled part of a sparse file: Length bytes at Offset of the file.
struct TTarSparseRegion {
  Int64 Offset = 0;
  Int64 Length = 0;
};

enum class TTarStatus : Byte {
  Ok,
  // The archive's end: a zero block, the end of the file at a block
  // boundary, or a last block cut short that holds only zeros.
  End,
  // The archive ends inside a header block, inside the data of a record in
  // front of an entry, or inside a sparse map.
  Truncated,
  // A checksum that does not match (or is 0), or an empty name.
  BadHeader,
};

// A record in front of an entry's header: long name or link, pax records,
// a volume label.
struct TTarRecord {
  Int64 Offset = 0;
  char TypeFlag = 0;
  Int64 Size = 0;  // the record's data bytes
};

// One entry of a tar archive with everything the records in front of it
// say resolved: the reader, the lister and the writer see the same names,
// sizes, times and extents.
struct TTarEntry {
  // Where its first record lies, the records in front of the header, and
  // the header itself.
  Int64 Offset = 0;
  std::vector<TTarRecord> Records;
  Int64 HeaderOffset = 0;
  std::array<Byte, kTarHeaderSize> Block{};
  TTarHeader Header;

  std::string Name;      // long name, pax path or sparse name, else the header's
  bool NameIsUtf8 = false;  // from a pax record
  std::string LinkName;  // long link, pax linkpath, else the header's
  char TypeFlag = 0;
  Int64 MTime = 0;  // Unix seconds
  // The file's size once extracted (a sparse file's real size).
  Int64 Size = 0;
  bool SizeFromPax = false;
  // The entry's data in the archive: StoredSize bytes from DataOffset (a
  // sparse file's filled parts one after the other). NextOffset is where
  // the next entry begins; it may lie past the archive's end when the
  // archive is cut inside the data.
  Int64 DataOffset = 0;
  Int64 StoredSize = 0;
  Int64 NextOffset = 0;
  // A sparse file: its filled parts in ascending order, none overlapping,
  // together StoredSize bytes, all inside Size.
  bool Sparse = false;
  std::vector<TTarSparseRegion> SparseMap;
  // A sparse file whose map is of a form this walk does not know, or
  // damaged: its parts cannot be put in place (its extent still stands).
  bool SparseUnreadable = false;

  // Old archives mark a folder by the separator after its name alone.
  bool IsDirectory() const;
  // An entry whose data are a file's bytes: plain, contiguous, GNU sparse.
  bool IsRegularFile() const;
};

// Walks the entries of a tar archive of Limit bytes, read through Read.
// Every size and offset read from the archive is checked against Limit
// before it is used; nothing is allocated beyond what the archive holds
// (the data of one record are read up to kTarMaxExtendedData bytes).
class TTarWalker {
 public:
  TTarWalker(Int64 Limit, TArchiveReadAt Read) : FLimit(Limit), FRead(std::move(Read)) {}

  // Reads the entry whose first record (or header) lies at Offset. On End
  // Out.Records holds the records read before the end. FailedAt() is the
  // offset of the block at fault after Truncated and BadHeader.
  TTarStatus Next(Int64 Offset, TTarEntry& Out);
  Int64 FailedAt() const { return FFailedAt; }

 private:
  bool ReadExactly(Int64 Pos, void* Buffer, Int32 Count);
  bool ReadRecordData(Int64 Pos, Int64 Size, std::vector<Byte>& Data);
  TTarStatus Fail(TTarStatus Status, Int64 At);
  TTarStatus ReadOldGnuSparse(TTarEntry& E, Int64& DataAt);
  TTarStatus ReadPaxSparse(const TTarPaxInfo& Pax, TTarEntry& E);
  // Marks E's map unreadable.
  static TTarStatus Unreadable(TTarEntry& E);
  bool HardLinkHasData(Int64 DataAt);

  Int64 FLimit;
  TArchiveReadAt FRead;
  TTarPaxInfo FGlobal;  // what the global pax records say for every entry after them
  std::vector<Byte> FData;
  Int64 FFailedAt = 0;
};

// Whether a sparse map's regions ascend without overlapping, lie inside
// Size and add up to Stored bytes.
bool TarSparseMapFits(const std::vector<TTarSparseRegion>& Map, Int64 Size, Int64 Stored);

// ---- writing

// The name the GNU long-name record's own header carries.
inline constexpr char kTarLongLinkName[] = "././@LongLink";
// GNU magic and version: "ustar", two blanks, NUL.
inline constexpr char kTarGnuMagic[] = "ustar  ";

// What the writer puts into a new header.
struct TTarNewHeader {
  std::string Name;  // stored form; only its first 100 bytes fit the field
  UInt32 Mode = 0;   // type and permission bits, as stat gives them
  UInt32 Uid = 0;
  UInt32 Gid = 0;
  Int64 Size = 0;
  Int64 MTime = 0;   // Unix seconds
  char TypeFlag = kTarTypeFile;
  std::string UName;  // cut to 32 bytes
  std::string GName;
};

// The header sum: every byte unsigned, the checksum field counted as eight blanks.
UInt32 TarHeaderSum(const Byte* Block);
// Stores the header sum: seven octal digits and NUL, or (SixDigits) six
// digits, NUL and a blank.
void TarStoreChecksum(Byte* Block, bool SixDigits = false);
// Fills kTarHeaderSize bytes: the fields of H as octal numbers (mode and
// ids 7 digits, size and time 11 digits, each with its NUL; values beyond
// the field are clamped), GNU magic and the checksum. The name field gets
// no NUL when the name fills it.
void TarBuildHeader(const TTarNewHeader& H, Byte* Block);
// The header of a GNU long-name record for a name of NameLength bytes (the
// record's data are the name, its NUL and zeros to the next block).
void TarBuildLongNameHeader(std::size_t NameLength, Byte* Block);

}  // namespace vsk
