#include "base/records/rarheader.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/checksum.h"
#include "base/records/ziprecords.h"
#include "base/textcase.h"
#include "base/codepage.h"

namespace vsk {

bool TRarBlockHead::Parse(const Byte* Data, std::size_t Count) {
  if (Count < kRarHeadSize) return false;
  Crc = GetLE16(Data);
  Type = Data[2];
  Flags = GetLE16(Data + 3);
  Size = GetLE16(Data + 5);
  AddSize = 0;
  if (Size < kRarHeadSize) return false;
  if (IsLong()) {
    if (Count < kRarHeadSize + 4) return false;
    AddSize = GetLE32(Data + 7);
  }
  return true;
}

bool TRarFileHeader::Parse(const Byte* Data, std::size_t Count) {
  if (!Head.Parse(Data, Count) || (Head.Type != kRarBlockFile && Head.Type != kRarBlockService)) return false;
  std::size_t fixed = kRarFileFixedSize + ((Head.Flags & kRarFileLarge) ? 8 : 0);
  if (Head.Size < fixed || Count < fixed) return false;
  PackedSize = GetLE32(Data + 7);
  UnpackedSize = GetLE32(Data + 11);
  HostOS = Data[15];
  FileCrc = GetLE32(Data + 16);
  DosDateTime = GetLE32(Data + 20);
  Version = Data[24];
  Method = Data[25];
  NameSize = GetLE16(Data + 26);
  Attributes = GetLE32(Data + 28);
  if (Head.Flags & kRarFileLarge) {
    PackedSize |= static_cast<UInt64>(GetLE32(Data + 32)) << 32;
    UnpackedSize |= static_cast<UInt64>(GetLE32(Data + 36)) << 32;
  }
  if (NameSize > Head.Size - fixed || NameSize > Count - fixed) return false;
  const Byte* name = Data + fixed;
  const void* nul = std::memchr(name, 0, NameSize);
  const std::size_t length = nul ? static_cast<std::size_t>(static_cast<const Byte*>(nul) - name) : NameSize;
  Name.assign(reinterpret_cast<const char*>(name), length);
  return true;
}

bool TRarFileHeader::IsDirectory() const {
  if ((Head.Flags & kRarFileDictionaryMask) == kRarFileDictionaryMask) return true;
  return HostOS == kRarHostUnix ? (Attributes & 0x4000) != 0 : (Attributes & 0x10) != 0;
}

UInt32 TRarFileHeader::DosAttributes() const {
  if (HostOS == kRarHostUnix) return IsDirectory() ? 0x10 : 0x20;
  return Attributes;
}

std::string DecodeRarName(const Byte* Stored, std::size_t Size, bool Unicode) {
  const void* nul = std::memchr(Stored, 0, Size);
  const std::size_t plain = nul ? static_cast<std::size_t>(static_cast<const Byte*>(nul) - Stored) : Size;
  std::string head(reinterpret_cast<const char*>(Stored), plain);
  if (!Unicode || !nul || plain + 1 >= Size) return head;

  // The encoded form: a high byte, then per character a 2-bit opcode taken
  // from a flag byte (four per byte): 0 a low byte, 1 a low byte with the
  // high byte, 2 a whole 16-bit unit, 3 a run of characters of the plain
  // name (with a correction added to each and the high byte).
  const Byte* enc = Stored + plain + 1;
  const std::size_t encSize = Size - plain - 1;
  std::size_t pos = 0;
  const unsigned high = enc[pos++];
  std::u16string units;
  unsigned flags = 0;
  int bits = 0;
  while (pos < encSize) {
    if (bits == 0) {
      flags = enc[pos++];
      bits = 8;
    }
    const unsigned op = flags >> 6;
    if (op == 0 || op == 1) {
      if (pos >= encSize) break;
      units.push_back(static_cast<char16_t>(enc[pos++] + (op == 1 ? high << 8 : 0)));
    } else if (op == 2) {
      if (pos + 1 >= encSize) break;
      units.push_back(static_cast<char16_t>(enc[pos] | enc[pos + 1] << 8));
      pos += 2;
    } else {
      if (pos >= encSize) break;
      unsigned length = enc[pos++];
      unsigned correction = 0;
      unsigned add = 0;
      if (length & 0x80) {
        if (pos >= encSize) break;
        correction = enc[pos++];
        add = high << 8;
        length &= 0x7F;
      }
      for (length += 2; length > 0 && units.size() < plain; --length)
        units.push_back(static_cast<char16_t>(((Stored[units.size()] + correction) & 0xFF) + add));
    }
    flags = (flags << 2) & 0xFF;
    bits -= 2;
  }
  std::string out;
  for (std::size_t i = 0; i < units.size() && units[i] != 0; ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out.empty() ? head : out;
}

UInt16 RarHeaderCrc(const Byte* Data, std::size_t Count) { return static_cast<UInt16>(Crc32Of(Data, Count)); }

std::string FirstRarVolumeName(const std::string& Name) {
  const auto slash = Name.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  const auto dot = Name.rfind('.');
  if (dot == std::string::npos || dot < base) return Name;
  const std::string stem = Name.substr(0, dot), ext = Name.substr(dot);
  auto digits = [](const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  const auto dot2 = stem.rfind('.');
  if (AsciiLowerCase(ext) == ".rar" && dot2 != std::string::npos && dot2 >= base) {
    const std::string part = stem.substr(dot2 + 1);
    if (part.size() > 4 && AsciiLowerCase(part.substr(0, 4)) == "part" && digits(part.substr(4)))
      return stem.substr(0, dot2 + 1) + part.substr(0, 4) + std::string(part.size() - 5, '0') + "1" + ext;
  }
  const bool numbered =
      ext.size() == 4 && std::isalpha(static_cast<unsigned char>(ext[1])) && digits(ext.substr(2));
  if (numbered && AsciiLowerCase(ext) != ".rar")
    return stem + (std::isupper(static_cast<unsigned char>(ext[1])) ? ".RAR" : ".rar");
  return Name;
}

std::string NextRarVolumeName(const std::string& Name) {
  const auto slash = Name.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  const auto dot = Name.rfind('.');
  if (dot == std::string::npos || dot < base) return Name + ".r00";
  const std::string stem = Name.substr(0, dot);
  std::string ext = Name.substr(dot);
  auto digits = [](const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  const auto dot2 = stem.rfind('.');
  if (dot2 != std::string::npos && dot2 >= base) {
    const std::string part = stem.substr(dot2 + 1);
    if (part.size() > 4 && AsciiLowerCase(part.substr(0, 4)) == "part" && digits(part.substr(4))) {
      std::string number = part.substr(4);
      std::size_t i = number.size();
      while (i > 0 && number[i - 1] == '9') number[--i] = '0';
      if (i == 0)
        number.insert(number.begin(), '1');
      else
        ++number[i - 1];
      return stem.substr(0, dot2 + 1) + part.substr(0, 4) + number + ".rar";
    }
  }
  if (ext.size() == 4 && AsciiLowerCase(ext) != ".rar" && std::isalpha(static_cast<unsigned char>(ext[1])) &&
      digits(ext.substr(2))) {
    const int n = (ext[2] - '0') * 10 + (ext[3] - '0');
    if (n < 99) {
      ext[2] = static_cast<char>('0' + (n + 1) / 10);
      ext[3] = static_cast<char>('0' + (n + 1) % 10);
    } else {
      ext = std::string(".") + static_cast<char>(ext[1] + 1) + "00";
    }
    return stem + ext;
  }
  return stem + ".r00";
}

}  // namespace vsk
