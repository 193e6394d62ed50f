#include "archive/formats/tar/targzout.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <vector>

#include "archive/core/numbers.h"
#include "archive/core/workers.h"
#include "archive/codecs/blockdeflate.h"
#include "base/errors.h"
#include "base/messages.h"
#include "base/pump.h"
#include "base/records/ziprecords.h"

namespace vsk {

namespace {

constexpr Int32 kChunk = 1 << 20;
// Input bytes per deflate block of the tar: larger than the default, since
// each block primes its dictionary with the 32 KiB before it, and a tar is
// one long stream.
constexpr Int32 kTarDeflateBlock = 512 * 1024;
constexpr Byte kGzipFlagName = 0x08;

int WriteFailure(const EVskError& e) { return e.Code == msg::DiskFull ? msg::DiskFull : msg::ErrorWritingToFile; }

// A file stream over a descriptor it owns.
class TScratchStream : public TFileStream32 {
 public:
  explicit TScratchStream(int Handle) { FHandle = Handle; }
};

}  // namespace

TTarGzOutput::TTarGzOutput(TStream32& Tar, const std::string& GzName, const std::string& MemberName,
                           TDeflateType Type, unsigned Threads, const bool* Cancel)
    : FTar(Tar),
      FGz(fmCreate, GzName),
      FMemberName(MemberName),
      FType(Type),
      FCancel(Cancel),
      FThreads(std::max(Threads, 1u)) {}

TTarGzOutput::~TTarGzOutput() = default;

void TTarGzOutput::Start() {
  if (FSink || FSerial || FError) return;
  if (FGz.Handle() < 0) {
    FError = msg::ErrorCreatingFile;
    return;
  }
  Byte head[10] = {0x1F, 0x8B, 8, kGzipFlagName, 0, 0, 0, 0, 0, 0};
  FGz.WriteBuffer(head, sizeof head);
  FGz.WriteBuffer(FMemberName.c_str(), static_cast<Int64>(FMemberName.size()) + 1);
  if (FThreads == 1) {
    FSerial = std::make_unique<TCompressStream>(FGz, FType, kRawDeflateBits, kCrc32);
    FSerial->Cancel = FCancel;
    if (FSerial->Error()) FError = FSerial->Error();
    return;
  }
  if (!FPool) FPool = std::make_unique<TWorkerPool>(FThreads);
  FSink = std::make_unique<TBlockDeflateSink>(*FPool, FType, FGz, kTarDeflateBlock);
  FSink->Cancel = FCancel;
}

int TTarGzOutput::Deflate(const void* Buffer, Int64 Count) {
  if (FSink) return FSink->Feed(Buffer, static_cast<std::size_t>(Count));
  auto* p = static_cast<const Byte*>(Buffer);
  while (Count > 0) {
    const Int32 n = static_cast<Int32>(std::min<Int64>(Count, kChunk));
    if (FSerial->Write(p, n) != n) {
      if (FCancel && *FCancel) return msg::UserCanceled;
      return FSerial->Error() ? FSerial->Error() : msg::DecompressionError;
    }
    p += n;
    Count -= n;
  }
  return 0;
}

void TTarGzOutput::Hand(const void* Buffer, Int64 Count) {
  if (FError) return;
  try {
    Start();
    if (!FError) FError = Deflate(Buffer, Count);
  } catch (const EVskError& e) {
    FError = WriteFailure(e);
  }
}

Int32 TTarGzOutput::Write(const void* Buffer, Int32 Count) {
  const Int64 at = FTar.Position();
  const Int32 n = FTar.Write(Buffer, Count);
  if (n <= 0) return n;
  if (at == FHanded && !FRewritten) {
    Hand(Buffer, n);
    FHanded += n;
  } else {
    FRewritten = true;
  }
  return n;
}

void TTarGzOutput::SetSize(Int64 NewSize) {
  if (NewSize < FHanded) FRewritten = true;
  FTar.SetSize(NewSize);
}

int TTarGzOutput::Finish(UInt32 MTime) {
  try {
    if (FRewritten && !FError) {
      // What was handed on is no longer the tar: deflate it anew from its start.
      FSink.reset();
      FSerial.reset();
      FGz.SetSize(0);
      FGz.Seek(0, soBeginning);
      Start();
      std::vector<Byte> buffer(static_cast<std::size_t>(kChunk));
      if (FTar.Seek(0, soBeginning) != 0) FError = msg::ErrorReadingFile;
      while (!FError) {
        if (FCancel && *FCancel) return msg::UserCanceled;
        const Int32 n = FTar.Read(buffer.data(), kChunk);
        if (n < 0) FError = msg::ErrorReadingFile;
        if (n <= 0) break;
        FError = Deflate(buffer.data(), n);
        ProcessMessages();
      }
    }
    Start();
    if (FError) return FError;
    if (FSink) {
      if (const int rc = FSink->Finish()) return FError = rc;
      FCrc = FSink->Crc();
      FTotal = FSink->TotalIn();
    } else {
      if (const int rc = FSerial->Finish()) return FError = rc;
      FCrc = FSerial->FinalCrc();
      FTotal = FSerial->TotalIn();
    }
    Byte tail[8];
    PutLE32(tail, FCrc);
    PutLE32(tail + 4, static_cast<UInt32>(FTotal));
    FGz.WriteBuffer(tail, sizeof tail);
    // The time is known only now (it may be the newest of the files).
    Byte time[4];
    PutLE32(time, MTime);
    FGz.Seek(4, soBeginning);
    FGz.WriteBuffer(time, sizeof time);
  } catch (const EVskError& e) {
    return FError = WriteFailure(e);
  }
  return 0;
}

std::unique_ptr<TFileStream32> GunzipToScratch(const std::string& Name, const std::string& Folder,
                                               const bool* Cancel, int& Error) {
  Error = 0;
  const int in = ::open(Name.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    Error = msg::ErrorOpeningFile;
    return nullptr;
  }
  struct TCloser {
    int Fd;
    ~TCloser() { ::close(Fd); }
  } closeIn{in};
  std::string tmpl = (Folder.empty() ? std::string(".") : Folder);
  if (tmpl.back() != '/') tmpl += '/';
  tmpl += "vskXXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    Error = msg::ErrorCreatingFile;
    return nullptr;
  }
  // Nameless from the start: nothing is left behind whatever happens.
  ::unlink(name.data());
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  auto out = std::make_unique<TScratchStream>(fd);

  z_stream z{};
  if (inflateInit2(&z, 15 + 16) != Z_OK) {
    Error = msg::OutOfMemory;
    return nullptr;
  }
  struct TEnd {
    z_stream& Z;
    ~TEnd() { inflateEnd(&Z); }
  } endZ{z};
  std::vector<Byte> input(static_cast<std::size_t>(kChunk)), output(static_cast<std::size_t>(kChunk));
  bool inMember = false, done = false, anyMember = false;
  try {
    while (!done) {
      if (Cancel && *Cancel) {
        Error = msg::UserCanceled;
        return nullptr;
      }
      const ssize_t got = ::read(in, input.data(), input.size());
      if (got < 0) {
        Error = msg::ErrorReadingFile;
        return nullptr;
      }
      if (got == 0) break;
      z.next_in = input.data();
      z.avail_in = static_cast<uInt>(got);
      while (z.avail_in > 0) {
        // Another member follows only where the next bytes begin one; what
        // else follows the last member is ignored, as gzip does.
        if (!inMember) {
          if (z.next_in[0] != 0x1F) {
            // A file that does not begin with a member is no gzip file: its
            // content is not taken for an empty tar and replaced.
            if (!anyMember) {
              Error = msg::BadFileHeader;
              return nullptr;
            }
            done = true;
            break;
          }
          inMember = anyMember = true;
        }
        z.next_out = output.data();
        z.avail_out = static_cast<uInt>(output.size());
        const int rc = inflate(&z, Z_NO_FLUSH);
        out->WriteBuffer(output.data(), static_cast<Int64>(output.size() - z.avail_out));
        if (rc == Z_STREAM_END) {
          inMember = false;
          inflateReset(&z);
        } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
          Error = msg::DecompressionError;
          return nullptr;
        }
      }
      ProcessMessages();
    }
  } catch (const EVskError& e) {
    Error = WriteFailure(e);
    return nullptr;
  }
  if (inMember) {
    Error = msg::DecompressionError;
    return nullptr;
  }
  return out;
}

}  // namespace vsk
