#include "archive/formats/gzip/ungzip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "archive/core/codecstreams.h"
#include "archive/core/pullstream.h"
#include "base/dates.h"
#include "archive/core/diskmanager.h"
#include "archive/core/fileprims.h"
#include "archive/core/selection.h"
#include "archive/formats/gzip/lzwdecode.h"
#include "archive/formats/tar/untar.h"
#include "base/records/ziprecords.h"
#include "base/textcase.h"
#include "base/paths.h"

namespace vsk {

namespace {

constexpr Int32 kOutputBlock = 65536;
// A header is read in one piece: first a small probe, then as much as the
// largest extra field and a name and comment of any reasonable length need.
constexpr Int32 kHeaderProbe = 4096;
constexpr Int32 kHeaderLimit = 14 + 65535 + 2 * 16384;

constexpr int kMultiPartGzip = 25264;
constexpr int kPasswordProtected = 25290;
constexpr int kIncompleteCodeSet = 25139;
constexpr int kCorruptInput = 25140;

// Extra flag of the member header that keeps its data from text translation.
constexpr Byte kGzipXflNoTranslation = 0x02;
constexpr Byte kDeflateMethod = 8;

std::string FileNamePart(const std::string& Path) {
  const auto p = Path.find_last_of("/\\");
  return p == std::string::npos ? Path : Path.substr(p + 1);
}

// Where the extension of the last part of Name begins (its "."), or npos.
std::size_t ExtensionStart(const std::string& Name) {
  const auto dot = Name.rfind('.');
  const auto sep = Name.find_last_of("/\\");
  if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return std::string::npos;
  return dot;
}

// A stored name may separate its folders with "\\" too.
std::string ExtensionOf(const std::string& Name) { return AsciiLowerCase(PathExtension(ForwardSlashes(Name))); }

UInt32 DosOfUnixTime(UInt32 Seconds) {
  TDateTime t = 0;
  if (!TryUnixTimeToDateTime(Seconds, t)) return kDefaultDosDateTime;
  return DateTimeToDosDateTime(t);
}

}  // namespace

std::string GzipOutputName(const std::string& Name, const std::string& ArchiveName, bool Text, bool Fat16) {
  std::string n = Name;
  const std::string ext = ExtensionOf(n);
  if (ext == ".tgz") {
    n.resize(ExtensionStart(n));
    n += ".tar";
  } else if (ext != ".tar") {
    if (!ext.empty() && ext == ExtensionOf(FileNamePart(ArchiveName))) n.resize(ExtensionStart(n));
    if (Text) n += ".txt";
  }
  if (Fat16) {
    const auto e = std::min(ExtensionStart(n), n.size());
    std::replace(n.begin(), n.begin() + static_cast<std::ptrdiff_t>(e), '.', '_');
  }
  return n;
}

std::string GzipMemberName(const TGzipHeader& Header, const std::string& ArchiveName, bool TranslateOem,
                           const std::string& FileSystem) {
  const bool gzip = Header.Kind == TGzipKind::Gzip;
  // An empty stored name would leave nothing to write to: the archive's
  // name stands in for it as for a member that stores none. A ".tgz"
  // archive keeps its extension here so that its output is named ".tar",
  // not after the folder such a tar usually holds.
  std::string name;
  if (gzip && Header.HasName && !Header.Name.empty()) {
    name = OemToAnsiName(Header.Name, TranslateOem);
  } else {
    name = FileNamePart(ArchiveName);
    if (gzip && ExtensionOf(name) != ".tgz" && ExtensionStart(name) != std::string::npos)
      name.resize(ExtensionStart(name));
  }
  return GzipOutputName(name, ArchiveName, gzip && (Header.Flags & kGzipFlagText),
                        SameTextAscii(FileSystem, "FAT16"));
}

TUnGZip::TUnGZip() = default;

TUnGZip::~TUnGZip() = default;

bool TUnGZip::TranslatesText() const { return ArcType() == atGZip || ArcType() == atMsGZ; }

Int32 TUnGZip::ReadAt(Int64 Position, void* Buffer, Int32 Count) {
  if (Position < 0 || ArchiveStream->Seek(Position, soBeginning) != Position) return 0;
  Int32 done = 0;
  while (done < Count) {
    const Int32 n =
        ReadRoutine(-1, ArchiveStream.get(), static_cast<Byte*>(Buffer) + done, Count - done, kCrcNone, false);
    if (n <= 0) break;
    done += n;
  }
  return done;
}

TUnGZip::THeaderRead TUnGZip::ReadHeader(Int64 Position, TGzipHeader& Header) {
  const Int64 left = ArchiveStream->GetSize() - Position;
  if (left <= 0) return THeaderRead::NotGzip;
  std::vector<Byte> head;
  Int32 want = static_cast<Int32>(std::min<Int64>(left, kHeaderProbe));
  for (;;) {
    head.resize(static_cast<std::size_t>(want));
    if (ReadAt(Position, head.data(), want) != want) return THeaderRead::Truncated;
    if (want < 2) return head[0] == 0x1F ? THeaderRead::Truncated : THeaderRead::NotGzip;
    if (GzipKindOf(head[0], head[1]) == TGzipKind::None) return THeaderRead::NotGzip;
    if (Header.Parse(head.data(), head.size())) break;
    const Int32 more = static_cast<Int32>(std::min<Int64>(left, kHeaderLimit));
    if (more <= want) return left <= kHeaderLimit ? THeaderRead::Truncated : THeaderRead::Bad;
    want = more;
  }
  // The header's own CRC, when the 1F 8B form carries one: the low half of
  // the CRC-32 of every header byte before it.
  if (Header.Kind == TGzipKind::Gzip && Header.Magic1 == 0x8B && (Header.Flags & kGzipFlagHeaderCrc)) {
    const auto at = static_cast<std::size_t>(Header.DataOffset) - 2;
    if ((Crc32Of(head.data(), at) & 0xFFFFu) != GetLE16(head.data() + at)) return THeaderRead::Bad;
  }
  return THeaderRead::Ok;
}

bool TUnGZip::ReadEntry(TEntry& Entry) {
  TGzipHeader& h = Entry.Header;
  switch (ReadHeader(0, h)) {
    case THeaderRead::Ok:
      break;
    case THeaderRead::Truncated:
      ReportError(ArchiveFile(), msg::ErrorReadingFile);
      return false;
    default:
      ReportError(ArchiveFile(), msg::BadFileHeader);
      return false;
  }
  const Int64 size = ArchiveStream->GetSize();
  const bool gzip = h.Kind == TGzipKind::Gzip;
  Entry.Name = GzipMemberName(h, ArchiveFile(), TranslateOemChar, DiskManager->FileSystem);

  struct stat st;
  const UInt32 fileDate = stat(ArchiveFile().c_str(), &st) == 0 ? FileTimeToLocalDos(st.st_mtim) : kDefaultDosDateTime;
  Entry.DosDateTime = gzip && h.MTime != 0 ? DosOfUnixTime(h.MTime) : fileDate;

  if (gzip) {
    const Int64 trailerAt = size - static_cast<Int64>(kGzipTrailerSize);
    Entry.Packed = std::max<Int64>(0, trailerAt - h.DataOffset);
    Byte t[kGzipTrailerSize];
    if (trailerAt >= h.DataOffset && ReadAt(trailerAt, t, sizeof t) == static_cast<Int32>(sizeof t)) {
      TGzipTrailer trailer;
      trailer.Parse(t);
      Entry.StoredCrc = trailer.Crc32;
      Entry.Unpacked = GzipUnpackedSize(trailer.ISize, Entry.Packed);
    }
  } else {
    Entry.Packed = Entry.Unpacked = size;
  }
  return true;
}

int TUnGZip::Refusal(const TGzipHeader& Header) const {
  switch (Header.Kind) {
    case TGzipKind::Pack:
    case TGzipKind::Lzh:
      return msg::UnsupportedMethod;
    case TGzipKind::Gzip:
      // In the 1F 8B form the same bit asks for a header CRC, which the
      // header reader checks.
      if (Header.Magic1 == 0x9E && (Header.Flags & kGzipFlagHeaderCrc)) return kMultiPartGzip;
      if (Header.Flags & kGzipFlagEncrypted) return kPasswordProtected;
      if (Header.Method != kDeflateMethod) return msg::UnsupportedMethod;
      return 0;
    default:
      return 0;
  }
}

void TUnGZip::ExtractArchive() {
  FSavedWrite = DecryptWriteRoutine;
  FSavedOnEnd = OnEnd;
  FSavedAction = Action;
  FSavedOverwriteMode = OverwriteMode;
  FFirstBlockSeen = FDoUnTar = FStreamTar = FStreamTested = false;
  FStreamFiles = 0;
  FNextWrite = nullptr;
  FOutHandle = -1;
  DecryptWriteRoutine = [this](int H, void* B, bool D, Int32 N, int K, TStream32* S, bool C) {
    return CheckNestedTar(H, B, D, N, K, S, C);
  };
  struct TRestore {
    TUnGZip& G;
    Byte OutputMode;
    ~TRestore() {
      G.DecryptWriteRoutine = G.FSavedWrite;
      G.OnEnd = G.FSavedOnEnd;
      G.Action = G.FSavedAction;
      G.OutputMode = OutputMode;
      G.FNextWrite = nullptr;
      G.FSavedWrite = nullptr;
      G.FSavedOnEnd = nullptr;
      G.FStreamTar = G.FStreamTested = false;
      G.FOutput.reset();
    }
  } restore{*this, OutputMode};

  // Types read through an outside library leave the archive unopened.
  if (!ArchiveStream) {
    ReportError(ArchiveFile(), msg::UnsupportedArcType);
    return;
  }
  TEntry entry;
  if (GetCancel() || !ReadEntry(entry)) return;
  if (!IsEntrySelected(entry.Name, FileSpec, ExcludeSpec, RecurseDirs)) return;
  if (entry.DosDateTime > NewestEntryDate) NewestEntryDate = entry.DosDateTime;
  PackedTotal += static_cast<double>(entry.Packed);
  UnpackedTotal += static_cast<double>(entry.Unpacked);

  ProgressArchiveTotal = ProgressBytesLeft = UnpackedTotal;
  if (GetCancel()) return;
  ExtractEntry(entry);
}

void TUnGZip::ExtractEntry(const TEntry& Entry) {
  const TGzipHeader& h = Entry.Header;
  TEntryInfo info;
  info.Name = Entry.Name;
  info.UnpackedSize = Entry.Unpacked;
  info.DosDateTime = Entry.DosDateTime;
  // A form that cannot be decoded is refused like an unknown method; the
  // older forms name the archive, having no name of their own.
  if (const int code = Refusal(h)) {
    info.MethodSupported = false;
    info.UnsupportedCode = code;
    if (h.Kind != TGzipKind::Gzip) info.UnsupportedFile = ArchiveFile();
  }
  TReaderEntry entry = StartEntry(info);
  if (!entry) return;

  const bool savedAscii = AsciiTranslation;
  if (h.Kind == TGzipKind::Gzip && (h.ExtraFlags & kGzipXflNoTranslation)) AsciiTranslation = false;
  Crc->Reset();
  int handle = -1;
  if (!entry.Open(handle)) {
    AsciiTranslation = savedAscii;
    SkipEntryData(Entry.Unpacked);
    entry.End(false);
    return;
  }
  FOutHandle = handle;
  ResetTranslation();
  if (!FOutput) FOutput.reset(new Byte[kOutputBlock]);

  bool ok = false;
  UInt32 lastCrc = 0;
  try {
    ok = h.Kind == TGzipKind::Compress ? DecodeCompress() : InflateMembers(Entry, lastCrc);
  } catch (...) {
    // The staged output is the base's: nothing of it stays.
    FOutHandle = -1;
    AsciiTranslation = savedAscii;
    throw;
  }
  const int out = FOutHandle;
  FOutHandle = -1;

  // The output takes the member's time to the second, not only as far as a
  // DOS date-time holds it.
  TDateTime exact = 0;
  const bool exactTime =
      h.Kind == TGzipKind::Gzip && h.MTime != 0 && TryUnixTimeToDateTime(h.MTime, exact);
  const int timeHandle = out >= 0 && DateAttribute == daFileDate && exactTime ? fcntl(out, F_DUPFD_CLOEXEC, 0) : -1;
  entry.Close(out, Entry.DosDateTime, 0x20);
  if (timeHandle >= 0) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(h.MTime);
    times[1].tv_nsec = 0;
    futimens(timeHandle, times);
    ::close(timeHandle);
  }
  AsciiTranslation = savedAscii;
  const std::string written = OutputName;

  bool pass = false;
  if (ok) {
    // Every member's CRC and size were checked as it ended; compressed
    // data keep no check of their own.
    if (h.Kind == TGzipKind::Gzip) Crc->Crc32 = lastCrc ^ 0xFFFFFFFFu;
    pass = entry.End(true);
  } else {
    entry.End(false);
  }
  // The tar's entries were tested as they came; they are what was tested.
  if (FStreamTested) SetFilesProcessed(FStreamFiles);
  if (pass && FDoUnTar && out >= 0) UnpackNestedTar(written);
}

void TUnGZip::WriteOutput(Byte* Buffer, Int32 Count) {
  DecryptWriteRoutine(FOutHandle, Buffer, true, Count, kCrcNone, nullptr, false);
}

// The members of a gzip file, inflated as the output asks for them: one
// after another, each checked against its trailer.
class TUnGZip::TInflater {
 public:
  TInflater(TUnGZip& G, Int64 DataAt) : FG(G), FSize(G.ArchiveStream->GetSize()), FDataAt(DataAt) {}

  // Up to Count bytes of output; 0 at the end of the last member, after a
  // failure (reported) or a cancel.
  Int32 Read(Byte* Buffer, Int32 Count) {
    while (!FDone) {
      if (!FStream && !StartMember()) return Fail();
      if (FG.GetCancel()) return Fail();
      const Int32 n = FStream->Read(Buffer, Count);
      const Int64 at = FDataAt + FStream->TotalIn();
      FG.ProgressBytesLeft = static_cast<double>(FSize - at);
      FG.ProgressRoutine(at);
      if (n > 0) return n;
      if (FG.GetCancel() || !EndMember()) return Fail();
    }
    return 0;
  }
  // Every member decoded and matched its trailer.
  bool Ok() const { return FDone && !FFailed && FAllGood; }
  UInt32 LastCrc() const { return FLastCrc; }

 private:
  Int32 Fail() {
    FDone = FFailed = true;
    return 0;
  }
  bool StartMember() {
    if (FG.ArchiveStream->Seek(FDataAt, soBeginning) != FDataAt) {
      FG.ReportError(FG.OutputName, msg::ErrorReadingFile);
      return false;
    }
    FStream = std::make_unique<TDecompressStream>(*FG.ArchiveStream, kRawDeflateBits, FSize - FDataAt, kCrc32);
    FStream->Cancel = FG.CancelRef();
    return true;
  }
  // The member's end: its trailer, then the next member, padding or the end.
  bool EndMember() {
    if (!FStream->EndOfStream()) {
      int code = msg::DecompressionError;
      if (FStream->Error() == msg::OutOfMemory)
        code = msg::OutOfMemory;
      else if (FStream->InputExhausted())
        code = msg::ErrorReadingFile;  // the file ends inside the data
      FG.ReportError(FG.OutputName, code);
      return false;
    }
    const UInt32 crc = FStream->FinalCrc();
    const Int64 produced = FStream->TotalOut();
    FStream->Finish();
    FStream.reset();
    Int64 pos = FG.ArchiveStream->Position();
    Byte t[kGzipTrailerSize];
    if (FG.ReadAt(pos, t, sizeof t) != static_cast<Int32>(sizeof t)) {
      FG.ReportError(FG.OutputName, msg::ErrorReadingFile);
      return false;
    }
    TGzipTrailer trailer;
    trailer.Parse(t);
    if (trailer.Crc32 != crc || trailer.ISize != static_cast<UInt32>(produced)) FAllGood = false;
    FLastCrc = trailer.Crc32;
    pos += static_cast<Int64>(kGzipTrailerSize);
    if (pos >= FSize) return Finished();
    // Another member, zero padding, or bytes that belong to no member.
    TGzipHeader next;
    const THeaderRead r = FG.ReadHeader(pos, next);
    if (r == THeaderRead::NotGzip || (r == THeaderRead::Ok && next.Kind != TGzipKind::Gzip)) {
      if (!FG.ZerosFrom(pos)) FG.ReportError(FG.ArchiveFile(), msg::BadFileHeader);
      return Finished();
    }
    if (r != THeaderRead::Ok) {
      FG.ReportError(FG.ArchiveFile(), r == THeaderRead::Truncated ? msg::ErrorReadingFile : msg::BadFileHeader);
      return false;
    }
    if (const int code = FG.Refusal(next)) {
      FG.ReportError(FG.OutputName, code);
      return false;
    }
    FDataAt = pos + next.DataOffset;
    return true;
  }
  bool Finished() {
    FDone = true;
    FG.ProgressBytesLeft = 0;
    return true;
  }

  TUnGZip& FG;
  const Int64 FSize;
  Int64 FDataAt;
  std::unique_ptr<TDecompressStream> FStream;
  bool FDone = false, FFailed = false, FAllGood = true;
  UInt32 FLastCrc = 0;
};

bool TUnGZip::InflateMembers(const TEntry& Entry, UInt32& LastCrc) {
  // Progress is counted in archive bytes: the unpacked size of members
  // after the first is not known before they are decoded.
  const Int64 size = ArchiveStream->GetSize();
  ProgressEntryTotal = size;
  ProgressArchiveTotal = ProgressBytesLeft = static_cast<double>(size);
  TInflater in(*this, Entry.Header.DataOffset);
  // Blocks span members, so the first one holds as much as the output has.
  PumpOutput([&in](Byte* Buffer, Int32 Count) { return in.Read(Buffer, Count); });
  LastCrc = in.LastCrc();
  return in.Ok();
}

void TUnGZip::PumpOutput(const std::function<Int32(Byte*, Int32)>& Pull) {
  Byte* out = FOutput.get();
  Int32 fill = 0;
  bool more = true;
  while (more) {
    const Int32 n = Pull(out + fill, kOutputBlock - fill);
    more = n > 0;
    if (more) fill += n;
    if (fill == 0 || (more && fill < kOutputBlock)) continue;
    WriteOutput(out, fill);
    if (FStreamTar) {
      // The first block showed a tar to test: the tar reader reads on from
      // it through the rest of the output; what it leaves is decoded too,
      // for the member's own check.
      TestNestedTar(Pull, out, fill);
      while (Pull(out, kOutputBlock) > 0) {
      }
      return;
    }
    fill = 0;
  }
}

void TUnGZip::TestNestedTar(const std::function<Int32(Byte*, Int32)>& Pull, const Byte* First, Int32 Count) {
  TUnTar tar;
  SetUpInnerTar(tar);
  FStreamFiles = tar.TestStream(ArchiveFile(), std::make_unique<TPullStream>(Pull, First, Count));
  FStreamTested = true;
}

bool TUnGZip::ZerosFrom(Int64 Position) {
  Byte buf[4096];
  while (!GetCancel()) {
    const Int32 n = ReadAt(Position, buf, static_cast<Int32>(sizeof buf));
    if (n <= 0) return true;
    if (!std::all_of(buf, buf + n, [](Byte b) { return b == 0; })) return false;
    Position += n;
  }
  return true;
}

bool TUnGZip::DecodeCompress() {
  const Int64 size = ArchiveStream->GetSize();
  ProgressEntryTotal = size;
  ProgressArchiveTotal = ProgressBytesLeft = static_cast<double>(size);
  if (ArchiveStream->Seek(0, soBeginning) != 0) {
    ReportError(OutputName, msg::ErrorReadingFile);
    return false;
  }
  struct TSource : TLzwSource {
    TUnGZip& G;
    Int64 Size;
    Int64 Done = 0;
    TSource(TUnGZip& g, Int64 size) : G(g), Size(size) {}
    Int32 Read(Byte* Buffer, Int32 Count) override {
      if (G.GetCancel()) return 0;
      const Int32 n = G.ReadRoutine(-1, G.ArchiveStream.get(), Buffer, Count, kCrcNone, false);
      if (n <= 0) return 0;
      Done += n;
      G.ProgressBytesLeft = static_cast<double>(Size - Done);
      G.ProgressRoutine(Done);
      return n;
    }
  } source(*this, size);
  TLzwReader reader(source, CancelRef());
  PumpOutput([&reader](Byte* Buffer, Int32 Count) { return reader.Read(Buffer, Count); });
  switch (reader.Result()) {
    case TLzwResult::Ok:
      return true;
    case TLzwResult::Cancelled:
      return false;
    case TLzwResult::BadCode:
      ReportError(OutputName, kCorruptInput);
      return false;
    case TLzwResult::BadFlags:
      RaiseError(ArchiveFile(), "", "0", kIncompleteCodeSet);
    case TLzwResult::NotCompress:
    case TLzwResult::BadFirstCode:
      break;
  }
  RaiseError(ArchiveFile(), "", "0", kCorruptInput);
}

Int32 TUnGZip::CheckNestedTar(int Handle, void* Buffer, bool IsData, Int32 Count, int CrcKind, TStream32* Stream,
                              bool CryptFlag) {
  if (!FFirstBlockSeen) {
    FFirstBlockSeen = true;
    // A block of exactly one header cannot be a tar with anything in it.
    FDoUnTar = IsData && Count > kTarBlockSize && IsValidTarHeader(static_cast<const Byte*>(Buffer));
    if (FDoUnTar) {
      FDoUnTar = false;
      FireRequired(OnNestedTarFile, "OnNestedTarFile", EntryName, FDoUnTar);
      if (GetCancel()) FDoUnTar = false;
    }
    // A test reads the tar as it is decoded: nothing of it is written.
    FStreamTar = FDoUnTar && Testing();
    if (!Testing())
      FNextWrite = [this](int H, void* B, bool D, Int32 N, int K, TStream32* S, bool C) {
        return DecryptAndWrite(H, B, D, N, K, S, C);
      };
    else
      FNextWrite = FSavedWrite;
    if (FDoUnTar) {
      // The owner hears of the tar's entries instead; and a tar is binary,
      // whatever the text translation says.
      OnEnd = nullptr;
      AsciiTranslation = false;
    }
  }
  return FNextWrite(Handle, Buffer, IsData, Count, CrcKind, Stream, CryptFlag);
}

void TUnGZip::SetUpInnerTar(TUnTar& tar) {
  FArcType = atTar;
  // The inner reader works as this one was asked to: same folder,
  // overwrite rules, events and cancel flag.
  TReaderSettings settings = TReaderSettings::Extraction(*this);
  // The masks chose this member; what it holds goes out whole, and as it
  // is: a tar is binary.
  settings.FileSpec = std::vector<std::string>{"*.*"};
  settings.RecurseDirs = true;
  settings.OverwriteMode = FSavedOverwriteMode;
  settings.AsciiTranslation = false;
  settings.ApplyTo(tar);
  tar.OnProgress = OnProgress;
  tar.OnBegin = OnBegin;
  tar.OnEnd = FSavedOnEnd;
  tar.OnFileExists = OnFileExists;
  tar.OnError = OnError;
  tar.ShareCancel(CancelRef());
  tar.Crc = Crc;
  tar.Crypt = Crypt;
  // Nothing in the tar may replace the archive it came out of.
  tar.ProtectOuterFiles(*this);
}

void TUnGZip::UnpackNestedTar(const std::string& TarFile) {
  struct stat st;
  if (stat(TarFile.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    ReportError(TarFile, msg::ErrorOpeningFile);
    return;
  }
  TUnTar tar;
  try {
    tar.SetArchiveFile(TarFile);
  } catch (...) {
    ReportError(TarFile, msg::ErrorOpeningFile);
    return;
  }
  if (tar.ArcType() != atTar) return;
  SetUpInnerTar(tar);
  const int files = FSavedAction == kActionTest ? tar.TestArchive() : tar.Extract();
  SetFilesProcessed(files);
  if (files > 0) Fire(OnChangeArchive, TarFile, atTar);
}

}  // namespace vsk
