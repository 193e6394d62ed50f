#pragma once
// The gzip side of a tar.gz run. The tar is written through TTarGzOutput,
// which passes every byte to the tar's own output and, as it is written, to
// deflate workers whose blocks go straight into a scratch gzip file beside
// the ".gz" target: the tar is compressed in the same pass that makes it.
// Only when the tar is rewritten behind what was handed on (an entry cut
// back after a failure) is the finished tar read again at the end.

#include <memory>
#include <string>

#include "archive/core/codecstreams.h"
#include "base/tempstream.h"

namespace vsk {

class TWorkerPool;
class TBlockDeflateSink;

class TTarGzOutput : public TStream32 {
 public:
  // Tar: the tar's output (the stream is not owned). GzName: the ".gz" the
  // member is committed to; MemberName goes into its header.
  TTarGzOutput(TStream32& Tar, const std::string& GzName, const std::string& MemberName, TDeflateType Type,
               unsigned Threads, const bool* Cancel);
  ~TTarGzOutput() override;

  Int32 Read(void* Buffer, Int32 Count) override { return FTar.Read(Buffer, Count); }
  Int32 Write(const void* Buffer, Int32 Count) override;
  Int64 Seek(Int64 Offset, TSeekOrigin Origin) override { return FTar.Seek(Offset, Origin); }
  Int64 GetSize() override { return FTar.GetSize(); }
  void SetSize(Int64 NewSize) override;
  int LastOSError() const override { return FTar.LastOSError(); }

  // The scratch gzip file's handle (-1 when it could not be made).
  int Handle() const { return FGz.Handle(); }
  // Ends the member with MTime in its header: deflates what is left (all
  // of the tar again when the tar was rewritten) and writes the trailer.
  // 0 or the code of the failure.
  int Finish(UInt32 MTime);
  // Renames the finished member over the ".gz"; raises EWriteError.
  void Commit() { FGz.Commit(); }

  UInt32 Crc() const { return FCrc; }
  Int64 TotalIn() const { return FTotal; }

 private:
  void Start();
  void Hand(const void* Buffer, Int64 Count);
  int Deflate(const void* Buffer, Int64 Count);

  TStream32& FTar;
  TTempFileStream FGz;
  std::string FMemberName;
  TDeflateType FType;
  const bool* FCancel;
  unsigned FThreads;
  // One thread: one deflate stream on the writer's thread; else blocks on
  // the workers.
  std::unique_ptr<TCompressStream> FSerial;
  std::unique_ptr<TWorkerPool> FPool;
  std::unique_ptr<TBlockDeflateSink> FSink;
  Int64 FHanded = 0;    // tar bytes handed to the workers, from its start
  bool FRewritten = false;
  int FError = 0;       // the first failure of the gzip side
  UInt32 FCrc = 0;
  Int64 FTotal = 0;
};

// Inflates the gzip file Name (all its members) into a scratch file in
// Folder that has no name (it goes when the stream is freed). Null with
// Error set to the code of the failure (25443 after a cancel).
std::unique_ptr<TFileStream32> GunzipToScratch(const std::string& Name, const std::string& Folder,
                                               const bool* Cancel, int& Error);

}  // namespace vsk
