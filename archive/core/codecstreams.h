#pragma once
// Streams that sit between a format's code and an archive stream: raw
// deflate (TCompressStream), raw inflate (TDecompressStream), storing
// (TStoreStream) and a CRC pass-through (TCalcStreamCRC). Each keeps its
// 65536-byte working buffer inside the object, updates a running CRC as
// data pass, applies the traditional zip cipher to the archive side when
// asked and stops at the next block once the shared cancel flag is set.
//
// The per-run state they touch (cipher keys, bytes-left total, cancel flag,
// the run's CRCs) is reached through pointers that may all be null, so the
// streams work without a component too. Attach() takes them from one.

#include <zlib.h>

#include <array>

#include "base/checksum.h"
#include "base/stream.h"
#include "base/types.h"
#include "archive/core/zipcrypt.h"

namespace vsk {

class TZipCommon;

enum TDeflateType : Byte { dtDeflateS, dtDeflateF, dtDeflateN, dtDeflateX };

// zlib level of a deflate type: 0, 1, -1 (zlib's default, 6) and 9.
int DeflateLevel(TDeflateType Type);

inline constexpr Int32 kCodecBufferSize = 65536;
// Window bits of a raw deflate stream (no zlib header).
inline constexpr int kRawDeflateBits = -MAX_WBITS;

// The library code of a failed zlib call: 25253 "Out of memory" for
// Z_MEM_ERROR, 25153 "Decompression error" for every other failure.
int ZlibErrorCode(int ZResult);

// What a caller hands a storing or deflating copy about the entry in work.
struct TCodecInfo {
  UInt32 Crc = 0xFFFFFFFFu;        // starting CRC of the deflating copy
  bool Encrypt = false;            // encipher what goes to the archive
  TZipCrypt* Crypt = nullptr;      // keys, ready for the entry data
  double* BytesLeft = nullptr;     // the run's archive bytes left, lowered as input is taken
  const bool* Cancel = nullptr;    // the run's shared cancel flag
  TCrcState* RunCrc = nullptr;     // the run's running CRCs
  int Error = 0;                   // set by DeflateStream on failure
};

// The run's pointers of a component.
TCodecInfo CodecInfoOf(TZipCommon& Component, bool Encrypt);

class TCustomStream : public TStream32 {
 public:
  TCustomStream(TStream32& Stream, int CrcKind);
  ~TCustomStream() override = default;

  // Count 0 copies the whole source from its start. Chunks of up to 100000
  // bytes go through the source's Read and this stream's WriteBuffer, with
  // one message pump each. Returns the bytes copied; a short read ends the
  // copy and gives 0. A cancel ends it early with the bytes copied so far.
  Int64 CopyFrom(TStream32& Source, Int64 Count, const bool* CancelFlag = nullptr,
                 TStreamNotify NotifyProc = {}) override;
  Int32 CopyChunkSize() const override { return 100000; }

  // Cancel flag, cipher keys and bytes-left total of the component's run.
  void Attach(TZipCommon& Component);

  bool Cancelled() const { return Cancel && *Cancel; }
  // The final value of the running CRC: complemented for CRC-32, as it
  // stands for CRC-16 and other kinds.
  UInt32 FinalCrc() const { return CrcKind == kCrc32 ? Crc ^ 0xFFFFFFFFu : Crc; }
  // A library code (25153, 25253) once a zlib call failed, 0 otherwise.
  int Error() const { return FError; }
  // The zlib result behind Error().
  int ZError() const { return FZError; }
  TStream32& Source() const { return *FStream; }

  // Set by the caller after creation.
  const bool* Cancel = nullptr;
  int CrcKind;
  UInt32 Crc;                  // running CRC (CRC-16 in its low half)
  bool CryptFlag = false;      // apply the cipher on the archive side
  TZipCrypt* Crypt = nullptr;  // null: no cipher
  double* BytesLeft = nullptr;

 protected:
  struct TCopyResult {
    Int64 Copied = 0;
    bool Failed = false;  // a short read of a sized source, or a failed write
  };
  // Count 0: the whole source from its start; an unknown source size copies
  // up to the source's end.
  TCopyResult CopyLoop(TStream32& Source, Int64 Count, const bool* CancelFlag, TStreamNotify NotifyProc);
  void UpdateCrc(const void* Buffer, std::size_t Count);
  void Fail(int ZResult);
  // Moves the underlying stream back where this stream left it, in case
  // someone else moved it in between.
  bool RestorePosition();

  TStream32* FStream;
  Int64 FStreamPos;
  z_stream FZ{};
  bool FZInit = false;
  bool FEndOfStream = false;
  int FError = 0;
  int FZError = Z_OK;
  alignas(16) std::array<Byte, kCodecBufferSize> FBuffer;
};

// Deflate into the underlying stream at its position at creation.
// Finish() writes the last block; destruction only frees, so an entry whose
// Finish was not called is left incomplete.
class TCompressStream : public TCustomStream {
 public:
  TCompressStream(TStream32& Stream, TDeflateType DeflateType, int WindowBits = kRawDeflateBits,
                  int ACrcKind = kCrc32);
  ~TCompressStream() override;

  // Takes Count bytes: CRC over them, deflate, full 65536-byte blocks
  // (enciphered when asked) written with WriteBuffer, which raises
  // EWriteError on a short write. Returns the bytes taken (fewer after a
  // cancel), or -1 once a zlib call failed (see Error()).
  Int32 Write(const void* Buffer, Int32 Count) override;
  Int32 Read(void*, Int32) override { return -1; }
  // Seek(0, soCurrent) gives the bytes taken so far; anything else -1.
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override;

  // Ends the deflate stream and writes what is left. Returns 0, or the
  // library code of a zlib failure (then nothing more is written). A second
  // call returns the first one's result.
  int Finish();

  Int64 TotalIn() const { return static_cast<Int64>(FZ.total_in); }
  Int64 TotalOut() const { return static_cast<Int64>(FZ.total_out); }

 protected:
  friend bool DeflateStream(TStream32&, TStream32&, TCodecInfo&, TDeflateType, TStreamNotify, int, UInt32&);

  void Init(int Level, int WindowBits);
  // Writes the filled part of the buffer and resets the output window.
  void FlushBuffer();
  void EndDeflate();

  bool FFinished = false;
};

// Inflate from the underlying stream, starting at its position at creation
// (the entry's first compressed byte).
//
// With a compressed size limit (-1: unknown) no byte beyond the entry's
// compressed data is read, so a damaged entry cannot run on into the next
// one: it ends with 25153. When the stream is done (Finish(), or its
// destruction, which never raises) the underlying stream is set right after
// the compressed data: input read ahead but not consumed is given back.
class TDecompressStream : public TCustomStream {
 public:
  explicit TDecompressStream(TStream32& Stream, int WindowBits = kRawDeflateBits, Int64 CompressedSize = -1,
                             int ACrcKind = kCrc32);
  ~TDecompressStream() override;

  // Inflates into Buffer: input is read in blocks of up to 65536 bytes
  // (deciphered when asked, the progress notification called after each),
  // the CRC is updated over the output. Returns the bytes produced; 0 at the
  // end of the data or after a cancel; -1 after a failure when nothing came
  // out (Error() gives 25153 for damaged or truncated data, 25253 when
  // zlib ran out of memory).
  Int32 Read(void* Buffer, Int32 Count) override;
  Int32 Write(const void*, Int32) override { return -1; }
  // Seek(0, soBeginning) restarts from the entry's first compressed byte
  // (CRC and cipher keys as they were at the first read); other targets are
  // reached by inflating and discarding, backwards through a restart.
  // Returns the output position reached; soEnd gives -1.
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override;
  Int64 GetSize() override { return -1; }

  void SetCompressedSize(Int64 Size) { FLimit = Size < 0 ? -1 : Size; }
  Int64 CompressedSize() const { return FLimit; }

  // Gives back the unconsumed input and ends the inflater. Later reads
  // return 0. Safe to call more than once.
  void Finish();

  // The end of the deflate data was reached.
  bool EndOfStream() const { return FEndOfStream; }
  // The data stopped because the source (or the size limit) had no more
  // input: a truncated entry, or the end of a volume.
  bool InputExhausted() const { return FInputDry; }
  // Goes on reading from Next (at its current position), as when an entry
  // continues on the next volume; clears a failure caused by the exhausted
  // input. The size limit counts the bytes of both sources.
  void SwitchSource(TStream32& Next);

  Int64 TotalIn() const { return FRawRead - static_cast<Int64>(FZ.avail_in); }
  Int64 TotalOut() const { return FTotalOut; }

 protected:
  void Init(int WindowBits);
  void Reset();
  void End();
  // Reads the next block of input; false when none came.
  bool Refill();
  Int32 InflateInto(Byte* Buffer, Int32 Count);
  void Skip(Int64 Count);

  Int64 FStart;
  Int64 FLimit;
  Int64 FRawRead = 0;   // bytes taken from the source(s)
  Int64 FTotalOut = 0;
  bool FInputDry = false;
  bool FFinished = false;
  bool FSwitched = false;
  bool FHaveSnapshot = false;
  UInt32 FStartCrc = 0;
  std::array<UInt32, 3> FStartKeys{};
};

// Writes entry data unchanged (enciphered when asked) with a running CRC.
class TStoreStream : public TCustomStream {
 public:
  // The CRC starts at 0 (CRC-16) or 0xFFFFFFFF (CRC-32); for an encrypted
  // entry it goes on from the run's running value of that kind when Info
  // has one. Other kinds keep Info.Crc.
  TStoreStream(TStream32& Stream, const TCodecInfo& Info, int ACrcKind, TStreamNotify ANotify = {});

  // CRC over the plain bytes, encipher when asked, lower the bytes left,
  // WriteBuffer, progress notification. Returns Count.
  Int32 Write(const void* Buffer, Int32 Count) override;
  Int32 Read(void*, Int32) override { return -1; }
  // Seek(0, soCurrent) gives the bytes written; anything else -1.
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override;
  // Copies in 102400-byte chunks with the source's ReadBuffer (EReadError on
  // a short read), pumping messages and stopping on the cancel flag. Count 0
  // copies the whole source from its start. Returns the bytes copied.
  Int64 CopyFrom(TStream32& Source, Int64 Count, const bool* CancelFlag = nullptr,
                 TStreamNotify NotifyProc = {}) override;
  Int32 CopyChunkSize() const override { return 102400; }

  const TCodecInfo& Info() const { return FInfo; }

 protected:
  // Writes Count bytes of Buffer, which it may encipher in place.
  void WriteOwned(Byte* Buffer, Int32 Count);

  TCodecInfo FInfo;
  Int64 FTotal = 0;
};

// Reads a source stream through, computing its CRC. Seek(0, soBeginning)
// starts the CRC and the count afresh.
class TCalcStreamCRC : public TCustomStream {
 public:
  TCalcStreamCRC(TStream32& Source, int ACrcKind);

  Int32 Read(void* Buffer, Int32 Count) override;
  Int32 Write(const void*, Int32) override { return -1; }
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override;
  Int64 GetSize() override { return FStream->GetSize(); }

  // Reads the whole source from its start in 100000-byte chunks, rewinds it
  // to 0 and returns the running CRC (not yet complemented).
  UInt32 Calculate(const TStreamNotify& ANotify = {});

  Int64 Count() const { return FCount; }

 private:
  void Restart();
  Int64 FCount = 0;
};

// Deflates the whole Input (from its start) into Output at Output's
// position, with the starting CRC, cipher, bytes-left total and cancel flag
// of Info. Output is set to position 0 afterwards. Unless encrypting, Crc
// gets the final CRC-32 of the input; for an empty input a run CRC-32
// still at its start value is set to 0.
// Returns false after a cancel (Info.Error 25443), a short read of the
// input (25236) or a zlib failure (25153, 25253); a failed write to Output
// raises EWriteError.
bool DeflateStream(TStream32& Input, TStream32& Output, TCodecInfo& Info, TDeflateType DeflateType,
                   TStreamNotify Notify, int WindowBits, UInt32& Crc);

}  // namespace vsk
