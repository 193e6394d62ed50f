#pragma once
// Rebuilding a damaged ZIP archive: the raw bytes are searched for local
// headers, every entry that passes the plausibility tests and whose data
// match their CRC is copied, and a new directory and end record are written
// after them. An entry whose data cannot be checked here (a method this
// cannot decode, or enciphered) is kept and reported as unchecked. What the
// old directory still says of an entry (version made by, flags, extra
// field, attributes, comment) is kept.

#include <functional>
#include <string>
#include <vector>

#include "base/stream.h"
#include "base/records/ziprecords.h"

namespace vsk {

class TZipFix {
 public:
  // Once per candidate entry: its name as far as it was read, and whether
  // the entry was kept. An entry whose stored or deflated data do not match
  // their CRC is damaged: reported false and left out.
  using TOnFileFoundEvent = std::function<void(TZipFix& Sender, const std::string& Filename, bool FileInfoIsOK)>;
  TOnFileFoundEvent OnFileFound;
  // Instead of OnFileFound for an entry kept whose data could not be
  // checked (a method this cannot decode, or enciphered): it may be as
  // damaged as any, so it is never reported as recovered.
  using TOnFileUncheckedEvent = std::function<void(TZipFix& Sender, const std::string& Filename)>;
  TOnFileUncheckedEvent OnFileUnchecked;

  // Repairs InFile into OutFile. The input is mapped, not read into
  // memory; the output is written beside OutFile and takes its place only
  // when complete. An OutFile that is InFile (by device and inode, under
  // whatever name) is refused with EFCreateError 25191: the damaged
  // archive is the only copy of what a repair leaves out. Raises
  // EFOpenError when the input cannot be opened and EWriteError when the
  // output cannot be written. Returns the entries kept (checked or not);
  // with none an existing OutFile is left as it was.
  int FixFile(const std::string& InFile, const std::string& OutFile);
  // Repairs the bytes of Input (a memory image) into Output. Raises
  // std::invalid_argument "No input or no output stream has been defined"
  // when either is missing.
  int FixStream(const TCustomMemoryStream32* Input, TStream32* Output);
  // The same over a block of bytes.
  int FixBytes(const Byte* Data, Int64 Size, TStream32& Output);

  // The longest entry name taken as plausible, and the most entries one
  // directory can count.
  static constexpr UInt16 kMaxNameLength = 4096;
  static constexpr std::size_t kMaxEntries = 65535;

 private:
  struct TFileInfo {
    TZipCentralRecord Record;
    std::string Name;
    std::string Extra, Comment;  // of its directory record
    Int64 LocalOffset = 0;   // in the input
    Int64 LocalLength = 0;   // header, name, extra, data and data descriptor
    bool FromDescriptor = false;
  };
  // An old directory record found in the input.
  struct TOldRecord {
    Int64 At = 0;
    TZipCentralRecord Record;
    std::string Name, Extra, Comment;
  };
  bool ReadCandidate(const Byte* Data, Int64 Size, Int64 At, TFileInfo& Info, std::string& Name, Int64& End);
  enum class TDataCheck { Intact, Damaged, Unchecked };
  // Whether the data of a plausible candidate match its CRC and size;
  // Unchecked for methods and ciphers this cannot read.
  static TDataCheck CheckData(const Byte* Data, const TFileInfo& Info);
  static bool DataIntact(const Byte* Data, const TFileInfo& Info);
  static std::vector<TOldRecord> FindOldRecords(const Byte* Data, Int64 Size);
  // Takes over the old record of Info's entry, when one is found, or what
  // its local header tells.
  static void TakeOldRecords(const Byte* Data, std::vector<TFileInfo>& Kept, const std::vector<TOldRecord>& Old);
};

}  // namespace vsk
