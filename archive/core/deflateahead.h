#pragma once
// Entries deflated ahead of a writer on worker threads. The writer's thread
// queues the sources of the entries it will reach next and, when it gets to
// one, takes its deflate stream (and CRC) and writes it like its own: every
// event, header and write stays on that thread and in its order. Each entry
// is one task deflated exactly as the writer would (the same stream class,
// level and read size), so the bytes are the same.
//
// Memory stays bounded: the look-ahead is limited in entries and in source
// bytes, and an entry's output beyond kAheadHeldBytes goes to an unlinked
// temporary file.
//
// While the writer waits for an entry, the worker's progress on it is
// readable block by block (a relaxed counter, no lock), so that the writer
// can show it in the order the entries are written.

#include <atomic>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/core/codecstreams.h"
#include "archive/core/workers.h"

namespace vsk {

// Output of one entry kept in memory; beyond it the entry spills to disk.
inline constexpr Int64 kAheadHeldBytes = 4 << 20;
// Sources up to this size are deflated in one piece and kept stored when
// deflating does not make them smaller (the writers' small-file rule).
inline constexpr Int64 kSmallDeflateSize = 256;

// What a worker made of one source.
class TDeflatedEntry {
 public:
  TDeflatedEntry() = default;
  ~TDeflatedEntry();
  TDeflatedEntry(const TDeflatedEntry&) = delete;
  TDeflatedEntry& operator=(const TDeflatedEntry&) = delete;

  bool Ok = false;       // complete; otherwise the writer does the entry itself
  UInt64 Dev = 0, Ino = 0;
  Int64 StatSize = 0;    // the source's size when it was opened
  Int64 Total = 0;       // bytes read from it
  UInt32 Crc = 0;        // CRC-32 of those bytes
  bool Deflated = true;  // false: a small source kept as it is

  Int64 OutputSize() const { return FSize; }
  // Reads Count bytes of the output from Offset; false on a failed read.
  bool ReadOutput(Int64 Offset, void* Buffer, Int64 Count) const;

 private:
  friend class TAheadSink;
  std::vector<Byte> FHeld;
  int FSpill = -1;
  Int64 FSize = 0;
};

// What a worker has done of one source so far. Done (input bytes read and
// deflated, after each block) is stored last with release order: the
// source's identity is valid once Done is above 0.
struct TAheadProgress {
  std::atomic<UInt64> Dev{0}, Ino{0};
  std::atomic<Int64> StatSize{0};
  std::atomic<Int64> Done{0};
};

class TDeflateAhead {
 public:
  // SpillDir holds the temporary files of large outputs.
  TDeflateAhead(unsigned Threads, TDeflateType Type, std::string SpillDir);
  // Stops the queued work and waits for the workers.
  ~TDeflateAhead();
  TDeflateAhead(const TDeflateAhead&) = delete;
  TDeflateAhead& operator=(const TDeflateAhead&) = delete;

  // The window takes a source of Size bytes (always when it is empty).
  bool HasRoom(Int64 Size) const;
  // Queues the source of entry Key.
  void Queue(std::size_t Key, const std::string& Path, Int64 Size);
  bool Queued(std::size_t Key) const { return FSlots.count(Key) != 0; }
  // The result of entry Key, waiting for it; KeepWaiting is called about
  // every 50 ms with the worker's progress and ends the wait when it gives
  // false. Null when the entry was not queued, the wait was ended, or the
  // worker failed.
  std::shared_ptr<TDeflatedEntry> Take(std::size_t Key,
                                       const std::function<bool(const TAheadProgress&)>& KeepWaiting);
  // Entries before Key that were not taken are dropped (their work stops).
  void Forget(std::size_t Key);

 private:
  struct TSlot {
    std::future<std::shared_ptr<TDeflatedEntry>> Result;
    std::shared_ptr<std::atomic<bool>> Stop;
    std::shared_ptr<TAheadProgress> Progress;
    Int64 Size = 0;
  };
  void Drop(std::map<std::size_t, TSlot>::iterator It);

  TDeflateType FType;
  std::string FSpillDir;
  std::size_t FMaxEntries;
  Int64 FMaxBytes;
  Int64 FBytes = 0;
  std::map<std::size_t, TSlot> FSlots;
  // Last, so that its threads are joined before the slots go.
  TWorkerPool FPool;
};

}  // namespace vsk
