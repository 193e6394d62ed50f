#include "archive/formats/gzip/gzipwriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <vector>

#include "base/paths.h"
#include "base/dates.h"
#include "archive/core/diskmanager.h"
#include "archive/core/movesource.h"
#include "archive/core/numbers.h"
#include "base/pump.h"
#include "base/tempstream.h"
#include "archive/core/workers.h"
#include "archive/codecs/blockdeflate.h"
#include "archive/core/paths.h"

namespace vsk {

namespace {

constexpr Int32 kChunk = 1 << 20;
constexpr Byte kGzipFlagName = 0x08;

std::string ReplaceExtension(const std::string& path, const std::string& ext) { return WithoutExtension(path) + ext; }

bool SameFolder(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return stat(a.empty() ? "." : a.c_str(), &sa) == 0 && stat(b.empty() ? "." : b.c_str(), &sb) == 0 &&
         sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

TGZip::TGZip() {
  FOwnExt = FDefaultExt = ".gz";
  FArcType = atGZip;
  FSupportedMethods = {cmDeflate};
  FCompressMethod = cmDeflate;
  ConfirmOverwrites = true;
  DeleteOptions = doAllowUndo;
}

void TGZip::SetArchiveFile(const std::string& Value) {
  *CancelRef() = false;
  ArcSize = 0;
  if (Value.empty()) {
    FArchiveFile.clear();
    return;
  }
  std::string name = ForwardSlashes(Value);
  if (WithoutExtension(name).size() == name.size()) name += FDefaultExt;
  FArchiveFile = name;
}

void ReportGzipMember(TCompBase& Writer, const std::string& Gz, Int64 UnixTime, Int64 Unpacked, UInt32 Crc) {
  if (!Writer.OnRead) return;
  struct stat made;
  Writer.FileName = PathFilePart(Gz);
  Writer.FileDate = UnixTimeToDateTime(UnixTime);
  Writer.PackedSize = stat(Gz.c_str(), &made) == 0 ? made.st_size : 0;
  Writer.UnpackedSize = Unpacked;
  Writer.CRC = Crc;
  Writer.Encrypted = false;
  Writer.MethodNumber = 8;
  Writer.MethodText = GZipMethodText(8);
  Writer.ExternalAttr = faArchive;
  Writer.Ratio = static_cast<Byte>(CompressRatio(Writer.PackedSize, Writer.UnpackedSize));
  Writer.Fire(Writer.OnRead, Int64{0}, 1);
}

std::string GZipMethodText(int Method) {
  if (Method == 0) return "Stored";
  if (Method == 8) return std::string(DeflateLevelName(0));
  return "Unknown";
}

std::string TGZip::OutputFolder() const {
  if (!DefaultDir.empty()) return AppendSlash(ForwardSlashes(DefaultDir));
  const std::string folder = PathFolderPart(ArchiveFile());
  if (!folder.empty()) return folder;
  std::error_code ec;
  return AppendSlash(std::filesystem::current_path(ec).string());
}

std::string TGZip::OutputName(const std::string& Folder, const std::string& Input) const {
  std::string out = Folder + PathFilePart(Input);
  switch (Extension) {
    case exNone:
      // Beside its input the output would be the input itself.
      if (SameFolder(Folder, PathFolderPart(Input))) out = ReplaceExtension(out, FDefaultExt);
      break;
    case exAppendGZ:
      out = ReplaceExtension(out, FDefaultExt);
      break;
    case exUnderScore:
      if (!PathFilePart(out).empty()) out.back() = '_';
      break;
  }
  return out;
}

Int64 TGZip::MemberTime(Int64 FileTime) const {
  Int64 t = FileTime;
  if (DateAttribute == daSysDate)
    t = static_cast<Int64>(std::time(nullptr));
  else if (DateAttribute == daMaxFileDate)
    t = DateTimeToUnix(DosDateTimeToDateTime(static_cast<UInt32>(MaxFileDate)));
  // MTIME holds 32 bits; 0 stands for "no time".
  return t < 0 || t > 0xFFFFFFFFll ? 0 : t;
}

int TGZip::Compress() {
  InputMode = kIoHandle;
  FWritten = 0;
  FMadeNames.clear();
  FMadeFiles.clear();
  FilesProcessed = 0;
  if ((ArchiveFile().empty() && DefaultDir.empty()) || FileSpec.empty()) return 0;
  if (Switch == swDelete) {
    ReportError(ArchiveFile(), msg::UnsupportedArcType);
    return 0;
  }
  if (Switch == swRead) return 0;
  *CancelRef() = false;
  const bool confirm = ConfirmOverwrites;
  TRunScope run(*this);
  try {
    if (DiskManager->PrepareDrive(OutputFolder(), 0, true)) {
      run.Activate();
      RunJob();
    }
  } catch (const ECancelUnwind&) {
  } catch (...) {
  }
  ConfirmOverwrites = confirm;
  run.End();
  return FWritten;
}

void TGZip::RunJob() {
  TvskFileScan scan;
  scan.SetFileSpec(FileSpec);
  // A name without a folder is looked for in the default folder, or the
  // current one, and below it; never from the root of the file system.
  scan.SetRootDir(DefaultDir);
  scan.Attributes = Attributes;
  scan.AttributesEx = AttributesEx;
  scan.RecurseDirs = RecurseDirs;
  scan.IncludeHiddenDirs = IncludeHiddenDirs;
  scan.OnScanFile = [this](TvskFileScan& s, const std::string& name, int count, double size) {
    if (GetCancel()) s.Cancel();
    Fire(OnFileScanStatus, name, count, size);
  };
  scan.OnRecurseDir = [this](TvskFileScan& s, const std::string& dir) {
    if (GetCancel()) s.Cancel();
    Fire(OnRecurseDir, dir);
  };
  scan.Scan();
  if (GetCancel()) return;
  ProgressArchiveTotal = ProgressBytesLeft = scan.FilesSize();
  const TFilesList& list = scan.FilesList();
  MaxFileDate = 0;
  for (int i = 0; i < list.Count(); ++i)
    if (list[i].Time > static_cast<UInt32>(MaxFileDate)) MaxFileDate = static_cast<Int32>(list[i].Time);

  const std::string folder = OutputFolder();
  for (int i = 0; i < list.Count(); ++i) {
    ProcessMessages();
    if (GetCancel()) return;
    const TFileObject& f = list[i];
    if (S_ISDIR(f.Mode)) continue;
    FilesProcessed = i + 1;
    const std::string input = f.FileName;
    const std::string output = OutputName(folder, input);
    CurrentFileName = PathFilePart(input);
    bool take = true;
    Fire(OnBegin, input, i, take);
    if (GetCancel()) return;
    if (!take) continue;

    struct stat st;
    TDecision result;
    if (stat(input.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
      ReportError(input, msg::ErrorOpeningFile);
      result = TDecision::Fail;
    } else {
      result = Decide(input, output, st.st_mtime);
    }
    if (result == TDecision::StopJob || GetCancel()) return;
    bool written = false;
    if (result == TDecision::Write) {
      written = WriteMember(f, output);
      if (GetCancel()) return;
      if (written) ++FWritten;
    }
    Fire(OnEnd, output, written || result == TDecision::Skip);
  }
}

bool TGZip::MadeInThisRun(const std::string& Output) const {
  if (FMadeNames.count(Output)) return true;
  struct stat st;
  return stat(Output.c_str(), &st) == 0 && FMadeFiles.count({st.st_dev, st.st_ino}) != 0;
}

TGZip::TDecision TGZip::Decide(const std::string& Input, const std::string& Output, Int64 InputTime) {
  if (!ConfirmOverwrites) OverwriteMode = omOverwrite;
  // Two inputs of one output name (a.txt and a.doc, or x.txt in two
  // folders): the first one's member stays, the second input is refused
  // and kept.
  if (MadeInThisRun(Output)) {
    ReportError(Input, "its output " + Output + " was made from another file in this run", "0",
                msg::ErrorCreatingFile);
    return TDecision::Fail;
  }
  struct stat ost;
  if (lstat(Output.c_str(), &ost) != 0) return TDecision::Write;

  // An input is never compressed over itself, under whatever name.
  struct stat in, out;
  if (stat(Input.c_str(), &in) == 0 && stat(Output.c_str(), &out) == 0 && in.st_dev == out.st_dev &&
      in.st_ino == out.st_ino) {
    ReportError(Input, Output, "0", msg::SameInputOutput);
    return TDecision::Fail;
  }
  if (ConfirmOverwrites) {
    if (!OnFileExists) {
      ReportError(Output, "OnFileExists", "0", msg::RequiredEventNotAssigned);
      return TDecision::StopJob;
    }
    Fire(OnFileExists, Output, UnixTimeToDateTime(InputTime), OverwriteMode);
    if (GetCancel()) return TDecision::StopJob;
  }
  if (OverwriteMode == omSkip) return TDecision::Skip;

  const Int32 attr = FileDosAttributes(Output);
  if (attr >= 0 && (attr & (faReadOnly | faSysFile | faDirectory)) != 0) {
    bool write = false;
    if (!FireRequired(OnNonWriteableArchive, "OnNonWriteableArchive", Output, write)) return TDecision::StopJob;
    if (!write || GetCancel()) return TDecision::StopJob;
    if (attr & (faDirectory | faSysFile)) {
      ReportError(Output, attr & faDirectory ? 25107 : 25106);
      return TDecision::StopJob;
    }
    // Left as it is: the member replaces it by a rename and keeps its mode.
  }
  return TDecision::Write;
}

bool TGZip::WriteMember(const TFileObject& Found, const std::string& Output) {
  const std::string& Input = Found.FileName;
  // Members have no size limit.
  TSourceFile source;
  if (!OpenSourceFile(Input, source, UINT64_MAX, "")) return false;
  TFileStream32& in = *source.Stream;
  const struct stat& st = source.St;
  struct stat old;
  const bool replacing = lstat(Output.c_str(), &old) == 0;
  TTempFileStream out(fmCreate, Output, TempDir());
  if (out.Handle() < 0) {
    ReportError(Output, msg::ErrorOpeningFile);
    return false;
  }
  const Int64 mtime = MemberTime(st.st_mtime);
  const std::string name = PathFilePart(Input);
  Int64 total = 0;
  UInt32 crc = 0;
  TSourceId read;
  try {
    Byte head[10] = {0x1F, 0x8B, 8, kGzipFlagName, 0, 0, 0, 0, 0, 0};
    PutLE32(head + 4, static_cast<UInt32>(mtime));
    out.WriteBuffer(head, sizeof head);
    out.WriteBuffer(name.c_str(), static_cast<Int64>(name.size()) + 1);

    ProgressEntryTotal = st.st_size;
    const unsigned threads = EffectiveThreadCount(ThreadCount);
    const int rc = threads > 1 && st.st_size > kDeflateBlockSize ? DeflateInBlocks(in, out, threads, total, crc)
                                                                  : DeflateSerially(in, out, total, crc);
    if (GetCancel()) return false;
    if (rc != 0) {
      ReportError(rc == msg::ErrorReadingFile ? Input : Output, rc);
      return false;
    }
    Byte tail[8];
    PutLE32(tail, crc);
    PutLE32(tail + 4, static_cast<UInt32>(total));
    out.WriteBuffer(tail, sizeof tail);
    read = SourceIdAfterRead(in.Handle(), st);

    if (mtime != 0) {
      struct timespec times[2];
      times[0].tv_sec = 0;
      times[0].tv_nsec = UTIME_NOW;
      times[1].tv_sec = static_cast<time_t>(mtime);
      times[1].tv_nsec = 0;
      futimens(out.Handle(), times);
    }
    // The replaced file goes to the trash first when it may be wanted back;
    // the complete member then takes its name.
    if (replacing && S_ISREG(old.st_mode) && DeleteOptions == doAllowUndo) DeleteFileEx(Output, doAllowUndo);
    struct stat made;
    if (fstat(out.Handle(), &made) == 0) FMadeFiles.insert({made.st_dev, made.st_ino});
    FMadeNames.insert(Output);
    out.Commit();
  } catch (const EVskError& e) {
    ReportError(Output, e.Code == msg::DiskFull ? msg::DiskFull : msg::ErrorWritingToFile);
    return false;
  }

  ReportGzipMember(*this, Output, mtime, total, crc);
  if (Switch == swMove) {
    TSourceRemover remover(DeleteOptions);
    const TMoveResult r =
        remover.Remove({Input, Found.DirDev, Found.DirIno, SourceIdOf(Found), read, Found.Linked});
    if (r != TMoveResult::mrDeleted) ReportError(Input, TSourceRemover::Reason(r), "0", msg::ErrorDeletingFiles);
  }
  return true;
}

int TGZip::DeflateSerially(TStream32& In, TStream32& Out, Int64& Total, UInt32& Crc) {
  std::vector<Byte> buffer(static_cast<std::size_t>(kChunk));
  TCompressStream cs(Out, DeflateType, kRawDeflateBits, kCrc32);
  cs.Cancel = CancelRef();
  cs.BytesLeft = &ProgressBytesLeft;
  int rc = cs.Error();
  while (rc == 0) {
    if (GetCancel()) return msg::UserCanceled;
    const Int32 n = In.Read(buffer.data(), kChunk);
    if (n < 0) return msg::ErrorReadingFile;
    if (n == 0) break;
    if (cs.Write(buffer.data(), n) != n) {
      if (GetCancel()) return msg::UserCanceled;
      return cs.Error() ? cs.Error() : msg::DecompressionError;
    }
    Total += n;
    ProgressRoutine(Total);
  }
  if (GetCancel()) return msg::UserCanceled;
  if (rc == 0) rc = cs.Finish();
  Crc = cs.FinalCrc();
  return rc;
}

int TGZip::DeflateInBlocks(TStream32& In, TStream32& Out, unsigned Threads, Int64& Total, UInt32& Crc) {
  TWorkerPool pool(Threads);
  TBlockDeflater blocks(pool, DeflateType);
  blocks.Cancel = CancelRef();
  blocks.OnBlock = [this, &Total](Int64 n) {
    ProgressBytesLeft -= static_cast<double>(n);
    Total += n;
    ProgressRoutine(Total);
  };
  const int rc = blocks.Run(In, Out);
  Crc = blocks.Crc();
  return rc;
}

}  // namespace vsk
