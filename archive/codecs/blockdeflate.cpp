#include "archive/codecs/blockdeflate.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <future>
#include <memory>
#include <new>
#include <vector>

#include "base/messages.h"

namespace vsk {

namespace {

constexpr std::size_t kDictionarySize = 32768;

using TBuffer = std::shared_ptr<std::vector<Byte>>;

}  // namespace

struct TPackedBlock {
  std::unique_ptr<Byte[]> Out;
  std::size_t Size = 0;
  Int64 In = 0;
  UInt32 Crc = 0;
  int ZResult = Z_OK;
};

namespace {

// One deflater per worker thread, reset for each block: a fresh one would
// allocate and clear its tables every time.
class TThreadDeflater {
 public:
  TThreadDeflater() = default;
  TThreadDeflater(const TThreadDeflater&) = delete;
  TThreadDeflater& operator=(const TThreadDeflater&) = delete;
  ~TThreadDeflater() { End(); }

  // A deflater at Level with no history, or null when zlib had no memory.
  z_stream* Ready(int Level) {
    if (FInit && FLevel == Level && deflateReset(&FZ) == Z_OK) return &FZ;
    End();
    FZ = z_stream{};
    if (deflateInit2(&FZ, Level, Z_DEFLATED, kRawDeflateBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) return nullptr;
    FInit = true;
    FLevel = Level;
    return &FZ;
  }

 private:
  void End() {
    if (FInit) deflateEnd(&FZ);
    FInit = false;
  }

  z_stream FZ{};
  bool FInit = false;
  int FLevel = 0;
};

// Runs deflate with Flush until all input is taken and the flush is done,
// doubling the output room when it runs out. Z_OK or the failure.
int Drive(z_stream* Z, int Flush, TPackedBlock& B, std::size_t& Room) {
  for (;;) {
    const int r = deflate(Z, Flush);
    if (Flush == Z_FINISH ? r == Z_STREAM_END : (r == Z_OK || r == Z_BUF_ERROR) && Z->avail_out > 0 && Z->avail_in == 0)
      return Z_OK;
    if ((r == Z_OK || r == Z_BUF_ERROR) && Z->avail_out == 0) {
      const std::size_t made = Room;
      Room *= 2;
      std::unique_ptr<Byte[]> bigger(new Byte[Room]);
      std::memcpy(bigger.get(), B.Out.get(), made);
      B.Out = std::move(bigger);
      Z->next_out = B.Out.get() + made;
      Z->avail_out = static_cast<uInt>(Room - made);
      continue;
    }
    return r == Z_OK || r == Z_STREAM_END ? Z_STREAM_ERROR : r;
  }
}

// Brings a block that is not the last to a byte boundary. An even number
// of bits left over is filled with empty fixed-code blocks (10 bits each),
// which costs a byte at most; otherwise a sync flush ends it with an empty
// stored block.
int AlignBlock(z_stream* Z, TPackedBlock& B, std::size_t& Room) {
  int bits = 0;
  if (deflatePending(Z, nullptr, &bits) != Z_OK) return Z_STREAM_ERROR;
  if ((bits & 7) == 0) return Z_OK;
  if ((bits & 1) == 0) {
    while ((bits & 7) != 0 && deflatePrime(Z, 10, 2) == Z_OK && deflatePending(Z, nullptr, &bits) == Z_OK) {
    }
    if ((bits & 7) == 0) return Drive(Z, Z_BLOCK, B, Room);
  }
  return Drive(Z, Z_SYNC_FLUSH, B, Room);
}

// Deflates one block, primed with the end of Prev; a block that is not the
// last ends byte-aligned without the final bit, the last one with it.
TPackedBlock DeflateBlock(const std::vector<Byte>& In, const std::vector<Byte>* Prev, int Level, bool Last) {
  TPackedBlock b;
  b.In = static_cast<Int64>(In.size());
  b.Crc = static_cast<UInt32>(crc32_z(0, In.data(), In.size()));
  thread_local TThreadDeflater deflater;
  z_stream* z = deflater.Ready(Level);
  if (!z) {
    b.ZResult = Z_MEM_ERROR;
    return b;
  }
  if (Prev && !Prev->empty()) {
    const std::size_t n = std::min(Prev->size(), kDictionarySize);
    const int r = deflateSetDictionary(z, Prev->data() + Prev->size() - n, static_cast<uInt>(n));
    if (r != Z_OK) {
      b.ZResult = r;
      return b;
    }
  }
  // The bound covers the worst case; the alignment adds a few bytes.
  std::size_t room = deflateBound(z, static_cast<uLong>(In.size())) + 16;
  b.Out.reset(new Byte[room]);
  z->next_in = const_cast<Bytef*>(In.data());
  z->avail_in = static_cast<uInt>(In.size());
  z->next_out = b.Out.get();
  z->avail_out = static_cast<uInt>(room);
  b.ZResult = Drive(z, Last ? Z_FINISH : Z_BLOCK, b, room);
  if (b.ZResult == Z_OK && !Last) b.ZResult = AlignBlock(z, b, room);
  b.Size = room - z->avail_out;
  return b;
}

}  // namespace

TBlockDeflateSink::TBlockDeflateSink(TWorkerPool& Pool, TDeflateType DeflateType, TStream32& Output,
                                     Int32 BlockSize)
    : FPool(Pool),
      FOutput(Output),
      FLevel(DeflateLevel(DeflateType)),
      FBlockSize(static_cast<std::size_t>(std::max<Int32>(BlockSize, 1))),
      // Four blocks per worker: a slow block at the head does not leave the
      // others idle, and memory stays at about 1 MiB per worker.
      FLimit(4 * static_cast<std::size_t>(Pool.Size()) + 4),
      FDropped(std::make_shared<std::atomic<bool>>(false)) {}

// The queued tasks hold their blocks themselves; they see the flag and stop.
TBlockDeflateSink::~TBlockDeflateSink() { *FDropped = true; }

int TBlockDeflateSink::WriteOldest() {
  TPackedBlock b = FFlight.front().get();
  FFlight.pop_front();
  if (b.ZResult != Z_OK) return FError = ZlibErrorCode(b.ZResult);
  FOutput.WriteBuffer(b.Out.get(), static_cast<Int64>(b.Size));
  FCrc = static_cast<UInt32>(crc32_combine(FCrc, b.Crc, static_cast<z_off_t>(b.In)));
  FTotalIn += b.In;
  if (OnBlock) OnBlock(b.In);
  return Cancelled() ? FError = msg::UserCanceled : 0;
}

int TBlockDeflateSink::Submit(bool Last) {
  if (Cancelled()) return FError = msg::UserCanceled;
  while (FFlight.size() >= FLimit)
    if (const int rc = WriteOldest()) return rc;
  FFlight.push_back(FPool.Submit([cur = FCur, prev = FPrev, Last, level = FLevel, dropped = FDropped]() {
    TPackedBlock b;
    if (*dropped) {
      b.ZResult = Z_STREAM_ERROR;
      return b;
    }
    try {
      return DeflateBlock(*cur, prev.get(), level, Last);
    } catch (const std::bad_alloc&) {
      b.ZResult = Z_MEM_ERROR;
      return b;
    }
  }));
  FPrev = std::move(FCur);
  FCur.reset();
  return 0;
}

int TBlockDeflateSink::Feed(const void* Data, std::size_t Count) {
  if (FError || FFinished) return FError ? FError : msg::DecompressionError;
  auto* p = static_cast<const Byte*>(Data);
  while (Count > 0) {
    // A full block goes out only once more input shows it is not the last.
    if (FCur && FCur->size() == FBlockSize)
      if (const int rc = Submit(false)) return rc;
    if (!FCur) {
      FCur = std::make_shared<std::vector<Byte>>();
      FCur->reserve(FBlockSize);
    }
    const std::size_t n = std::min(Count, FBlockSize - FCur->size());
    FCur->insert(FCur->end(), p, p + n);
    p += n;
    Count -= n;
  }
  return 0;
}

int TBlockDeflateSink::Finish() {
  if (FError || FFinished) return FError ? FError : msg::DecompressionError;
  FFinished = true;
  if (!FCur) FCur = std::make_shared<std::vector<Byte>>();
  if (const int rc = Submit(true)) return rc;
  while (!FFlight.empty())
    if (const int rc = WriteOldest()) return rc;
  return 0;
}

TBlockDeflater::TBlockDeflater(TWorkerPool& Pool, TDeflateType DeflateType, Int32 BlockSize)
    : FPool(Pool), FType(DeflateType), FBlockSize(std::max<Int32>(BlockSize, 1)) {}

int TBlockDeflater::Run(TStream32& Input, TStream32& Output) {
  FCrc = 0;
  FTotalIn = 0;
  TBlockDeflateSink sink(FPool, FType, Output, FBlockSize);
  sink.Cancel = Cancel;
  sink.OnBlock = OnBlock;
  std::vector<Byte> buffer(static_cast<std::size_t>(FBlockSize));
  for (;;) {
    if (Cancelled()) return msg::UserCanceled;
    const Int32 got = Input.Read(buffer.data(), FBlockSize);
    if (got < 0 || (got < FBlockSize && Input.LastOSError() != 0)) return msg::ErrorReadingFile;
    if (got == 0) break;
    if (const int rc = sink.Feed(buffer.data(), static_cast<std::size_t>(got))) return rc;
  }
  const int rc = sink.Finish();
  FCrc = sink.Crc();
  FTotalIn = sink.TotalIn();
  return rc;
}

}  // namespace vsk
