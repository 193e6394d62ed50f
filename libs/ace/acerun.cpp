#include "libs/ace/acerun.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "base/checksum.h"
#include "base/dates.h"
#include "base/records/aceheader.h"
#include "base/stagedfile.h"
#include "libs/ace/acelz77.h"
#include "base/codepage.h"
#include "base/records/elf.h"

namespace vsk {

namespace {

constexpr std::size_t kVolumeNameSize = 4096;
constexpr UInt16 kFlagAddSize = 0x0001;

class TFd {
 public:
  TFd() = default;
  explicit TFd(int Fd) : Fd_(Fd) {}
  TFd(TFd&& o) noexcept : Fd_(std::exchange(o.Fd_, -1)) {}
  TFd& operator=(TFd&& o) noexcept {
    if (this != &o) {
      Close();
      Fd_ = std::exchange(o.Fd_, -1);
    }
    return *this;
  }
  ~TFd() { Close(); }
  int Get() const { return Fd_; }
  bool Valid() const { return Fd_ >= 0; }
  void Close() {
    if (Fd_ >= 0) ::close(Fd_);
    Fd_ = -1;
  }

 private:
  int Fd_ = -1;
};

// Reads Count bytes at Pos; the number read (short at the end of the file).
std::size_t ReadAt(int Fd, UInt64 Pos, Byte* Buffer, std::size_t Count) {
  std::size_t done = 0;
  while (done < Count) {
    const ssize_t n = ::pread(Fd, Buffer + done, Count - done, static_cast<off_t>(Pos + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

struct TVolume {
  TFd Fd;
  std::string Name;
  UInt64 Size = 0;
  TAceMainHeader Main;
  UInt64 MainStart = 0;
  UInt64 FirstHeader() const { return MainStart + static_cast<UInt64>(Main.Size()); }
};

enum class THeader { Ok, End, Broken };

// Where an ELF program in front of the archive ends (0 when the file is no
// ELF program): the search starts there, however long the program is.
UInt64 ProgramEnd(const TVolume& V) {
  Byte mark[4];
  if (ReadAt(V.Fd.Get(), 0, mark, sizeof mark) != sizeof mark || !IsElfImage(mark, sizeof mark)) return 0;
  const UInt64 end = ElfImageSize(
      [&V](UInt64 Offset, void* Out, std::size_t Count) {
        return ReadAt(V.Fd.Get(), Offset, static_cast<Byte*>(Out), Count) == Count;
      },
      V.Size);
  return end < V.Size ? end : 0;
}

// The main header at or after the start of the file (a self-extractor's
// program may come first), with its CRC checked.
bool FindMain(TVolume& V, UInt32 MaxTestBytes) {
  const UInt64 from = ProgramEnd(V);
  const std::size_t window =
      static_cast<std::size_t>(std::min<UInt64>(V.Size - from, UInt64{MaxTestBytes} + kAceMainFixedSize));
  std::vector<Byte> head(window);
  const std::size_t got = ReadAt(V.Fd.Get(), from, head.data(), window);
  for (std::size_t at = 0; at + kAceMainFixedSize <= got; ++at) {
    if (head[at + 7] != '*' || std::memcmp(head.data() + at + 7, kAceMark, kAceMarkSize) != 0) continue;
    TAceMainHeader m;
    if (!m.Parse(head.data() + at, got - at)) continue;
    std::vector<Byte> counted(m.HeadSize);
    if (ReadAt(V.Fd.Get(), from + at + kAceHeadPrefix, counted.data(), counted.size()) != counted.size()) continue;
    if (AceHeaderCrc(counted.data(), counted.size()) != m.HeadCrc) continue;
    V.Main = m;
    V.MainStart = from + at;
    return true;
  }
  return false;
}

void FillArchiveData(const TVolume& V, const char* Name, AceArchiveData& Data) {
  Data.ArchiveName = Name;
  Data.Flags = V.Main.Flags;
  Data.VersionCreated = V.Main.VersionCreated;
  Data.VersionExtract = V.Main.VersionExtract;
  Data.Host = V.Main.HostCreated;
  Data.VolumeNumber = V.Main.VolumeNumber;
  Data.TimeCreated = V.Main.CreationTime;
}

bool OpenVolume(TVolume& V, const std::string& Name) {
  V.Fd = TFd(::open(Name.c_str(), O_RDONLY | O_CLOEXEC));
  V.Name = Name;
  struct stat st;
  if (!V.Fd.Valid() || fstat(V.Fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    V.Fd.Close();
    return false;
  }
  V.Size = static_cast<UInt64>(st.st_size);
  return true;
}

// The header at Pos with its CRC checked. Fewer than a header's first
// bytes left is the end of the volume.
THeader ReadHeader(const TVolume& V, UInt64 Pos, std::vector<Byte>& Header) {
  Byte prefix[kAceHeadPrefix];
  if (Pos >= V.Size || V.Size - Pos < kAceHeadPrefix) return THeader::End;
  if (ReadAt(V.Fd.Get(), Pos, prefix, sizeof prefix) != sizeof prefix) return THeader::Broken;
  const UInt16 size = static_cast<UInt16>(prefix[2] | prefix[3] << 8);
  Header.resize(kAceHeadPrefix + size);
  std::memcpy(Header.data(), prefix, kAceHeadPrefix);
  if (size == 0 || ReadAt(V.Fd.Get(), Pos + kAceHeadPrefix, Header.data() + kAceHeadPrefix, size) != size)
    return THeader::Broken;
  const UInt16 crc = static_cast<UInt16>(prefix[0] | prefix[1] << 8);
  return AceHeaderCrc(Header.data() + kAceHeadPrefix, size) == crc ? THeader::Ok : THeader::Broken;
}

// The name below the destination folder: relative, no "..", no NUL, no
// drive; "." and empty components dropped. Empty when refused.
std::string GuardedName(const std::string& Name, bool ExcludePath) {
  if (Name.empty() || Name[0] == '/' || Name.find('\0') != std::string::npos) return {};
  if (Name.size() >= 2 && Name[1] == ':') return {};
  std::string out;
  std::size_t start = 0;
  while (start <= Name.size()) {
    std::size_t end = Name.find('/', start);
    if (end == std::string::npos) end = Name.size();
    const std::string_view part(Name.data() + start, end - start);
    if (part == "..") return {};
    if (!part.empty() && part != ".") {
      if (ExcludePath) out.clear();
      if (!out.empty()) out += '/';
      out += part;
    }
    start = end + 1;
  }
  return out;
}

std::vector<std::string> Components(const std::string& Name) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start < Name.size()) {
    std::size_t end = Name.find('/', start);
    if (end == std::string::npos) end = Name.size();
    parts.emplace_back(Name, start, end - start);
    start = end + 1;
  }
  return parts;
}

// Enters (creating them) the folders of Parts below Root, refusing any
// symbolic link on the way; the last folder's descriptor or an invalid one.
TFd EnterFolders(int Root, const std::vector<std::string>& Parts, std::size_t Count) {
  TFd dir(::fcntl(Root, F_DUPFD_CLOEXEC, 0));
  for (std::size_t i = 0; i < Count && dir.Valid(); ++i) {
    if (mkdirat(dir.Get(), Parts[i].c_str(), 0777) != 0 && errno != EEXIST) return TFd();
    dir = TFd(openat(dir.Get(), Parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  return dir;
}

// The next volume's name as the format numbers them: "x.ace", "x.c00",
// "x.c01", ..., "x.c99", then "x.100" on.
std::string ProposedVolumeName(const std::string& Current, int Number) {
  const std::size_t slash = Current.rfind('/');
  const std::size_t dot = Current.rfind('.');
  const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string stem = hasExt ? Current.substr(0, dot) : Current;
  const bool upper = hasExt && dot + 1 < Current.size() && Current[dot + 1] >= 'A' && Current[dot + 1] <= 'Z';
  const int n = Number - 1;
  std::string ext = ".";
  if (n >= 100) return stem + "." + std::to_string(n);
  ext += upper ? 'C' : 'c';
  ext += static_cast<char>('0' + n / 10);
  ext += static_cast<char>('0' + n % 10);
  return stem + ext;
}

bool Supported(const TAceFileHeader& H) {
  if (H.CompressionType == ACE_METHOD_STORED) return true;
  return H.CompressionType == ACE_METHOD_LZ77 && (H.Parameter & 15) + kAceMinDictionaryBits <= kAceMaxDictionaryBits;
}

class TAceRun {
 public:
  TAceRun(AceGlobalData& Global, const TAceRunOptions& Options) : G_(Global), O_(Options) {}

  int Run(const char* ArchiveName);

 private:
  // The packed bytes of one file, from part to part over the volumes.
  struct TInput {
    UInt64 Pos = 0;
    UInt64 Left = 0;
    bool SplitAfter = false;
    std::string StoredName;
    bool Failed = false;
  };

  int Call(AceCallbackProc Proc, AceCallbackRecord& R) { return Proc ? Proc(&R) : ACE_CALLBACK_OK; }
  AceCallbackHead Head(int Type, UInt32 Code) { return {Type, Code, O_.Operation, &G_}; }
  int State(AceCallbackRecord& R) { return Call(G_.StateCallback, R); }
  int StateArchive();
  int FileState(UInt32 Code);
  // Reports an error about the current file (or archive, or output);
  // false when the caller cancels.
  bool ErrorFile(UInt32 Code);
  bool ErrorArchive(UInt32 Code);
  bool ErrorRealFile(UInt32 Code, const std::string& Path);
  void Note(int Result) {
    if (Result_ == ACE_OK) Result_ = Result;
  }
  int Cancel() {
    Cancelled_ = true;
    return ACE_ERROR_USER;
  }

  bool SetMain(TVolume& V);
  // Reads the file header at Pos_ into File_; false ends the walk.
  bool NextFile(bool& IsFile, UInt64& DataPos);
  int ProcessFile(UInt64 DataPos);
  // Opens the next volume and its continuation of the current file.
  bool NextPart();
  std::size_t ReadPacked(Byte* Buffer, std::size_t Count);
  // Walks over the rest of the current file's parts.
  bool SkipRest();
  // Decodes the current file; Sink gets the bytes. Returns Done, Damaged
  // or Stopped (a sink refused, or the caller cancelled).
  TAceDecodeResult Decode(const TAceLz77Decoder::TSink& Sink);
  int AskPassword();
  // Passes over the current file without output; a solid archive's later
  // files need its bytes in the dictionary all the same.
  int Pass();
  // An encrypted file (after the password request) or one of a method not
  // decoded here: reports it, passes over it and sets Result.
  bool Undecodable(int& Result);
  bool Progress(const Byte* Data, std::size_t Count, UInt64 Done);
  int Test();
  int Extract();
  bool ReportCrc(bool Ok);

  AceGlobalData& G_;
  const TAceRunOptions& O_;
  TVolume Vol_;
  AceArchiveData Archive_{};
  TAceFileHeader File_;
  AceFileData FileData_{};
  std::string Name_;
  TInput In_;
  UInt64 Pos_ = 0;
  TFd Destination_;
  TAceLz77Decoder Decoder_;
  int Result_ = ACE_OK;
  bool Cancelled_ = false;
  bool Stop_ = false;
};

bool TAceRun::SetMain(TVolume& V) {
  FillArchiveData(V, V.Name.c_str(), Archive_);
  return StateArchive() != ACE_CALLBACK_CANCEL;
}

int TAceRun::StateArchive() {
  AceCallbackRecord r{};
  r.Archive = {Head(ACE_TYPE_ARCHIVE, ACE_STATE_START_ARCHIVE), &Archive_};
  return State(r);
}

int TAceRun::FileState(UInt32 Code) {
  AceCallbackRecord r{};
  r.ArchivedFile = {Head(ACE_TYPE_ARCHIVEDFILE, Code), &Archive_, &FileData_};
  return State(r);
}

bool TAceRun::ErrorFile(UInt32 Code) {
  AceCallbackRecord r{};
  r.ArchivedFile = {Head(ACE_TYPE_ARCHIVEDFILE, Code), &Archive_, &FileData_};
  return Call(G_.ErrorCallback, r) != ACE_CALLBACK_CANCEL;
}

bool TAceRun::ErrorArchive(UInt32 Code) {
  AceCallbackRecord r{};
  r.Archive = {Head(ACE_TYPE_ARCHIVE, Code), &Archive_};
  return Call(G_.ErrorCallback, r) != ACE_CALLBACK_CANCEL;
}

bool TAceRun::ErrorRealFile(UInt32 Code, const std::string& Path) {
  AceCallbackRecord r{};
  r.RealFile = {Head(ACE_TYPE_REALFILE, Code), &Archive_, Path.c_str()};
  return Call(G_.ErrorCallback, r) != ACE_CALLBACK_CANCEL;
}

bool TAceRun::NextFile(bool& IsFile, UInt64& DataPos) {
  std::vector<Byte> h;
  IsFile = false;
  switch (ReadHeader(Vol_, Pos_, h)) {
    case THeader::End:
      return false;
    case THeader::Broken:
      Note(ACE_ERROR_BROKEN);
      if (!ErrorArchive(ACE_ERROR_CB_BROKEN)) Cancel();
      return false;
    case THeader::Ok:
      break;
  }
  DataPos = Pos_ + h.size();
  if (h[4] != kAceTypeFile) {
    // Other headers (recovery records) carry their data size after the flags.
    UInt64 add = 0;
    const UInt16 flags = static_cast<UInt16>(h[5] | h[6] << 8);
    if ((flags & kFlagAddSize) && h.size() >= 11) add = h[7] | h[8] << 8 | h[9] << 16 | UInt64{h[10]} << 24;
    Pos_ = DataPos + add;
    return true;
  }
  if (!File_.ParseFixed(h.data(), h.size())) {
    Note(ACE_ERROR_BROKEN);
    if (!ErrorArchive(ACE_ERROR_CB_BROKEN)) Cancel();
    return false;
  }
  File_.SetName(h.data() + kAceFileFixedSize, h.size() - kAceFileFixedSize);
  IsFile = true;
  return true;
}

int TAceRun::Run(const char* ArchiveName) {
  Archive_.ArchiveName = ArchiveName;
  if (!OpenVolume(Vol_, ArchiveName)) {
    if (!ErrorArchive(ACE_ERROR_CB_OPEN)) return ACE_ERROR_USER;
    return ACE_ERROR_NOT_FOUND;
  }
  if (!FindMain(Vol_, G_.MaxArchiveTestBytes)) {
    if (!ErrorArchive(ACE_ERROR_CB_BROKEN)) return ACE_ERROR_USER;
    return ACE_ERROR_BROKEN;
  }
  // Comments are compressed with a scheme of their own, not decoded here.
  G_.Comment.State = (Vol_.Main.Flags & kAceFlagComment) ? 2 : 0;
  if (O_.Operation == ACE_OPERATION_EXTRACT) {
    Destination_ = TFd(::open(O_.Destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!Destination_.Valid()) {
      if (!ErrorRealFile(ACE_ERROR_CB_OPEN, O_.Destination)) return ACE_ERROR_USER;
      return ACE_ERROR_OPEN;
    }
  }
  if (!SetMain(Vol_)) return ACE_ERROR_USER;
  Pos_ = Vol_.FirstHeader();
  while (!Cancelled_ && !Stop_) {
    bool isFile = false;
    UInt64 dataPos = 0;
    if (!NextFile(isFile, dataPos)) break;
    if (!isFile) continue;
    const int r = ProcessFile(dataPos);
    if (r == ACE_ERROR_USER) Cancel();
    if (r != ACE_OK) Note(r);
  }
  return Cancelled_ ? ACE_ERROR_USER : Result_;
}

std::size_t TAceRun::ReadPacked(Byte* Buffer, std::size_t Count) {
  while (In_.Left == 0) {
    if (!In_.SplitAfter || In_.Failed || !NextPart()) return 0;
  }
  const std::size_t want = static_cast<std::size_t>(std::min<UInt64>(Count, In_.Left));
  const std::size_t got = ReadAt(Vol_.Fd.Get(), In_.Pos, Buffer, want);
  if (got == 0) {
    In_.Failed = true;
    In_.Left = 0;
    In_.SplitAfter = false;
    return 0;
  }
  In_.Pos += got;
  In_.Left -= got;
  return got;
}

bool TAceRun::NextPart() {
  const int wanted = Archive_.VolumeNumber + 1;
  std::vector<char> name(kVolumeNameSize, '\0');
  const std::string proposal = ProposedVolumeName(Vol_.Name, wanted);
  std::memcpy(name.data(), proposal.data(), std::min(proposal.size(), name.size() - 1));
  AceCallbackRecord r{};
  r.Volume = {Head(ACE_TYPE_ARCHIVE, ACE_REQUEST_CHANGE_VOLUME), &Archive_, wanted, name.data(),
              static_cast<UInt32>(name.size())};
  const int answer = Call(G_.RequestCallback, r);
  In_.Failed = true;
  Stop_ = true;
  if (answer == ACE_CALLBACK_CANCEL) {
    Cancel();
    return false;
  }
  if (answer != ACE_CALLBACK_OK) {
    Note(ACE_ERROR_NOT_FOUND);
    return false;
  }
  name.back() = '\0';
  TVolume next;
  if (!OpenVolume(next, name.data())) {
    Note(ACE_ERROR_NOT_FOUND);
    Archive_.ArchiveName = next.Name.c_str();
    if (!ErrorArchive(ACE_ERROR_CB_OPEN)) Cancel();
    Archive_.ArchiveName = Vol_.Name.c_str();
    return false;
  }
  Vol_ = std::move(next);
  Archive_.ArchiveName = Vol_.Name.c_str();
  if (!FindMain(Vol_, 0)) {
    Note(ACE_ERROR_BROKEN);
    if (!ErrorArchive(ACE_ERROR_CB_BROKEN)) Cancel();
    return false;
  }
  if (!SetMain(Vol_)) {
    Cancel();
    return false;
  }
  Pos_ = Vol_.FirstHeader();
  bool isFile = false;
  UInt64 dataPos = 0;
  const std::string stored = File_.Name;
  if (!NextFile(isFile, dataPos)) return false;
  if (!isFile || !(File_.Flags & kAceFlagSplitBefore) || File_.Name != stored) {
    Note(ACE_ERROR_BROKEN);
    if (!ErrorArchive(ACE_ERROR_CB_VOLUME)) Cancel();
    return false;
  }
  FileData_.Flags = File_.Flags;
  FileData_.PackedSize = File_.PackedSize;
  In_.Pos = dataPos;
  In_.Left = File_.PackedSize;
  In_.SplitAfter = (File_.Flags & kAceFlagSplitAfter) != 0;
  In_.Failed = false;
  Stop_ = false;
  Pos_ = dataPos + File_.PackedSize;
  return true;
}

bool TAceRun::SkipRest() {
  In_.Left = 0;
  while (In_.SplitAfter && !In_.Failed) {
    if (!NextPart()) return false;
    In_.Left = 0;
  }
  return !In_.Failed;
}

TAceDecodeResult TAceRun::Decode(const TAceLz77Decoder::TSink& Sink) {
  const TAceLz77Decoder::TSource source = [this](Byte* Buffer, std::size_t Count) {
    return ReadPacked(Buffer, Count);
  };
  const bool solid = (Vol_.Main.Flags & kAceFlagSolid) != 0;
  const int bits = (File_.Parameter & 15) + kAceMinDictionaryBits;
  const TAceDecodeResult result = File_.CompressionType == ACE_METHOD_STORED
                                      ? Decoder_.Store(File_.OriginalSize, bits, solid, source, Sink)
                                      : Decoder_.Decode(File_.OriginalSize, bits, solid, source, Sink);
  if (Cancelled_) return TAceDecodeResult::Stopped;
  // Whatever is left of the packed data (and its later parts) is passed.
  if (!SkipRest() && Cancelled_) return TAceDecodeResult::Stopped;
  return result;
}

int TAceRun::AskPassword() {
  AceCallbackRecord r{};
  r.Password = {Head(ACE_TYPE_ARCHIVEDFILE, ACE_REQUEST_PASSWORD), &Archive_, &FileData_, O_.Password.c_str()};
  const int answer = Call(G_.RequestCallback, r);
  if (answer != ACE_CALLBACK_OK) return answer;
  // The cipher is not built: any password fails the way a wrong one does,
  // and nothing of the file is written.
  return ErrorFile(ACE_ERROR_CB_PASSWORD) ? ACE_CALLBACK_SKIP : ACE_CALLBACK_CANCEL;
}

bool TAceRun::ReportCrc(bool Ok) {
  if (!Ok) Note(ACE_ERROR_CRC);
  AceCallbackRecord r{};
  r.CrcCheck = {Head(ACE_TYPE_CRCCHECK, ACE_STATE_CRC_CHECK), &Archive_, &FileData_, Ok ? 1 : 0};
  if (State(r) == ACE_CALLBACK_CANCEL) return false;
  AceCallbackRecord done{};
  done.Global = {Head(ACE_TYPE_GLOBAL, ACE_INFO_FILE_DONE)};
  return Call(G_.InfoCallback, done) != ACE_CALLBACK_CANCEL;
}

int TAceRun::ProcessFile(UInt64 DataPos) {
  In_ = TInput{DataPos, File_.PackedSize, (File_.Flags & kAceFlagSplitAfter) != 0, File_.Name, false};
  Pos_ = DataPos + File_.PackedSize;
  Name_ = DecodeStoredName(File_.Name, false);
  std::replace(Name_.begin(), Name_.end(), '\\', '/');
  FileData_ = AceFileData{Name_.c_str(),    File_.Flags,        File_.Crc32,      File_.CompressionType,
                          File_.Quality,    File_.Parameter,    File_.Attributes, File_.DosDateTime,
                          File_.PackedSize, File_.OriginalSize, Name_.c_str()};
  // A part whose beginning lies in an earlier volume cannot be decoded.
  if (File_.Flags & kAceFlagSplitBefore) return SkipRest() || !Cancelled_ ? ACE_OK : ACE_ERROR_USER;

  if (O_.Operation == ACE_OPERATION_LIST) {
    if (FileState(ACE_STATE_START_FILE) == ACE_CALLBACK_CANCEL) return ACE_ERROR_USER;
    return SkipRest() || !Cancelled_ ? ACE_OK : ACE_ERROR_USER;
  }
  return O_.Operation == ACE_OPERATION_TEST ? Test() : Extract();
}

int TAceRun::Pass() {
  const bool solid = (Vol_.Main.Flags & kAceFlagSolid) != 0;
  if (solid && !(File_.Flags & kAceFlagPassword) && Supported(File_)) {
    if (Decode([](const Byte*, std::size_t) { return true; }) == TAceDecodeResult::Stopped) return ACE_ERROR_USER;
    return ACE_OK;
  }
  return SkipRest() || !Cancelled_ ? ACE_OK : ACE_ERROR_USER;
}

bool TAceRun::Undecodable(int& Result) {
  if (File_.Flags & kAceFlagPassword) {
    Result = AskPassword() == ACE_CALLBACK_CANCEL ? ACE_ERROR_USER : Pass();
    return true;
  }
  if (Supported(File_)) return false;
  Note(ACE_ERROR_PARAMETER);
  Result = ErrorFile(ACE_ERROR_CB_UNSUPPORTED) ? Pass() : ACE_ERROR_USER;
  return true;
}

bool TAceRun::Progress(const Byte* Data, std::size_t Count, UInt64 Done) {
  AceCallbackRecord r{};
  r.Progress = {Head(ACE_TYPE_PROGRESS, ACE_STATE_PROGRESS), &Archive_, &FileData_, Data, static_cast<UInt32>(Count),
                Done};
  return State(r) != ACE_CALLBACK_CANCEL;
}

int TAceRun::Test() {
  const bool folder = File_.IsDirectory();

  const int begin = FileState(ACE_STATE_START_FILE);
  if (begin == ACE_CALLBACK_CANCEL) return ACE_ERROR_USER;
  if (begin != ACE_CALLBACK_OK) return Pass();
  if (folder) return ReportCrc(true) ? ACE_OK : ACE_ERROR_USER;
  if (int refused; Undecodable(refused)) return refused;
  UInt32 crc = 0xFFFFFFFFu;
  UInt64 done = 0;
  const auto result = Decode([&](const Byte* Data, std::size_t Count) {
    UpdateCrc32(Data, Count, crc);
    done += Count;
    return Progress(Data, Count, done);
  });
  if (result == TAceDecodeResult::Stopped) return ACE_ERROR_USER;
  return ReportCrc(result == TAceDecodeResult::Done && crc == File_.Crc32) ? ACE_OK : ACE_ERROR_USER;
}

int TAceRun::Extract() {
  const bool folder = File_.IsDirectory();

  // Only a name that stays below the destination is reported and written.
  std::string out = GuardedName(Name_, O_.ExcludePath);
  if (folder && O_.ExcludePath) return Pass();
  if (out.empty()) {
    Note(ACE_ERROR_PARAMETER);
    if (!ErrorFile(ACE_ERROR_CB_NAME)) return ACE_ERROR_USER;
    return Pass();
  }
  FileData_.Name = out.c_str();
  const int begin = FileState(ACE_STATE_START_FILE);
  if (begin == ACE_CALLBACK_CANCEL) return ACE_ERROR_USER;
  if (begin != ACE_CALLBACK_OK) return Pass();

  const std::vector<std::string> parts = Components(out);
  const std::string path = O_.Destination + "/" + out;
  if (folder) {
    if (!EnterFolders(Destination_.Get(), parts, parts.size()).Valid()) {
      Note(ACE_ERROR_OPEN);
      if (!ErrorRealFile(ACE_ERROR_CB_OPEN, path)) return ACE_ERROR_USER;
      return Pass();
    }
    return ReportCrc(true) ? ACE_OK : ACE_ERROR_USER;
  }
  if (int refused; Undecodable(refused)) return refused;

  TFd dir = EnterFolders(Destination_.Get(), parts, parts.size() - 1);
  if (!dir.Valid()) {
    Note(ACE_ERROR_OPEN);
    if (!ErrorRealFile(ACE_ERROR_CB_OPEN, path)) return ACE_ERROR_USER;
    return Pass();
  }
  const char* leaf = parts.back().c_str();
  struct stat st;
  const bool exists = fstatat(dir.Get(), leaf, &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (exists) {
    AceCallbackRecord r{};
    r.ArchivedFile = {Head(ACE_TYPE_ARCHIVEDFILE, ACE_REQUEST_FILE_EXISTS), &Archive_, &FileData_};
    const int answer = Call(G_.RequestCallback, r);
    if (answer == ACE_CALLBACK_CANCEL) return ACE_ERROR_USER;
    if (answer != ACE_CALLBACK_OK) return Pass();
  }
  // The file is written beside the name and takes it only when complete:
  // what stands there (a hard link to a file elsewhere too) is never
  // opened, and stays as it was when the file fails or is cancelled. Only
  // a plain file is replaced.
  TStagedFile staged(dir.Get(), leaf);
  if ((exists && !S_ISREG(st.st_mode)) || !staged.Open()) {
    Note(ACE_ERROR_OPEN);
    if (!ErrorRealFile(ACE_ERROR_CB_OPEN, path)) return ACE_ERROR_USER;
    return Pass();
  }

  UInt32 crc = 0xFFFFFFFFu;
  UInt64 done = 0;
  bool writeFailed = false;
  const auto result = Decode([&](const Byte* Data, std::size_t Count) {
    UpdateCrc32(Data, Count, crc);
    done += Count;
    for (std::size_t at = 0; at < Count && !writeFailed;) {
      const ssize_t n = ::write(staged.Handle(), Data + at, Count - at);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) writeFailed = true;
      else at += static_cast<std::size_t>(n);
    }
    if (writeFailed) return false;
    return Progress(Data, Count, done);
  });
  if (result == TAceDecodeResult::Stopped && !writeFailed) {
    // A cancelled file leaves nothing.
    staged.Discard();
    return ACE_ERROR_USER;
  }
  const Int64 when = DateTimeToUnix(DosDateTimeToDateTime(File_.DosDateTime));
  const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(when), 0}};
  if (!writeFailed) futimens(staged.Handle(), times);
  // A sound file replaces what stands at the name; a damaged one takes
  // only a free name, for what can be saved of it.
  const bool sound = result == TAceDecodeResult::Done && crc == File_.Crc32;
  if (!writeFailed && !staged.Place(sound) && (sound || errno != EEXIST)) writeFailed = true;
  if (writeFailed) {
    staged.Discard();
    Note(ACE_ERROR_WRITE);
    if (!ErrorRealFile(ACE_ERROR_CB_WRITE, path)) return ACE_ERROR_USER;
    return ReportCrc(false) ? ACE_OK : ACE_ERROR_USER;
  }
  return ReportCrc(sound) ? ACE_OK : ACE_ERROR_USER;
}

}  // namespace

int AceReadArchiveData(const char* ArchiveName, UInt32 MaxTestBytes, AceArchiveData& Data) {
  TVolume v;
  if (ArchiveName == nullptr || !OpenVolume(v, ArchiveName)) return ACE_ERROR_NOT_FOUND;
  if (!FindMain(v, MaxTestBytes)) return ACE_ERROR_BROKEN;
  FillArchiveData(v, ArchiveName, Data);
  return ACE_OK;
}

int AceRun(AceGlobalData& Global, const char* ArchiveName, const TAceRunOptions& Options) {
  if (ArchiveName == nullptr) return ACE_ERROR_PARAMETER;
  TAceRun run(Global, Options);
  return run.Run(ArchiveName);
}

}  // namespace vsk
