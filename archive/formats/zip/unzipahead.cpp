#include "archive/formats/zip/unzipahead.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "base/checksum.h"
#include "archive/core/codecstreams.h"
#include "archive/core/fileprims.h"
#include "base/messages.h"
#include "archive/core/zipcrypt.h"
#include "base/records/ziprecords.h"

namespace vsk {

namespace {

// Output of queued and finished jobs not yet taken by the run.
constexpr Int64 kAheadBudget = Int64{256} << 20;

// Reads the archive at its own position with pread, so any number of these
// share one descriptor without disturbing each other or the run's stream.
class TPositionedStream : public TStream32 {
 public:
  explicit TPositionedStream(int Fd) : FFd(Fd) {}
  Int32 Read(void* Buffer, Int32 Count) override {
    if (Count <= 0) return 0;
    auto* p = static_cast<Byte*>(Buffer);
    Int32 done = 0;
    while (done < Count) {
      const ssize_t n = ::pread(FFd, p + done, static_cast<std::size_t>(Count - done), static_cast<off_t>(FPos));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<Int32>(n);
      FPos += n;
    }
    return done;
  }
  Int32 Write(const void*, Int32) override { return 0; }
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override {
    Int64 base = 0;
    if (Origin == soCurrent) base = FPos;
    if (Origin == soEnd) {
      struct stat st;
      if (fstat(FFd, &st) != 0) return -1;
      base = st.st_size;
    }
    if (base + Offset < 0) return -1;
    FPos = base + Offset;
    return FPos;
  }
  const char* ClassName() const override { return "TPositionedStream"; }

 private:
  int FFd;
  Int64 FPos = 0;
};

Int64 HeldBytes(const TAheadEntry& E) { return std::max(E.Packed, E.Unpacked); }

// Entries queued or decoded and not yet taken: enough for the workers to be
// woken in batches, each holding an open file, so well within the limit of
// open files.
std::size_t MaxPending(unsigned Threads) {
  std::size_t n = std::clamp<std::size_t>(std::size_t{Threads} * 16, 4, 256);
  struct rlimit files;
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY)
    n = std::min<std::size_t>(n, std::max<std::size_t>(4, files.rlim_cur / 4));
  return n;
}

bool WriteAll(int Fd, const Byte* Buffer, Int32 Count) {
  while (Count > 0) {
    const ssize_t n = ::write(Fd, Buffer, static_cast<std::size_t>(Count));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    Buffer += n;
    Count -= static_cast<Int32>(n);
  }
  return true;
}

}  // namespace

TDecodedEntry::~TDecodedEntry() {
  if (File >= 0) ::close(File);
}

bool CanDecodeAhead(const TAheadEntry& Entry) {
  return (Entry.Method == 0 || Entry.Method == 8) && !(Entry.Flags & kZipFlagEncrypted) && Entry.Packed >= 0 &&
         Entry.Unpacked >= 0;
}

TInflateAhead::TInflateAhead(int ArchiveFd, std::vector<TAheadEntry> Entries, unsigned Threads, std::string Folder,
                             TAheadDating Dating)
    : FFd(::fcntl(ArchiveFd, F_DUPFD_CLOEXEC, 0)),
      FEntries(std::move(Entries)),
      FFolder(std::move(Folder)),
      FDating(Dating),
      FMaxPending(MaxPending(Threads)),
      FPool(std::make_unique<TWorkerPool>(Threads)) {}

TInflateAhead::~TInflateAhead() {
  FStop = true;
  FPool.reset();
  if (FFd >= 0) ::close(FFd);
}

void TInflateAhead::Advance(std::size_t Index) {
  auto stale = std::find_if(FPending.begin(), FPending.end(), [&](const TPending& p) { return p.Index >= Index; });
  for (auto it = FPending.begin(); it != stale; ++it) FPendingBytes -= it->Bytes;
  FPending.erase(FPending.begin(), stale);
  // The queue is topped up once half of it is taken: the workers are then
  // woken once for a batch of entries, not once for each.
  if (FNext > Index && FPending.size() > FMaxPending / 2) return;
  if (FNext <= Index) FNext = Index;
  bool queued = false;
  while (FFd >= 0 && FNext < FEntries.size() && FPending.size() < FMaxPending) {
    const TAheadEntry& e = FEntries[FNext];
    if (CanDecodeAhead(e)) {
      if (!FPending.empty() && FPendingBytes + HeldBytes(e) > kAheadBudget) break;
      FPending.push_back({FNext, HeldBytes(e), FPool->Submit([this, &e] { return Decode(e); }, false)});
      FPendingBytes += HeldBytes(e);
      queued = true;
    }
    ++FNext;
  }
  if (queued) FPool->WakeAll();
}

std::shared_ptr<TDecodedEntry> TInflateAhead::Take(std::size_t Index, const std::function<bool()>& Idle) {
  for (auto it = FPending.begin(); it != FPending.end(); ++it) {
    if (it->Index != Index || !it->Result.valid()) continue;
    if (Idle)
      while (it->Result.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
        if (!Idle()) return nullptr;
    try {
      return it->Result.get();
    } catch (...) {
      return nullptr;
    }
  }
  return nullptr;
}

// Follows the run's own stored copy and inflate loops block for block, so
// the blocks, CRCs and error codes are the ones they would produce.
std::shared_ptr<TDecodedEntry> TInflateAhead::Decode(const TAheadEntry& Entry) const {
  if (FStop) return nullptr;
  TPositionedStream in(FFd);
  Byte h[TZipLocalHeader::Size];
  if (in.Seek(Entry.LocalOffset, soBeginning) != Entry.LocalOffset ||
      in.Read(h, static_cast<Int32>(sizeof h)) != static_cast<Int32>(sizeof h) || GetLE32(h) != kZipLocalSignature)
    return nullptr;
  const auto local = TZipLocalHeader::Parse(h);
  auto r = std::make_shared<TDecodedEntry>();
  r->DataStart = Entry.LocalOffset + 30 + local.FileNameLength + local.ExtraFieldLength;
  r->Method = Entry.Method;
  r->Packed = Entry.Packed;
  r->Unpacked = Entry.Unpacked;
  if (in.Seek(r->DataStart, soBeginning) != r->DataStart) return nullptr;
  // A write that fails for want of space tells the run to stop decoding ahead.
  const auto NoSpace = [this]() -> std::shared_ptr<TDecodedEntry> {
    if (errno == ENOSPC || errno == EDQUOT) FSpaceShort = true;
    return nullptr;
  };
  r->File = ::open(FFolder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (r->File < 0) return NoSpace();
  std::vector<Byte> buf(kAheadBlock);
  UInt32 crc = 0xFFFFFFFFu;
  Int64 done = 0;
  // A block that cannot be written leaves the entry to the run, which meets
  // the failure where it reports it.
  if (Entry.Method == 0) {
    Int64 left = Entry.Packed;
    while (left > 0) {
      if (FStop) return nullptr;
      const Int32 want = static_cast<Int32>(std::min<Int64>(left, kAheadBlock));
      const Int32 n = in.Read(buf.data(), want);
      if (n <= 0) {
        r->Error = msg::ErrorReadingFile;
        break;
      }
      if (!WriteAll(r->File, buf.data(), n)) return NoSpace();
      UpdateCrc32(buf.data(), static_cast<std::size_t>(n), crc);
      r->Blocks.push_back({n, crc, 0});
      left -= n;
      done += n;
    }
  } else {
    TDecompressStream ds(in, kRawDeflateBits, Entry.Packed, kCrcNone);
    while (done < Entry.Unpacked) {
      if (FStop) return nullptr;
      const Int32 want = static_cast<Int32>(std::min<Int64>(Entry.Unpacked - done, kAheadBlock));
      const Int32 n = ds.Read(buf.data(), want);
      if (n <= 0) break;
      if (!WriteAll(r->File, buf.data(), n)) return NoSpace();
      UpdateCrc32(buf.data(), static_cast<std::size_t>(n), crc);
      r->Blocks.push_back({n, crc, ds.Error()});
      done += n;
    }
    r->Error = ds.Error();
    ds.Finish();
  }
  if (FDating.Rule != TAheadDating::adNone) {
    r->DatedAs = FDating.Rule == TAheadDating::adFixed ? FDating.Fixed : local.DosDateTime;
    SetFileHandleDosTime(r->File, r->DatedAs);
    r->Dated = true;
  }
  return r;
}

}  // namespace vsk
