#pragma once
// Where the LZ decoders of this folder take packed bytes from and put decoded
// bytes to. The decoders know nothing of archives: a source hands out the
// entry's packed bytes until they are used up, a sink takes the output. The
// reader-side pair binds them to a component's block read and
// decrypt-and-write routines, which keep the running CRC, decipher where an
// entry asks for it and raise on a failed write.

#include "base/types.h"

namespace vsk {

class TStream32;
class TZipCommon;

// Packed bytes of one entry; Read returns 0 once they are used up.
class TCodecSource {
 public:
  virtual ~TCodecSource() = default;
  virtual Int32 Read(Byte* Buffer, Int32 Count) = 0;
};

// Decoded bytes of one entry; Write raises the library's errors on failure.
class TCodecSink {
 public:
  virtual ~TCodecSink() = default;
  virtual void Write(const Byte* Buffer, Int32 Count) = 0;
};

// PackedSize bytes from the current position of Input, read through the
// component's read routine; Decode asks that routine to decipher each block
// (the password forms of ARJ and BH).
class TReaderSource : public TCodecSource {
 public:
  TReaderSource(TZipCommon& Reader, TStream32* Input, Int64 PackedSize, bool Decode = false)
      : FReader(Reader), FInput(Input), FLeft(PackedSize < 0 ? 0 : PackedSize), FDecode(Decode) {}
  Int32 Read(Byte* Buffer, Int32 Count) override;
  Int64 Left() const { return FLeft; }

 private:
  TZipCommon& FReader;
  TStream32* FInput;
  Int64 FLeft;
  bool FDecode;
};

// Writes through the component's decrypt-and-write routine into Handle
// (nothing is deciphered there), updating the run CRC of kind CrcKind; each
// block lowers the archive's bytes left and reports progress for the entry.
class TReaderSink : public TCodecSink {
 public:
  TReaderSink(TZipCommon& Reader, int Handle, int CrcKind) : FReader(Reader), FHandle(Handle), FCrcKind(CrcKind) {}
  void Write(const Byte* Buffer, Int32 Count) override;
  Int64 Written() const { return FWritten; }

 private:
  TZipCommon& FReader;
  int FHandle;
  int FCrcKind;
  Int64 FWritten = 0;
};

}  // namespace vsk
