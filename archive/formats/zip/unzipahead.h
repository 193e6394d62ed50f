#pragma once
// Decoding the stored and deflated entries of a ZIP ahead of the run, on
// worker threads. Each job reads its entry through its own positioned reads
// of the archive and writes the output into an unnamed file on the
// destination's file system, noting the blocks the run's own decoder would
// have written, with the running CRC and the decoder's error after each.
// The run's thread then puts that file in place (or copies it into an
// output that already exists) and reports the blocks exactly as when it
// decodes the entry itself, so events, decisions and names stay on the
// run's thread and in archive order.

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "base/types.h"
#include "archive/core/workers.h"

namespace vsk {

// An entry as the archive's listing describes it.
struct TAheadEntry {
  Int64 LocalOffset = 0;
  UInt16 Method = 0;
  UInt16 Flags = 0;
  Int64 Packed = 0;
  Int64 Unpacked = 0;
};

struct TDecodedBlock {
  Int32 Size = 0;
  UInt32 CrcAfter = 0;  // the running (uncomplemented) CRC-32 after the block
  int ErrorAfter = 0;   // the decoder's error code after the block
};

struct TDecodedEntry {
  TDecodedEntry() = default;
  ~TDecodedEntry();
  TDecodedEntry(const TDecodedEntry&) = delete;
  TDecodedEntry& operator=(const TDecodedEntry&) = delete;

  // What the job decoded: the run uses the result only when its own
  // reading of the entry agrees.
  Int64 DataStart = 0;
  UInt16 Method = 0;
  Int64 Packed = 0;
  Int64 Unpacked = 0;
  int File = -1;  // the unnamed file holding the output
  std::vector<TDecodedBlock> Blocks;
  int Error = 0;  // the decoder's error once it stopped by itself
  // The file's last-write time was set to this DOS date-time.
  bool Dated = false;
  UInt32 DatedAs = 0;
};

// The date the jobs give each output they wrote: none (the run sets it as it
// closes the output), the date in the entry's local header, or one date.
struct TAheadDating {
  enum TRule { adNone, adLocal, adFixed } Rule = adNone;
  UInt32 Fixed = 0;
};

// Whether an entry can be decoded ahead: stored or deflated, not encrypted.
bool CanDecodeAhead(const TAheadEntry& Entry);

// The serial decoders' block size, which the blocks of a result follow.
inline constexpr Int32 kAheadBlock = 65536;

class TInflateAhead {
 public:
  // ArchiveFd is the run's archive (a regular file); it is duplicated, so
  // the jobs never depend on the run's stream or its position. The unnamed
  // files are made in Folder, which lies on the destination's file system.
  TInflateAhead(int ArchiveFd, std::vector<TAheadEntry> Entries, unsigned Threads, std::string Folder,
                TAheadDating Dating = {});
  // Stops the jobs at their next block and waits for them.
  ~TInflateAhead();
  TInflateAhead(const TInflateAhead&) = delete;
  TInflateAhead& operator=(const TInflateAhead&) = delete;

  // The run reached entry Index: results of earlier entries are dropped and
  // the entries after it are queued, as far as the bounds allow.
  void Advance(std::size_t Index);
  // Entry Index decoded ahead, or null when it was not taken ahead or its
  // job could not decode it in full agreement with the serial decoder (the
  // run then decodes it itself). While its job works, Idle is called every
  // few milliseconds; when it answers false the wait ends with null.
  std::shared_ptr<TDecodedEntry> Take(std::size_t Index, const std::function<bool()>& Idle = {});
  // A job found the destination's file system full. The outputs held ahead
  // take space a run on one thread would not need: the run then goes on
  // without them, as one thread would.
  bool SpaceShort() const { return FSpaceShort.load(); }

 private:
  struct TPending {
    std::size_t Index;
    Int64 Bytes;
    std::future<std::shared_ptr<TDecodedEntry>> Result;
  };
  std::shared_ptr<TDecodedEntry> Decode(const TAheadEntry& Entry) const;

  int FFd = -1;
  std::vector<TAheadEntry> FEntries;
  std::string FFolder;
  TAheadDating FDating;
  std::size_t FNext = 0;
  std::deque<TPending> FPending;
  Int64 FPendingBytes = 0;
  std::size_t FMaxPending;
  std::atomic<bool> FStop{false};
  mutable std::atomic<bool> FSpaceShort{false};
  // Last member: destroyed first, so its threads are joined before the
  // state the jobs use goes away.
  std::unique_ptr<TWorkerPool> FPool;
};

}  // namespace vsk
