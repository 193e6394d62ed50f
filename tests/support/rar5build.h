#pragma once
// Building RAR5 archives by hand with stored entries: the signature, the
// main header, file and service headers and the end header, each with its
// CRC, so volume sets can be made at test time.

#include <string>
#include <vector>

#include "base/checksum.h"
#include "tests/support/archivebytes.h"

namespace vsktest {

inline const std::string kRar5Marker("Rar!\x1A\x07\x01\x00", 8);

inline vsk::UInt32 Crc32(const std::string& s) { return vsk::Crc32Of(s.data(), s.size()); }

// A RAR5 number: 7 bits a byte, low first, the high bit marking that more follow.
inline std::string Rar5VInt(vsk::UInt64 v) {
  std::string s;
  do {
    s.push_back(static_cast<char>((v & 0x7F) | (v > 0x7F ? 0x80 : 0)));
    v >>= 7;
  } while (v);
  return s;
}

// A header of Type with its CRC, then Data.
inline std::string Rar5Block(vsk::UInt64 Type, vsk::UInt64 Flags, const std::string& Fields,
                             const std::string& Extra = {}, const std::string& Data = {}) {
  // File and service headers always have a data area, even an empty one.
  const bool dataArea = !Data.empty() || Type == 2 || Type == 3;
  std::string body = Rar5VInt(Type) + Rar5VInt(Flags | (Extra.empty() ? 0 : 1) | (dataArea ? 2 : 0));
  if (!Extra.empty()) body += Rar5VInt(Extra.size());
  if (dataArea) body += Rar5VInt(Data.size());
  body += Fields + Extra;
  const std::string head = Rar5VInt(body.size()) + body;
  return Le32(Crc32(head)) + head + Data;
}

// A file (Type 2) or service (Type 3) header with its stored Data. HeadFlags
// 0x08 and 0x10 mark a part continued from the previous volume and in the
// next one; Size and FileCrc are then those of the whole file.
inline std::string Rar5File(vsk::UInt64 Type, const std::string& Name, const std::string& Data,
                            vsk::UInt64 FileFlags = 0, vsk::UInt64 Attr = 0x81A4, const std::string& Extra = {},
                            vsk::UInt64 HeadFlags = 0, vsk::UInt64 Size = ~0ull, vsk::UInt32 FileCrc = 0) {
  const vsk::UInt64 size = Size == ~0ull ? Data.size() : Size;
  const vsk::UInt32 crc = FileCrc ? FileCrc : Crc32(Data);
  const std::string fields = Rar5VInt(FileFlags | 0x06) + Rar5VInt(size) + Rar5VInt(Attr) + Le32(1700000000) +
                             Le32(crc) + Rar5VInt(0) + Rar5VInt(1) + Rar5VInt(Name.size()) + Name;
  return Rar5Block(Type, HeadFlags, fields, Extra, Data);
}

// The main header; ArchiveFlags 1 marks a volume, 3 a volume with its
// number (Volume) given.
inline std::string Rar5Main(vsk::UInt64 ArchiveFlags, int Volume = 0) {
  return Rar5Block(1, 0, Rar5VInt(ArchiveFlags) + (Volume ? Rar5VInt(Volume) : ""));
}

// The end header; More marks a set that goes on in a next volume.
inline std::string Rar5End(bool More) { return Rar5Block(5, 0, Rar5VInt(More ? 1 : 0)); }

// Three RAR5 volumes holding Name split in three parts: each part's header
// with the CRC of its own data, the last one's with the whole file's.
inline std::vector<std::string> Rar5SplitSet(const std::string& Name, const std::string& Text) {
  const std::size_t third = Text.size() / 3;
  const std::string a = Text.substr(0, third), b = Text.substr(third, third), c = Text.substr(2 * third);
  const auto part = [&](const std::string& Data, vsk::UInt64 Flags, vsk::UInt32 Crc) {
    return Rar5File(2, Name, Data, 0, 0x81A4, {}, Flags, Text.size(), Crc);
  };
  return {kRar5Marker + Rar5Main(1) + part(a, 0x10, Crc32(a)) + Rar5End(true),
          kRar5Marker + Rar5Main(3, 1) + part(b, 0x18, Crc32(b)) + Rar5End(true),
          kRar5Marker + Rar5Main(3, 2) + part(c, 0x08, Crc32(Text)) + Rar5End(false)};
}

}  // namespace vsktest
