#pragma once
// The library's stream family. Positions and sizes are signed 64-bit. Opening
// a file stream never raises (the constructor hands back an error byte);
// ReadBuffer/WriteBuffer raise on a short transfer, "Disk full" being its own
// case; bulk copies run in fixed chunks, pump messages and stop on a cancel flag.

#include <functional>
#include <string>

#include "base/types.h"

namespace vsk {

enum TSeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// Open modes: access in the low two bits, sharing above (sharing has no
// effect here but is kept so callers say what they mean).
inline constexpr UInt16 fmCreate = 0xFFFF;
inline constexpr UInt16 fmOpenRead = 0x0000;
inline constexpr UInt16 fmOpenWrite = 0x0001;
inline constexpr UInt16 fmOpenReadWrite = 0x0002;
inline constexpr UInt16 fmShareCompat = 0x0000;
inline constexpr UInt16 fmShareExclusive = 0x0010;
inline constexpr UInt16 fmShareDenyWrite = 0x0020;
inline constexpr UInt16 fmShareDenyRead = 0x0030;
inline constexpr UInt16 fmShareDenyNone = 0x0040;

// Error bytes of the TFileStream32 constructor.
inline constexpr Byte kStreamOpenFailed = 255;
inline constexpr Byte kStreamCreateFailed = 254;

inline constexpr Int32 kCopyChunk = 61440;

class TStream32;
using TStreamNotify = std::function<void(TStream32& Sender)>;

class TStream32 {
 public:
  virtual ~TStream32() = default;
  TStream32() = default;
  TStream32(const TStream32&) = delete;
  TStream32& operator=(const TStream32&) = delete;

  virtual Int64 GetSize();
  virtual void SetSize(Int64 NewSize);
  // Count 0 copies the whole source from its start. Returns the count it set
  // out to copy, also when cancelled early.
  virtual Int64 CopyFrom(TStream32& Source, Int64 Count, const bool* CancelFlag = nullptr,
                         TStreamNotify NotifyProc = {});
  virtual Int32 Read(void* Buffer, Int32 Count) = 0;
  // Returns the new position, or -1 when the target position is invalid; a
  // stream left at an invalid position reads and writes nothing until the
  // next valid seek.
  virtual Int64 Seek(Int64 Offset, TSeekOrigin Origin);
  virtual Int32 Write(const void* Buffer, Int32 Count) = 0;

  Int64 Size() { return GetSize(); }
  Int64 Position() { return Seek(0, soCurrent); }
  void SetPosition(Int64 Value) { Seek(Value, soBeginning); }

  // Exactly Count bytes or EReadError "Stream read error".
  void ReadBuffer(void* Buffer, Int64 Count);
  // Exactly Count bytes or EWriteError: "Disk full" (25160) when the medium
  // is full, "Stream write error" otherwise.
  void WriteBuffer(const void* Buffer, Int64 Count);

  // Chunk of CopyFrom.
  virtual Int32 CopyChunkSize() const { return kCopyChunk; }
  // The system error of the last failed read or write (0 when none).
  virtual int LastOSError() const { return 0; }
  // Name of the concrete class, for error texts.
  virtual const char* ClassName() const { return "TStream32"; }

  TStreamNotify Notify;
};

// A stream over a POSIX file descriptor (-1 when none). It does not own the
// descriptor.
class THandleStream32 : public TStream32 {
 public:
  explicit THandleStream32(int AHandle) : FHandle(AHandle) {}

  Int64 GetSize() override;
  void SetSize(Int64 NewSize) override;
  Int32 Read(void* Buffer, Int32 Count) override;
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override;
  Int32 Write(const void* Buffer, Int32 Count) override;
  int LastOSError() const override { return FLastError; }
  const char* ClassName() const override { return "THandleStream32"; }

  int Handle() const { return FHandle; }

 protected:
  int FHandle;
  int FLastError = 0;
  bool FBadPosition = false;
};

// A stream that opens a file by name and owns the descriptor.
class TFileStream32 : public THandleStream32 {
 public:
  // Mode fmCreate creates or truncates; any other mode opens an existing
  // file with the access of its low two bits. Error: 0, or 255 when the open
  // failed, 254 when the create failed; the handle is then -1.
  TFileStream32(const std::string& FileName, UInt16 Mode, Byte& Error);
  TFileStream32(const std::string& FileName, UInt16 Mode);
  ~TFileStream32() override;
  const char* ClassName() const override { return "TFileStream32"; }
  const std::string& FileName() const { return FFileName; }

 protected:
  // For descendants that open their file themselves.
  TFileStream32() : THandleStream32(-1) {}
  // Opens or creates FileName as the constructor does; returns the error byte.
  Byte OpenFile(const std::string& FileName, UInt16 Mode);
  void CloseHandle();
  std::string FFileName;
};

// A stream over a block of memory it does not own.
class TCustomMemoryStream32 : public TStream32 {
 public:
  Int32 Read(void* Buffer, Int32 Count) override;
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override;
  // Writes within the block only; it never grows.
  Int32 Write(const void* Buffer, Int32 Count) override;
  const char* ClassName() const override { return "TCustomMemoryStream32"; }

  void SetPointer(void* Ptr, Int64 ASize);
  Byte* Memory() const { return FMemory; }

 protected:
  Byte* FMemory = nullptr;
  Int64 FSize = 0;
  Int64 FPosition = 0;
};

// A growing memory stream that owns its block.
class TMemoryStream32 : public TCustomMemoryStream32 {
 public:
  TMemoryStream32() = default;
  ~TMemoryStream32() override;
  void SetSize(Int64 NewSize) override;
  Int32 Write(const void* Buffer, Int32 Count) override;
  const char* ClassName() const override { return "TMemoryStream32"; }

  void Clear();
  Int64 Capacity() const { return FCapacity; }

 protected:
  // Rounds a positive capacity up to 8192-byte granules; 0 frees the block.
  virtual Byte* Realloc(Int64& NewCapacity);
  void SetCapacity(Int64 NewCapacity);

  Int64 FCapacity = 0;
};

}  // namespace vsk
