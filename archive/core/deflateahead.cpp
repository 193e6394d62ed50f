#include "archive/core/deflateahead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "base/checksum.h"
#include "base/errors.h"
#include "archive/core/readall.h"

namespace vsk {

namespace {

// The read size of the writers' own deflating loop.
constexpr Int32 kReadSize = 1 << 20;
// The look-ahead: enough source bytes that the other workers stay busy
// while one deflates a large file, which also bounds what is held.
constexpr Int64 kBytesPerThread = Int64{16} << 20;
constexpr std::size_t kEntriesPerThread = 32;

bool WriteAll(int Fd, const Byte* P, Int64 Count) {
  while (Count > 0) {
    const ssize_t n = ::write(Fd, P, static_cast<std::size_t>(std::min<Int64>(Count, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    P += n;
    Count -= n;
  }
  return true;
}

int OpenSpillFile(const std::string& Dir) {
  const std::string dir = Dir.empty() ? std::string("/tmp") : Dir;
  int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  std::string name = dir + (dir.back() == '/' ? "" : "/") + ".vskahead-XXXXXX";
  fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) ::unlink(name.c_str());
  return fd;
}

}  // namespace

// The stream a worker deflates into: memory up to kAheadHeldBytes, then an
// unlinked temporary file. It is only ever written at its end.
class TAheadSink : public TStream32 {
 public:
  TAheadSink(TDeflatedEntry& Entry, const std::string& Dir) : FEntry(Entry), FDir(Dir) {}

  Int32 Read(void*, Int32) override { return -1; }
  Int32 Write(const void* Buffer, Int32 Count) override {
    if (Count <= 0) return 0;
    const auto* p = static_cast<const Byte*>(Buffer);
    if (FEntry.FSpill < 0 && FEntry.FSize + Count > kAheadHeldBytes) {
      FEntry.FSpill = OpenSpillFile(FDir);
      if (FEntry.FSpill < 0 || !WriteAll(FEntry.FSpill, FEntry.FHeld.data(), FEntry.FSize)) {
        FError = errno;
        return -1;
      }
      std::vector<Byte>().swap(FEntry.FHeld);
    }
    if (FEntry.FSpill >= 0) {
      if (!WriteAll(FEntry.FSpill, p, Count)) {
        FError = errno;
        return -1;
      }
    } else {
      FEntry.FHeld.insert(FEntry.FHeld.end(), p, p + Count);
    }
    FEntry.FSize += Count;
    return Count;
  }
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override {
    if ((Origin == soCurrent || Origin == soEnd) && Offset == 0) return FEntry.FSize;
    if (Origin == soBeginning && Offset == FEntry.FSize) return Offset;
    return -1;
  }
  Int64 GetSize() override { return FEntry.FSize; }
  int LastOSError() const override { return FError; }

 private:
  TDeflatedEntry& FEntry;
  const std::string& FDir;
  int FError = 0;
};

namespace {

// Deflates one source as the writer's own loop would; a failure leaves Ok
// false and the writer then does the entry itself (and reports what fails).
std::shared_ptr<TDeflatedEntry> DeflateSource(const std::string& Path, TDeflateType Type, const std::string& Dir,
                                              const std::atomic<bool>& Stop, TAheadProgress& Progress) {
  auto out = std::make_shared<TDeflatedEntry>();
  if (Stop) return out;
  Byte err = 0;
  TFileStream32 src(Path, fmOpenRead | fmShareDenyNone, err);
  struct stat st;
  if (err != 0 || fstat(src.Handle(), &st) != 0 || !S_ISREG(st.st_mode)) return out;
  out->Dev = st.st_dev;
  out->Ino = st.st_ino;
  out->StatSize = st.st_size;
  Progress.Dev.store(out->Dev, std::memory_order_relaxed);
  Progress.Ino.store(out->Ino, std::memory_order_relaxed);
  Progress.StatSize.store(out->StatSize, std::memory_order_relaxed);
  std::vector<Byte> buffer(static_cast<std::size_t>(std::min<Int64>(kReadSize, std::max<Int64>(st.st_size, 1) + 1)));
  const Int32 chunk = static_cast<Int32>(buffer.size());
  TAheadSink sink(*out, Dir);
  try {
    if (out->StatSize <= kSmallDeflateSize) {
      std::vector<Byte> data;
      for (;;) {
        const Int32 n = src.Read(buffer.data(), chunk);
        if (n <= 0) break;
        data.insert(data.end(), buffer.data(), buffer.data() + n);
      }
      TMemoryStream32 packed;
      {
        TCompressStream cs(packed, Type, kRawDeflateBits, kCrcNone);
        if (cs.Error() != 0 || cs.Write(data.data(), static_cast<Int32>(data.size())) != static_cast<Int32>(data.size()) ||
            cs.Finish() != 0)
          return out;
      }
      out->Total = static_cast<Int64>(data.size());
      out->Crc = Crc32Of(data.data(), data.size());
      out->Deflated = packed.GetSize() < out->Total;
      if (out->Deflated)
        sink.WriteBuffer(packed.Memory(), packed.GetSize());
      else
        sink.WriteBuffer(data.data(), out->Total);
    } else {
      TCompressStream cs(sink, Type, kRawDeflateBits, kCrc32);
      if (cs.Error() != 0) return out;
      for (;;) {
        if (Stop) return out;
        const Int32 n = src.Read(buffer.data(), chunk);
        if (n <= 0) break;
        if (cs.Write(buffer.data(), n) != n) return out;
        out->Total += n;
        Progress.Done.store(out->Total, std::memory_order_release);
      }
      if (cs.Finish() != 0) return out;
      out->Crc = cs.FinalCrc();
    }
  } catch (const EVskError&) {
    return out;
  }
  out->Ok = !Stop;
  return out;
}

}  // namespace

TDeflatedEntry::~TDeflatedEntry() {
  if (FSpill >= 0) ::close(FSpill);
}

bool TDeflatedEntry::ReadOutput(Int64 Offset, void* Buffer, Int64 Count) const {
  if (Offset < 0 || Count < 0 || Offset > FSize || Count > FSize - Offset) return false;
  if (FSpill >= 0) return ReadAllAt(FSpill, Offset, Buffer, Count);
  if (Count > 0) std::memcpy(Buffer, FHeld.data() + Offset, static_cast<std::size_t>(Count));
  return true;
}

TDeflateAhead::TDeflateAhead(unsigned Threads, TDeflateType Type, std::string SpillDir)
    : FType(Type),
      FSpillDir(std::move(SpillDir)),
      FMaxEntries(std::max(2u, Threads) * kEntriesPerThread),
      FMaxBytes(static_cast<Int64>(std::max(2u, Threads)) * kBytesPerThread),
      FPool(Threads) {}

TDeflateAhead::~TDeflateAhead() {
  for (auto& [key, slot] : FSlots) *slot.Stop = true;
}

bool TDeflateAhead::HasRoom(Int64 Size) const {
  return FSlots.empty() || (FSlots.size() < FMaxEntries && FBytes + Size <= FMaxBytes);
}

void TDeflateAhead::Queue(std::size_t Key, const std::string& Path, Int64 Size) {
  if (FSlots.count(Key)) return;
  TSlot slot;
  slot.Stop = std::make_shared<std::atomic<bool>>(false);
  slot.Progress = std::make_shared<TAheadProgress>();
  slot.Size = Size;
  slot.Result = FPool.Submit([Path, Type = FType, Dir = FSpillDir, Stop = slot.Stop, Progress = slot.Progress] {
    return DeflateSource(Path, Type, Dir, *Stop, *Progress);
  });
  FBytes += Size;
  FSlots.emplace(Key, std::move(slot));
}

void TDeflateAhead::Drop(std::map<std::size_t, TSlot>::iterator It) {
  *It->second.Stop = true;
  FBytes -= It->second.Size;
  FSlots.erase(It);
}

std::shared_ptr<TDeflatedEntry> TDeflateAhead::Take(std::size_t Key,
                                                    const std::function<bool(const TAheadProgress&)>& KeepWaiting) {
  const auto it = FSlots.find(Key);
  if (it == FSlots.end()) return nullptr;
  auto& result = it->second.Result;
  while (result.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    if (KeepWaiting && !KeepWaiting(*it->second.Progress)) {
      Drop(it);
      return nullptr;
    }
  }
  std::shared_ptr<TDeflatedEntry> entry;
  try {
    entry = result.get();
  } catch (...) {
  }
  Drop(it);
  return entry && entry->Ok ? entry : nullptr;
}

void TDeflateAhead::Forget(std::size_t Key) {
  while (!FSlots.empty() && FSlots.begin()->first < Key) Drop(FSlots.begin());
}

}  // namespace vsk
