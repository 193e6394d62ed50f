#pragma once
// The decoder of Unix "compress" files (magic 1F 9D): LZW codes of 9 up to
// 16 bits, read least-significant bit first. The writer emits codes in
// groups of eight of one width and pads the group it is in when the width
// grows or the table is cleared, so the reader skips to the end of the
// group at the same points. All tables are fixed in size and every code is
// checked against the table before it is followed.

#include <memory>

#include "base/types.h"

namespace vsk {

// The whole file from its first byte; Read returns 0 at its end (or once
// the run is cancelled).
class TLzwSource {
 public:
  virtual ~TLzwSource() = default;
  virtual Int32 Read(Byte* Buffer, Int32 Count) = 0;
};

// Decoded bytes, in blocks of up to kLzwOutputBlock; the sink may change
// the block in place. Write raises the library's errors on failure.
class TLzwSink {
 public:
  virtual ~TLzwSink() = default;
  virtual void Write(Byte* Buffer, Int32 Count) = 0;
};

inline constexpr Int32 kLzwOutputBlock = 65536;
inline constexpr int kLzwMinBits = 9;
inline constexpr int kLzwMaxBits = 16;
// Bits of the flag byte that follows the magic.
inline constexpr Byte kLzwBitsMask = 0x1F;
inline constexpr Byte kLzwReservedMask = 0x60;
inline constexpr Byte kLzwBlockMode = 0x80;

enum class TLzwResult {
  Ok,            // the input ended where a code could end
  NotCompress,   // no 1F 9D magic, or the file ends inside the header
  BadFlags,      // reserved flag bits set, or a code width outside 9..16
  BadFirstCode,  // the first code is not a byte value
  BadCode,       // a code beyond the next free table entry
  Cancelled,
};

// Decodes one compress file from In as its reader asks for the output.
// Cancel (may be null) is polled at every refill of the input.
class TLzwReader {
 public:
  TLzwReader(TLzwSource& In, const bool* Cancel);
  ~TLzwReader();
  TLzwReader(const TLzwReader&) = delete;
  TLzwReader& operator=(const TLzwReader&) = delete;
  // Up to Count decoded bytes; 0 once decoding ended (then Result says how).
  Int32 Read(Byte* Buffer, Int32 Count);
  TLzwResult Result() const;

 private:
  struct TState;
  std::unique_ptr<TState> FState;
};

// Decodes one compress file from In to Out. Cancel (may be null) is polled
// at every refill of the input.
TLzwResult LzwDecode(TLzwSource& In, TLzwSink& Out, const bool* Cancel);

}  // namespace vsk
