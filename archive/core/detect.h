#pragma once
// What a format's detection sees and may set, and the steps it offers the
// detection of archive types. Each format folder defines one TArcDetector,
// named in the Detect column of the table of archive types; the detection
// (archive/core/register.cpp) runs the steps of every distinct detector in
// the table's order, step by step in the order the file's kind asks for.

#include <cstring>
#include <string>

#include "archive/core/arctype.h"
#include "base/types.h"

namespace vsk {

class TRegisterVorsk;
class TStream32;

// Where the bytes looked at were found.
enum class TProbeSite : Byte {
  File,      // at the start of a file that is no program
  ImageEnd,  // behind the DOS image of a program
  Resource,  // at an offset a program's string table names
  ElfEnd,    // behind the image of an ELF program
};

struct TProbe {
  TRegisterVorsk& R;  // ArcSize, and the detection results a step sets
  TStream32& F;       // the file, positioned anywhere
  TProbeSite Site = TProbeSite::File;
  // The bytes at the header's position (for a file: its start).
  const Byte* Head = nullptr;
  Int64 Count = 0;
  // For a file: the zero bytes skipped before its first header.
  Int64 Skipped = 0;
  // The four bytes at the header, little-endian (a file's after Skipped).
  UInt32 Sig = 0;
  // Set by a signature step whose verdict no mark inside the header
  // overrides.
  bool Final = false;

  bool InExe() const { return Site != TProbeSite::File; }
};

// A position of the scan through a program for an archive header.
struct TScanProbe {
  TRegisterVorsk& R;
  TStream32& F;
  const Byte* At = nullptr;  // the bytes from the position on
  Int32 Left = 0;            // how many of them were read
  Int64 Offset = 0;          // the position in the file
  Int64 Start = 0;           // where the scan began
  // Set with the verdict: where the archive's data start.
  Int64 Found = 0;
};

// A multi-volume type's naming: the letter of its volumes' extensions, the
// extension assumed when the name has none, and the number of a name
// without digits.
struct TVolumeNaming {
  char Letter = 0;
  const char* DefaultExt = "";
  Int32 Unnumbered = 0;
};

// The steps a format offers; each answers atNA when the bytes are none of
// its own. A step may also give atUnsupported (a type of its own found where
// it is not read, such as inside a program).
struct TArcDetector {
  // At a file's start, before any signature (a header behind a prefix).
  TArcType (*Leading)(TProbe&) = nullptr;
  // The four header bytes, where the mark is not the first two bytes alone.
  // The type given is the plain one; inside a program the table's SfxTwin
  // of it stands.
  TArcType (*Signature)(TProbe&) = nullptr;
  // The same, keyed on the first two bytes; tried after every Signature.
  TArcType (*LeadingPair)(TProbe&) = nullptr;
  // A mark inside the header that outweighs what its first bytes say.
  TArcType (*Mark)(TProbe&) = nullptr;
  // In a file no signature named: a text format, then a layout of blocks,
  // then a record found from the file's end.
  TArcType (*Text)(TProbe&) = nullptr;
  TArcType (*Layout)(TProbe&) = nullptr;
  TArcType (*Trailer)(TProbe&) = nullptr;
  // Inside a program: the fixed offsets of known self-extractor stubs.
  TArcType (*Stub)(TProbe&) = nullptr;
  // The scan through a program: the step is asked at every byte ScanLead.
  Byte ScanLead = 0;
  TArcType (*Scan)(TScanProbe&) = nullptr;
  // The type found, told apart by the archive's name.
  TArcType (*Named)(TArcType Found, const std::string& FileName) = nullptr;
  // How the volumes of type T are named; false when T has none.
  bool (*Volumes)(TArcType T, TVolumeNaming& Naming) = nullptr;
};

// The I-th byte of a signature, in file order.
constexpr Byte SigByte(UInt32 Sig, int I) { return static_cast<Byte>(Sig >> (8 * I)); }

// The first two bytes of a signature, the first in the high half.
constexpr UInt16 LeadingPair(UInt32 Sig) { return static_cast<UInt16>(SigByte(Sig, 0) << 8 | SigByte(Sig, 1)); }

inline bool Matches(const Byte* P, const char* Text, std::size_t N) { return std::memcmp(P, Text, N) == 0; }

// Reads up to Count bytes at Pos; a negative or unreachable position reads
// nothing.
Int32 ReadAt(TStream32& F, Int64 Pos, void* Buffer, Int32 Count);

}  // namespace vsk
