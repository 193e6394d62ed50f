#include "archive/core/zipcommon.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "base/dates.h"
#include "archive/core/diskmanager.h"
#include "archive/core/masks.h"
#include "archive/core/numbers.h"
#include "base/pump.h"
#include "platform/mime.h"
#include "base/textcase.h"

namespace vsk {

namespace {

std::function<bool(const std::string&)>& QuestionHook() {
  static std::function<bool(const std::string&)> hook;
  return hook;
}

bool IsDriveSpec(std::string_view s) {
  return s.size() >= 2 && s[1] == ':' && ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'));
}

bool IsSep(char c) { return c == '/' || c == '\\'; }

std::string ExtractFilePath(const std::string& name) {
  const auto p = name.find_last_of('/');
  return p == std::string::npos ? std::string() : name.substr(0, p + 1);
}

std::string ExtractFileName(const std::string& name) {
  const auto p = name.find_last_of("/\\");
  return p == std::string::npos ? name : name.substr(p + 1);
}

std::string CurrentDir() {
  std::error_code ec;
  auto p = std::filesystem::current_path(ec);
  return ec ? std::string() : p.string();
}

bool FileExists(const std::string& name) {
  struct stat st;
  return stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

bool FindVolumeAnyCase(std::string& name) {
  if (FileExists(name)) return true;
  const std::string dir = ExtractFilePath(name);
  const std::string file = ExtractFileName(name);
  const auto dot = file.rfind('.');
  if (dot == std::string::npos) return false;
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return false;
  bool found = false;
  while (auto* e = readdir(d)) {
    const std::string cand = e->d_name;
    if (cand.size() != file.size() || cand.compare(0, dot, file, 0, dot) != 0) continue;
    if (!SameTextAscii(std::string_view(cand).substr(dot), std::string_view(file).substr(dot))) continue;
    if (FileExists(dir + cand)) {
      name = dir + cand;
      found = true;
      break;
    }
  }
  closedir(d);
  return found;
}

void SetQuestionHook(std::function<bool(const std::string&)> Hook) { QuestionHook() = std::move(Hook); }

bool AskQuestion(const std::string& Text) {
  auto& h = QuestionHook();
  return h ? h(Text) : false;
}

// ---- construction

TZipCommon::TZipCommon() : Crc(&FOwnCrc), Crypt(&FOwnCrypt), DiskManager(std::make_unique<TDiskManager>(*this)) {
  BindRoutines();
}

TZipCommon::~TZipCommon() = default;

void TZipCommon::BindRoutines() {
  ReadRoutine = [this](int h, TStream32* s, void* b, Int32 n, int k, bool d) { return ReadBlock(h, s, b, n, k, d); };
  WriteRoutine = [this](int h, void* b, bool data, Int32 n, int k, TStream32* s, bool c) {
    return EncryptAndWrite(h, b, data, n, k, s, c);
  };
  DecryptWriteRoutine = [this](int h, void* b, bool data, Int32 n, int k, TStream32* s, bool c) {
    return DecryptAndWrite(h, b, data, n, k, s, c);
  };
  ProgressRoutine = [this](Int64 pos) { DoProgress(pos); };
}

// ---- folders

void TZipCommon::SetExtractDir(const std::string& Value) {
  if (!Value.empty()) {
    std::string dir = Value;
    // A relative folder is taken from the current folder, never from the root.
    if (dir[0] != '/') dir = JoinPath(CurrentDir(), dir);
    FExtractDir = AppendSlash(dir);
    return;
  }
  const std::string arc = ArchiveFile();
  FExtractDir = arc.empty() ? std::string() : ExtractFilePath(arc);
}

const std::string& TZipCommon::TempDir() {
  if (FTempDir.empty() || !DirectoryExists(FTempDir)) FTempDir = GetTempPath();
  return FTempDir;
}

void TZipCommon::SetTempDir(const std::string& Value) {
  if (!Value.empty() && !DirectoryExists(Value)) {
    if (AskQuestion(std::string(MessageText(26899)) + "\r\n\r\n" + Value)) ForceDirectories(Value);
  }
  FTempDir = Value;
}

// ---- cancel and errors

void TZipCommon::SetCancel(bool Value) {
  *FCancelRef = Value;
  if (Value) ReportError(ArchiveFile(), CurrentFileName, "0", msg::UserCanceled);
}

void TZipCommon::ReportError(const std::string& FileName, const std::string& ExtendedMsg,
                             const std::string& VolumeID, int ECode) {
  if (GetCancel()) ECode = msg::UserCanceled;
  Fire(OnError, FileName, ExtendedMsg, VolumeID, ECode);
}

// ---- block routines

Int32 TZipCommon::ReadBlock(int Handle, TStream32* Stream, void* Buffer, Int32 Count, int CrcKind, bool Decode) {
  if (Count <= 0) return 0;
  Int32 n = 0;
  switch (InputMode) {
    case kIoHandle: {
      auto* p = static_cast<Byte*>(Buffer);
      while (n < Count) {
        const ssize_t r = ::read(Handle, p + n, static_cast<std::size_t>(Count - n));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        n += static_cast<Int32>(r);
      }
      break;
    }
    case kIoOwnStream:
    case kIoHeldStream:
      n = InputStream ? InputStream->Read(Buffer, Count) : 0;
      break;
    case kIoGivenStream:
      n = Stream ? Stream->Read(Buffer, Count) : 0;
      break;
    default:
      n = 0;
  }
  if (n <= 0) return 0;
  DecodeBlock(Decode, Buffer, n);
  Crc->Update(CrcKind, Buffer, static_cast<std::size_t>(n));
  return n;
}

Int32 TZipCommon::WriteRaw(int Handle, const void* Buffer, Int32 Count, TStream32* Stream) {
  switch (OutputMode) {
    case kIoHandle: {
      auto* p = static_cast<const Byte*>(Buffer);
      Int32 done = 0;
      while (done < Count) {
        const ssize_t r = ::write(Handle, p + done, static_cast<std::size_t>(Count - done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
          if (r == 0) errno = ENOSPC;
          break;
        }
        done += static_cast<Int32>(r);
      }
      return done;
    }
    case kIoOwnStream:
    case kIoHeldStream:
      if (!OutputStream) return 0;
      errno = 0;
      {
        const Int32 n = OutputStream->Write(Buffer, Count);
        errno = OutputStream->LastOSError();
        return n;
      }
    case kIoGivenStream:
      if (!Stream) return 0;
      {
        const Int32 n = Stream->Write(Buffer, Count);
        errno = Stream->LastOSError();
        return n;
      }
    case kIoMemory:
      if (!OutputMemory) return 0;
      std::memcpy(OutputMemory, Buffer, static_cast<std::size_t>(Count));
      OutputMemory += Count;
      return Count;
    default:
      errno = 0;
      return 0;
  }
}

Int32 TZipCommon::WriteTranslated(int Handle, const Byte* Buffer, Int32 Count, TStream32* Stream, Int32& Written) {
  // Line feeds not preceded by a carriage return become CR LF; a CR that
  // ends one block still counts for an LF that starts the next.
  Byte out[8192 + 2];
  Int32 fill = 0, consumed = 0;
  Written = 0;
  for (Int32 i = 0; i < Count; ++i) {
    const Byte c = Buffer[i];
    if (c == '\n' && !FLastWasCR) out[fill++] = '\r';
    out[fill++] = c;
    FLastWasCR = c == '\r';
    if (fill >= 8192 || i + 1 == Count) {
      const Int32 w = WriteRaw(Handle, out, fill, Stream);
      if (w != fill) return consumed;
      consumed = i + 1;
      Written += w;
      fill = 0;
    }
  }
  return consumed;
}

Int32 TZipCommon::WriteBlock(int Handle, const void* Buffer, bool IsData, Int32 Count, int CrcKind,
                             TStream32* Stream) {
  if (Count <= 0) return 0;
  Int32 done;
  if (AsciiTranslation && IsData) {
    Int32 written = 0;
    done = WriteTranslated(Handle, static_cast<const Byte*>(Buffer), Count, Stream, written);
  } else {
    done = WriteRaw(Handle, Buffer, Count, Stream);
  }
  if (done != Count) {
    const int err = errno;
    if (err == ENOSPC || err == EDQUOT) {
      FilesProcessed = 0;
      RaiseError<EWriteError>(WriteFailureName(), "", "0", msg::DiskFull);
    }
    if (FilesProcessed > 0) --FilesProcessed;
    RaiseError<E_RAISE>(WriteFailureName(), "", "0", msg::ErrorWritingToFile);
  }
  if (IsData) Crc->Update(CrcKind, Buffer, static_cast<std::size_t>(Count));
  return done;
}

Int32 TZipCommon::EncryptAndWrite(int Handle, void* Buffer, bool IsData, Int32 Count, int CrcKind,
                                  TStream32* Stream, bool CryptFlag) {
  if (CryptFlag && IsData && Count > 0) EncodeBlock(Buffer, Count);
  return WriteBlock(Handle, Buffer, IsData, Count, CrcKind, Stream);
}

Int32 TZipCommon::DecryptAndWrite(int Handle, void* Buffer, bool IsData, Int32 Count, int CrcKind,
                                  TStream32* Stream, bool CryptFlag) {
  if (CryptFlag && IsData && Count > 0) DecodeBlock(true, Buffer, Count);
  return WriteBlock(Handle, Buffer, IsData, Count, CrcKind, Stream);
}

void TZipCommon::DecodeBlock(bool, void*, Int32) {}

void TZipCommon::EncodeBlock(void*, Int32) {}

bool TZipCommon::CloseOutput(int Handle, TStream32*) {
  switch (OutputMode) {
    case kIoHandle:
      return Handle >= 0 && ::close(Handle) == 0;
    case kIoOwnStream:
    case kIoGivenStream:  // the caller owns the given stream and frees it
    case kIoHeldStream:
    case kIoMemory:
      return true;
    default:
      return false;
  }
}

void TRunScope::Activate() {
  FOwner.Timer.Start();
  FActivated = true;
  FOwner.Fire(FOwner.OnActivate);
}

void TRunScope::End() {
  if (FEnded) return;
  FEnded = true;
  try {
    FOwner.Timer.Stop();
    if (FActivated) {
      FOwner.Fire(FOwner.OnElapsedTime, FOwner.Timer.Elapsed());
      FOwner.Fire(FOwner.OnDeactivate);
    }
  } catch (...) {
  }
}

void TZipCommon::DoProgress(Int64 Position) {
  if (!OnProgress) return;
  const int byFile = Percent(static_cast<double>(ProgressEntryTotal), static_cast<double>(Position));
  const int byArchive = Percent(ProgressArchiveTotal, ProgressArchiveTotal - ProgressBytesLeft);
  ProcessMessages();
  Fire(OnProgress, static_cast<Byte>(byFile), static_cast<Byte>(byArchive));
}

// ---- names, dates, attributes

std::string TZipCommon::GetCompressMethodName(TMethodQuery Query) const {
  Query.ArcType = ArcType();
  return CompressMethodName(Query);
}

std::string TZipCommon::AttrToString(UInt32 Attr, char Fill, Byte HostSystem) const {
  if (!IsValidArcType(ArcType())) return {};
  const bool unixMode = HostSystem == 3 && ArcTypeRow(ArcType()).UnixModes;
  if (unixMode) {
    std::string s(10, Fill);
    if (Attr & 0x4000) s[0] = 'd';
    if (Attr & 0x100) s[1] = 'r';
    if (Attr & 0x80) s[2] = 'w';
    if ((Attr & 0x40) && (Attr & 0x800))
      s[3] = 's';
    else if (Attr & 0x800)
      s[3] = 'S';
    else if (Attr & 0x40)
      s[3] = 'x';
    if (Attr & 0x20) s[4] = 'r';
    if (Attr & 0x10) s[5] = 'w';
    if ((Attr & 0x8) && (Attr & 0x400))
      s[6] = 's';
    else if (Attr & 0x400)
      s[6] = 'S';
    else if (Attr & 0x8)
      s[6] = 'x';
    if (Attr & 0x4) s[7] = 'r';
    if (Attr & 0x2) s[8] = 'w';
    if (Attr & 0x1) s[9] = 'x';
    return s;
  }
  std::string s(4, Fill);
  if (Attr & 0x20) s[0] = 'a';
  if (Attr & 0x10) s[0] = 'd';
  if (Attr & 0x01) s[1] = 'r';
  if (Attr & 0x04) s[2] = 's';
  if (Attr & 0x02) s[3] = 'h';
  return s;
}

void TZipCommon::SetAttribute(TvskFileAttr Attr, bool Include) {
  if (Include)
    Attributes.Include(Attr);
  else
    Attributes.Exclude(Attr);
}

void TZipCommon::SetAttributeEx(TvskFileAttr Attr, bool Include) {
  if (Include)
    AttributesEx.Include(Attr);
  else
    AttributesEx.Exclude(Attr);
}

TDateTime TZipCommon::ConvertDosDate(UInt32 Value) const { return DosDateTimeToDateTime(Value); }

Int32 TZipCommon::FileDateByAttribute(Int32 Date) const {
  switch (DateAttribute) {
    case daFileDate:
      return Date;
    case daSysDate:
      return static_cast<Int32>(DateTimeToDosDateTime(Now()));
    case daMaxFileDate:
      return MaxFileDate;
  }
  return Date;
}

std::string TZipCommon::StoredName(const std::string& FileName, const std::string& BaseDir) const {
  auto dropPrefix = [](std::string s, bool root) {
    if (IsDriveSpec(s)) {
      s.erase(0, 2);
    } else if (IsUncPath(s)) {
      // Server and share go with the network prefix.
      std::size_t p = 2;
      for (int part = 0; part < 2 && p != std::string::npos; ++part) {
        p = s.find_first_of("/\\", p);
        if (p != std::string::npos && part == 0) ++p;
      }
      s = p == std::string::npos ? std::string() : s.substr(p);
    }
    if (root)
      while (!s.empty() && IsSep(s[0])) s.erase(0, 1);
    return s;
  };
  auto startsWith = [](const std::string& s, const std::string& prefix) {
    return !prefix.empty() && s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
  };
  switch (StoredDirNames) {
    case sdNone:
      return ExtractFileName(FileName);
    case sdAbsolute:
      return FileName;
    case sdAbsoluteNoDrv:
      return dropPrefix(FileName, false);
    case sdAbsoluteNoRoot:
      return dropPrefix(FileName, true);
    case sdRelative:
      if (startsWith(FileName, BaseDir)) return FileName.substr(BaseDir.size());
      return FileName;
    case sdRelativeStoreStart: {
      const std::string base = RemoveTrailingSlash(BaseDir);
      const auto slash = base.find_last_of("/\\");
      const std::size_t last = slash == std::string::npos ? base.size() : base.size() - slash - 1;
      const std::ptrdiff_t cut =
          static_cast<std::ptrdiff_t>(BaseDir.size()) - static_cast<std::ptrdiff_t>(last + 1);
      const std::size_t n = static_cast<std::size_t>(std::max<std::ptrdiff_t>(cut, 0));
      return n >= FileName.size() ? std::string() : FileName.substr(n);
    }
    case sdExplorer_Auto:
    case sdExplorer_UserDefineDefaultDir: {
      // Names below the default folder keep their sub-folders, so files
      // gathered from a tree one by one neither lose their folders nor
      // collide; others are taken relative to their scan's base.
      const std::string def = AppendSlash(DefaultDir);
      if (!DefaultDir.empty() && startsWith(FileName, def)) return FileName.substr(def.size());
      if (startsWith(FileName, BaseDir)) return FileName.substr(BaseDir.size());
      return FileName;
    }
  }
  return FileName;
}

bool TZipCommon::IsExcluded(const std::string& FileName, const std::string& BaseDir) const {
  for (const auto& spec : ExcludeSpec)
    if (!spec.empty() && MatchMask(FileName, StoredName(spec, BaseDir))) return true;
  return false;
}

bool TZipCommon::PrepareFileName(const std::string& Name) {
  if (Name.empty()) {
    CurrentFileName.clear();
    return false;
  }
  if (FExtractDir.empty()) SetExtractDir("");
  if (FExtractDir.empty()) FExtractDir = AppendSlash(CurrentDir());

  // The one place every reader relies on to keep output inside ExtractDir.
  if (Name.find('\0') != std::string::npos) {
    ReportError(ArchiveFile(), Name, "0", msg::InvalidFileName);
    return false;
  }
  std::string n = Name;
  std::replace(n.begin(), n.end(), '\\', '/');
  if (IsDriveSpec(n)) n.erase(0, 2);
  if (IsUncPath(n)) {
    std::size_t p = n.find('/', 2);
    p = p == std::string::npos ? p : n.find('/', p + 1);
    n = p == std::string::npos ? std::string() : n.substr(p);
  }
  std::vector<std::string> parts;
  bool dots = false;
  for (std::size_t i = 0; i <= n.size();) {
    const std::size_t j = std::min(n.find('/', i), n.size());
    const std::string part = n.substr(i, j - i);
    if (part == "..") {
      ReportError(ArchiveFile(), Name, "0", msg::InvalidFileName);
      return false;
    }
    if (part == ".") dots = true;
    if (!part.empty() && part != ".") parts.push_back(part);
    i = j + 1;
  }
  if (parts.empty()) {
    // "." and "./" (archivers write one for the folder they were started
    // in) name the destination itself: there is nothing to make for them.
    if (dots) {
      CurrentFileName = FExtractDir;
      return false;
    }
    ReportError(ArchiveFile(), Name, "0", msg::InvalidFileName);
    return false;
  }
  std::string rel;
  if (UseStoredDirs) {
    for (std::size_t i = 0; i < parts.size(); ++i) rel += (i ? "/" : "") + parts[i];
  } else {
    rel = parts.back();
  }
  CurrentFileName = FExtractDir + rel;
  return true;
}

// ---- volumes

std::string TZipCommon::GetNextVolumeName(const std::string& Name, int Number) {
  if (Name.empty() || Number < 0) return {};
  const std::string dir = ExtractFilePath(Name);
  const std::string file = ExtractFileName(Name);
  const auto dot = file.rfind('.');
  std::string start = dir + (dot == std::string::npos ? file : file.substr(0, dot));
  if (ArcTypeRow(ArcType()).PartNamedVolumes) {
    const std::string base = ExtractFileName(start);
    const auto d2 = base.rfind('.');
    const std::string ext = d2 == std::string::npos ? std::string() : base.substr(d2);
    const bool numbered = ext.size() > 5 && SameTextAscii(ext.substr(0, 5), ".part") &&
                          ext.find_first_not_of("0123456789", 5) == std::string::npos;
    if (numbered) {
      // As many digits as the first volume's name has (archivers write up
      // to four), more only when the number needs them.
      const std::size_t width = ext.size() - 5;
      std::string num = std::to_string(Number + 2);
      if (num.size() < width) num.insert(0, width - num.size(), '0');
      return start.substr(0, start.size() - ext.size()) + ext.substr(0, 5) + num + ".rar";
    }
    Number %= 100;
    if (Number == 0) VolLetter = static_cast<char>(VolLetter + 1);
  }
  std::string ext;
  if (Number < 10)
    ext = std::string(".") + VolLetter + "0" + std::to_string(Number);
  else if (Number < 100)
    ext = std::string(".") + VolLetter + std::to_string(Number);
  else
    ext = "." + std::to_string(Number);
  return start + ext;
}

bool TZipCommon::OpenNextVolume(std::string& VolumeName, int VolumeNumber) {
  if (VolumeNumber > 999) {
    ReportError(VolumeName, "", std::to_string(VolumeNumber), 25251);
    return false;
  }
  return OpenNextVolume(VolumeName, std::to_string(VolumeNumber));
}

bool TZipCommon::OpenNextVolume(std::string& VolumeName, const std::string& VolumeID) {
  if (VolumeName.empty()) {
    ReportError(VolumeName, "", VolumeID, msg::InvalidFileName);
    return false;
  }
  if (!OnNextVolume) {
    ReportError(ArchiveFile(), "OnNextVolumeFile", "0", msg::RequiredEventNotAssigned);
    return false;
  }
  if (VolumeName.find('/') == std::string::npos) VolumeName = JoinPath(CurrentDir(), VolumeName);
  bool exists = FindVolumeAnyCase(VolumeName);
  for (;;) {
    bool cancel = true;
    Fire(OnNextVolume, VolumeName, VolumeID, exists, cancel);
    if (cancel) {
      SetCancel(true);
      return false;
    }
    exists = FindVolumeAnyCase(VolumeName);
    if (exists) break;
  }
  ++VolNum;
  return true;
}

bool TZipCommon::SwitchToNextVolume(std::unique_ptr<TStream32>& Stream, std::string& VolumeName) {
  if (!OnNextVolume) return false;
  VolumeName = GetNextVolumeName(VolumeName, VolNum);
  if (!OpenNextVolume(VolumeName, VolNum)) return false;
  Stream.reset();
  Byte err = 0;
  auto s = std::make_unique<TFileStream32>(VolumeName, fmOpenRead | fmShareDenyNone, err);
  if (err != 0) {
    ReportError(ArchiveFile(), msg::ErrorOpeningFile);
    ArcSize = 0;
  } else {
    ArcSize = s->GetSize();
  }
  Stream = std::move(s);
  return true;
}

// ---- library routines

std::string GetTempFileName(const std::string& TempDir) {
  std::string dir = !TempDir.empty() && DirectoryExists(TempDir) ? TempDir : GetTempPath();
  if (dir.empty()) dir = "/tmp";
  if (!DirectoryExists(dir)) ForceDirectories(dir);
  std::string tmpl = AppendSlash(dir) + "vskXXXXXX.tmp";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  const int fd = mkstemps(buf.data(), 4);
  if (fd < 0) throw E_RAISE(msg::ErrorCreatingFile);
  ::close(fd);
  return buf.data();
}

std::string NumberedName(const std::string& Name, int Number, TNextVolumeName Mode, bool ShortNames) {
  const std::string digits = std::to_string(std::clamp(Number, 0, 999));
  const std::string dir = ExtractFilePath(Name);
  const std::string file = ExtractFileName(Name);
  const auto dot = file.rfind('.');
  const std::string stem = dot == std::string::npos ? file : file.substr(0, dot);
  const std::string ext = dot == std::string::npos ? std::string() : file.substr(dot);
  const auto nd = static_cast<std::ptrdiff_t>(digits.size());
  if (Mode == nvChangeFilename) {
    std::ptrdiff_t keep = ShortNames ? 8 - nd : static_cast<std::ptrdiff_t>(stem.size()) - nd;
    keep = std::clamp<std::ptrdiff_t>(keep, 0, static_cast<std::ptrdiff_t>(stem.size()));
    return dir + stem.substr(0, static_cast<std::size_t>(keep)) + digits + ext;
  }
  if (ext.empty()) return dir + stem + digits;
  const std::ptrdiff_t keep = std::clamp<std::ptrdiff_t>(4 - nd, 0, static_cast<std::ptrdiff_t>(ext.size()));
  return dir + stem + ext.substr(0, static_cast<std::size_t>(keep)) + digits;
}

std::string GetFileTypeName(const std::string& FileName) {
  const std::string comment = MimeComment(MimeTypeOfName(FileName));
  if (!comment.empty()) return comment;
  const auto slash = FileName.find_last_of('/');
  const std::string base = slash == std::string::npos ? FileName : FileName.substr(slash + 1);
  const auto dot = base.rfind('.');
  return AsciiUpperCase(dot == std::string::npos ? std::string() : base.substr(dot + 1)) + " File";
}

}  // namespace vsk
