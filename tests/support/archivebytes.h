#pragma once
// Building archive bytes by hand: little-endian fields, DOS dates and a
// self-extractor's program in front of an archive.

#include <cstddef>
#include <string>

#include "base/types.h"

namespace vsktest {

inline std::string Le16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
inline std::string Le32(vsk::UInt32 v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

inline vsk::UInt16 DosDate(int y, int m, int d) { return static_cast<vsk::UInt16>((y - 1980) << 9 | m << 5 | d); }
inline vsk::UInt16 DosTime(int h, int mi, int s) { return static_cast<vsk::UInt16>(h << 11 | mi << 5 | s / 2); }

// Little-endian archive bytes, appended field by field.
class Bytes {
 public:
  Bytes& U8(unsigned v) {
    s_.push_back(static_cast<char>(v));
    return *this;
  }
  Bytes& U16(unsigned v) { return Raw(Le16(v)); }
  Bytes& U32(vsk::UInt32 v) { return Raw(Le32(v)); }
  Bytes& Raw(const std::string& v) {
    s_ += v;
    return *this;
  }
  // Text padded with NULs (or cut) to Width bytes.
  Bytes& Field(const std::string& v, std::size_t Width) {
    std::string f = v.substr(0, Width);
    f.resize(Width, '\0');
    return Raw(f);
  }
  Bytes& Fill(std::size_t n, char c = '\0') {
    s_.append(n, c);
    return *this;
  }
  // Overwrites 32 bits at Pos.
  void PutU32(std::size_t Pos, vsk::UInt32 v) {
    for (int i = 0; i < 4; ++i) s_[Pos + i] = static_cast<char>(v >> (8 * i));
  }
  std::size_t size() const { return s_.size(); }
  const std::string& str() const { return s_; }

 private:
  std::string s_;
};

// A stand-in for a self-extractor's program: an MZ image of Size bytes,
// whose header says where the image ends (the archive follows it).
inline std::string SfxStub(std::size_t Size) {
  std::string stub(Size, '\0');
  stub[0] = 'M';
  stub[1] = 'Z';
  const std::size_t last = Size % 512, pages = Size / 512 + (last ? 1 : 0);
  stub[2] = static_cast<char>(last & 0xFF);
  stub[3] = static_cast<char>(last >> 8);
  stub[4] = static_cast<char>(pages & 0xFF);
  stub[5] = static_cast<char>(pages >> 8);
  return stub;
}

}  // namespace vsktest
