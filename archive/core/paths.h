#pragma once
// Names and paths. Paths in memory are UTF-8 and use "/"; the functions on
// names alone are in base/paths.h, included here. Entry names
// cross the archive boundary through OemToAnsiName (stored -> ours) and
// AnsiToOemName (ours -> stored).

#include <memory>
#include <string>
#include <string_view>

#include "base/paths.h"
#include "base/types.h"

namespace vsk {

class TStream32;

enum TDeleteOptions : Byte { doFinal, doAllowUndo };

// DOS attribute bits.
inline constexpr Int32 faReadOnly = 0x01;
inline constexpr Int32 faHidden = 0x02;
inline constexpr Int32 faSysFile = 0x04;
inline constexpr Int32 faVolumeID = 0x08;
inline constexpr Int32 faDirectory = 0x10;
inline constexpr Int32 faArchive = 0x20;
inline constexpr Int32 faNormal = 0x80;
inline constexpr Int32 faAnyFile = 0x3F;

// A stored entry name in our form: with Translate its code page is decoded
// (a name that is valid UTF-8 stays, anything else is CP437); then both "\"
// and "/" become "/". A name its format flags as UTF-8 is passed with
// Translate false.
std::string OemToAnsiName(std::string_view Name, bool Translate);
// Our name in the stored form of a format without a UTF-8 flag: "/" and "\"
// become Separator; with Translate a name whose characters all fit CP437 is
// stored in CP437, any other stays UTF-8.
std::string AnsiToOemName(std::string_view Name, bool Translate, char Separator = '/');
// The same for a format with a UTF-8 flag: non-ASCII names are stored as
// UTF-8 and Utf8Flag tells the caller to set the format's flag.
std::string AnsiToOemName(std::string_view Name, bool Translate, char Separator, bool& Utf8Flag);
// The code-page conversion alone: with Translate, CP437 when every character
// fits, else the name unchanged.
std::string AnsiToOem(std::string_view Name, bool Translate);

// The DOS attribute word of a file from its POSIX status (links followed):
// directory 0x10, regular file 0x20, other kinds 0x04; no owner write
// permission adds 0x01, a name starting with "." adds 0x02. -1 when the file
// cannot be examined.
Int32 FileDosAttributes(const std::string& Path);
bool DirectoryExists(const std::string& Path);
// Creates every missing level; true when Path is a folder afterwards.
bool ForceDirectories(const std::string& Path);
// False for a folder, a read-only, system or hidden file, or a missing one.
bool IsPlainFile(const std::string& Name);
// True when the folder holds anything besides "." and "..".
bool DirHasEntries(const std::string& Dir);

// The backup name of a file: "data.zip" -> "data.~zi", "a.html" -> "a.~htm",
// "a.gz" -> "a.~gz", "a" -> "a.~".
std::string BackupName(std::string_view Name);
// Returns the text before the first Separator and removes it and the
// separator from Text; without a separator returns all and empties Text.
std::string SplitAt(std::string& Text, std::string_view Separator);
// True for an empty text or one of digits only.
bool IsAllDigits(std::string_view Text);
// The first two bytes of a gzip, pack, compress or LZH-compressed file.
bool IsGzipMagic(Byte B0, Byte B1);
// The same on the first two bytes read as a little-endian word (B0 | B1 << 8).
bool IsGzipMagic(UInt16 Word);

// Reads up to 256 bytes at Pos; returns the text up to the first zero byte
// and advances Pos by its length + 1.
std::string ReadZString(TStream32& Stream, Int64& Pos);
// Len bytes at Pos (fewer at the end of the stream); Pos += Len.
std::string ReadFixedString(TStream32& Stream, Int64& Pos, Int32 Len);

// Every character code plus Delta (minus Delta when Decrease), modulo 256.
std::string ShiftText(bool Decrease, std::string_view Text, int Delta);

// The system temporary folder with a trailing "/" ($TMPDIR, else /tmp);
// empty when that is not a folder or longer than 259 characters.
std::string GetTempPath();

// doFinal removes the file at once; doAllowUndo moves an existing file (or
// folder) to the trash. True when it is gone from its place.
bool DeleteFileEx(const std::string& Name, TDeleteOptions Option);

// The attribute bits the library knows (0x80, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01).
constexpr Int32 KnownAttributes(Int32 Attr) { return Attr & 0xBF; }

// A folder listing. FindFirst takes a path whose last component is a mask
// ("*" and "?", matched case-sensitively; "*.*" and "*" match everything)
// and the attributes asked for: entries with the hidden, system or directory
// attribute are left out unless that attribute is asked for. "." and ".."
// are never listed. Results carry the name, the size, the DOS attributes and
// the last-write time as a local packed DOS date-time. FindFirst and
// FindNext return 0 for a result, else an errno value (ENOENT at the end).
// The listing is closed by FindClose or when the record goes away.
struct TSearchRec {
  std::string Name;
  Int64 Size = 0;
  Int32 Attr = 0;
  UInt32 Time = 0;

  TSearchRec();
  ~TSearchRec();
  TSearchRec(TSearchRec&&) noexcept;
  TSearchRec& operator=(TSearchRec&&) noexcept;

  struct TListing;
  std::unique_ptr<TListing> Listing;
};

int FindFirst(const std::string& Path, Int32 Attr, TSearchRec& F);
int FindNext(TSearchRec& F);
void FindClose(TSearchRec& F);

}  // namespace vsk
