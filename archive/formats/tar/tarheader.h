#pragma once
// The 512-byte tar header (v7, ustar, GNU and pax forms), the GNU long-name
// records and the pax extended records that carry the real name, size and
// time of the entry that follows them.

#include <cstddef>
#include <string>
#include <string_view>

#include "base/types.h"

namespace vsk {

inline constexpr std::size_t kTarHeaderSize = 512;
// Longest GNU long name or pax record block read; a longer one is read this
// far (names past it are cut).
inline constexpr std::size_t kTarMaxExtendedData = 1 << 20;

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
  // GNU sparse records: the data hold a map and the filled parts only.
  bool Sparse = false;

  // Reads "<length> <key>=<value>\n" records; a malformed record ends the
  // reading, the records before it stand.
  void Parse(const Byte* Data, std::size_t Count);
};

// The name a GNU long-name record holds: its data up to the first NUL.
std::string TarLongName(const Byte* Data, std::size_t Count);

// The bytes an entry's data take in the archive: Size rounded up to whole
// blocks (saturating instead of overflowing).
Int64 TarPaddedSize(Int64 Size);

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
