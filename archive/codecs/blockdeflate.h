#pragma once
// One raw deflate stream made of blocks that the worker pool deflates
// independently. Every block but the last ends on a byte boundary (filled
// up with empty blocks) without the final bit, the last one carries it, so
// the outputs joined in order are one valid stream. Each block takes the
// last 32 KiB of the input before it as its dictionary, which keeps the
// ratio within a fraction of a percent of one serial stream. The CRC-32 of
// the whole is combined from the blocks' CRCs.
//
// The caller's thread reads the input, writes the blocks in order and hears
// of each one written; at most a fixed number of blocks per worker is in
// flight, so memory does not grow with the input.

#include <deque>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <vector>

#include "archive/core/codecstreams.h"
#include "base/stream.h"
#include "base/types.h"
#include "archive/core/workers.h"

namespace vsk {

// Input bytes per block.
inline constexpr Int32 kDeflateBlockSize = 128 * 1024;

struct TPackedBlock;

// The same blocks fed by the caller as the input is made, instead of read
// from a stream: Feed hands over bytes, Finish deflates the rest with the
// final bit. Done blocks are written to Output in order; Feed waits for the
// oldest one while the limit of blocks is in flight. Blocks still queued
// when it is destroyed unfinished are dropped without being deflated.
class TBlockDeflateSink {
 public:
  TBlockDeflateSink(TWorkerPool& Pool, TDeflateType DeflateType, TStream32& Output,
                    Int32 BlockSize = kDeflateBlockSize);
  ~TBlockDeflateSink();
  TBlockDeflateSink(const TBlockDeflateSink&) = delete;
  TBlockDeflateSink& operator=(const TBlockDeflateSink&) = delete;

  // Checked before each block is queued and after each is written.
  const bool* Cancel = nullptr;
  // Called after each block's output was written, with its input bytes.
  std::function<void(Int64 BlockInput)> OnBlock;

  // 0; 25443 after a cancel; 25153 or 25253 when zlib failed; once failed,
  // every later call gives that code. A failed write raises as Output's
  // WriteBuffer does.
  int Feed(const void* Data, std::size_t Count);
  int Finish();

  UInt32 Crc() const { return FCrc; }
  Int64 TotalIn() const { return FTotalIn; }

 private:
  using TBuffer = std::shared_ptr<std::vector<Byte>>;
  int Submit(bool Last);
  int WriteOldest();
  bool Cancelled() const { return Cancel && *Cancel; }

  TWorkerPool& FPool;
  TStream32& FOutput;
  int FLevel;
  std::size_t FBlockSize;
  std::size_t FLimit;
  std::shared_ptr<std::atomic<bool>> FDropped;
  std::deque<std::future<TPackedBlock>> FFlight;
  TBuffer FPrev, FCur;
  int FError = 0;
  bool FFinished = false;
  UInt32 FCrc = 0;
  Int64 FTotalIn = 0;
};

class TBlockDeflater {
 public:
  TBlockDeflater(TWorkerPool& Pool, TDeflateType DeflateType, Int32 BlockSize = kDeflateBlockSize);

  // Checked before each block is read and after each is written.
  const bool* Cancel = nullptr;
  // Called on the caller's thread after each block's output was written,
  // with the input bytes that block held.
  std::function<void(Int64 BlockInput)> OnBlock;

  // Deflates Input from its position to its end into Output at Output's
  // position. Returns 0; 25443 after a cancel; 25236 when the input could
  // not be read; 25153 or 25253 when zlib failed. A failed write raises as
  // Output's WriteBuffer does. Blocks still queued when it leaves early are
  // dropped without being deflated.
  int Run(TStream32& Input, TStream32& Output);

  // The final CRC-32 and the size of the input taken (0 and 0 when empty).
  UInt32 Crc() const { return FCrc; }
  Int64 TotalIn() const { return FTotalIn; }

 private:
  bool Cancelled() const { return Cancel && *Cancel; }

  TWorkerPool& FPool;
  TDeflateType FType;
  Int32 FBlockSize;
  UInt32 FCrc = 0;
  Int64 FTotalIn = 0;
};

}  // namespace vsk
