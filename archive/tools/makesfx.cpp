#include "archive/tools/makesfx.h"

#include <sys/stat.h>

#include <new>
#include <vector>

#include "archive/core/arctype.h"
#include "base/tempstream.h"
#include "platform/dynlib.h"
#include "base/textcase.h"

namespace vsk {

namespace {

constexpr Int64 kMaxZipOffset = 0xFFFFFFFFll;
constexpr const char* kSlideError = "SlideZipOffset error...";

bool IsRegularFile(const std::string& Name, struct stat& St) {
  return !Name.empty() && ::stat(Name.c_str(), &St) == 0 && S_ISREG(St.st_mode);
}

bool ReadAt(TStream32& F, Int64 Pos, void* Buffer, Int32 Count) {
  if (F.Seek(Pos, soBeginning) != Pos) return false;
  auto* p = static_cast<Byte*>(Buffer);
  for (Int32 done = 0; done < Count;) {
    const Int32 n = F.Read(p + done, Count - done);
    if (n <= 0) return false;
    done += n;
  }
  return true;
}

bool WriteAt(TStream32& F, Int64 Pos, const void* Buffer, Int32 Count) {
  return F.Seek(Pos, soBeginning) == Pos && F.Write(Buffer, Count) == Count;
}

// Offset + Shift when the sum is a valid 32-bit zip offset.
bool MovedOffset(UInt32 Offset, Int64 Shift, UInt32& Moved) {
  const Int64 v = static_cast<Int64>(Offset) + Shift;
  if (v < 0 || v > kMaxZipOffset) return false;
  Moved = static_cast<UInt32>(v);
  return true;
}

}  // namespace

TMakeSFX::TMakeSFX() : FSfxStubDir(AppendSlash(ProgramDir())) {}

void TMakeSFX::SetArchiveFile(const std::string& Value) {
  TZipCommon::SetArchiveFile(Value);
  if (FTargetFile.empty()) FTargetFile = TargetFile();
}

std::string TMakeSFX::TargetFile() const {
  struct stat st;
  if (!FTargetFile.empty() || !IsRegularFile(ArchiveFile(), st)) return FTargetFile;
  const std::string& archive = ArchiveFile();
  const auto slash = archive.find_last_of('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  std::string name = AsciiLowerCase(archive.substr(start));
  const auto dot = name.find_last_of('.');
  if (dot != std::string::npos) name.erase(dot);
  return archive.substr(0, start) + name + ".exe";
}

void TMakeSFX::SetSfxStubDir(const std::string& Value) {
  FSfxStubDir = !Value.empty() && DirectoryExists(Value) ? AppendSlash(Value) : GetTempPath();
}

std::string TMakeSFX::StubFileName(TArcType Type) {
  const std::string_view word = ArcTypeRow(Type).SfxStub;
  if (word.empty()) return {};
  return "vsk_" + std::string(word) + ".SFX";
}

bool TMakeSFX::Activate() {
  *CancelRef() = false;
  try {
    return Build();
  } catch (const ECancelUnwind&) {
  } catch (const EVskError&) {
    // Reported where it was raised.
  } catch (const std::bad_alloc&) {
    ReportError(ArchiveFile(), msg::OutOfMemory);
  } catch (const std::exception& e) {
    ReportError(TargetFile(), e.what(), "0", msg::ErrorWritingToFile);
  }
  return false;
}

bool TMakeSFX::MayReplaceTarget(const std::string& Target) {
  struct stat st;
  if (::lstat(Target.c_str(), &st) != 0) return true;
  if (S_ISDIR(st.st_mode)) {
    ReportError(Target, msg::ErrorOpeningFile);
    return false;
  }
  TOverwriteMode mode = omOverwrite;
  if (!OnFileExists) {
    ReportError(Target, "OnFileExists", "0", msg::RequiredEventNotAssigned);
    *CancelRef() = true;
    return false;
  }
  Fire(OnFileExists, Target, UnixTimeToDateTime(static_cast<Int64>(st.st_mtime)), mode);
  if (mode != omOverwrite) *CancelRef() = true;
  return !GetCancel();
}

bool TMakeSFX::Build() {
  const std::string archive = ArchiveFile();
  struct stat in;
  if (!IsRegularFile(archive, in)) RaiseError(archive, "", "0", msg::FileNotFound);
  // Type and zip offsets as the file is now, not as it was when named.
  try {
    FArcType = DetectArcType(archive);
  } catch (const EFOpenError&) {
    RaiseError(archive, "", "0", msg::ErrorOpeningFile);
  }

  const std::string target = TargetFile();
  struct stat out;
  if (::stat(target.c_str(), &out) == 0 && out.st_dev == in.st_dev && out.st_ino == in.st_ino)
    RaiseError(target, "", "0", msg::SameInputOutput);
  if (!MayReplaceTarget(target)) return false;

  const std::string stubName = StubFileName(ArcType());
  if (stubName.empty()) RaiseError(archive, "", "0", msg::UnsupportedArcType);
  const std::string stubPath = AppendSlash(FSfxStubDir) + stubName;
  struct stat stubStat;
  if (!IsRegularFile(stubPath, stubStat)) RaiseError(stubPath, "", "0", msg::FileNotFound);

  TTempFileStream program(fmCreate, target);
  if (program.Handle() < 0) {
    ReportError(target, msg::ErrorOpeningFile);
    return false;
  }
  // Copies Source to the end of the program; its size, or -1 after a
  // reported failure.
  const auto append = [&](const std::string& Source) -> Int64 {
    Byte err = 0;
    TFileStream32 from(Source, fmOpenRead | fmShareDenyNone, err);
    if (err != 0) {
      ReportError(Source, msg::ErrorOpeningFile);
      return -1;
    }
    try {
      return program.CopyFrom(from, 0, CancelRef());
    } catch (const EReadError&) {
      ReportError(Source, msg::ErrorReadingFile);
    } catch (const EWriteError& e) {
      ReportError(target, e.Code != 0 ? e.Code : msg::ErrorWritingToFile);
    }
    return -1;
  };
  const Int64 stubSize = append(stubPath);
  if (stubSize < 0 || append(archive) < 0 || GetCancel()) return false;

  if (ArcTypeRow(ArcType()).SfxSlidesOffsets && !SlideZipOffset(program, stubSize)) {
    if (ShowMessageHook) {
      TTimerPause pause(Timer);
      ShowMessageHook(kSlideError);
    }
    // The notice is for the user; a caller learns the reason here.
    ReportError(archive, kSlideError, "0", msg::BadFileHeader);
    return false;
  }
  try {
    program.Commit();
  } catch (const EWriteError& e) {
    ReportError(target, e.Code != 0 ? e.Code : msg::ErrorWritingToFile);
    return false;
  }
  // A program: executable wherever it is readable.
  struct stat made;
  const std::string& written = program.TargetName();
  if (::stat(written.c_str(), &made) == 0)
    ::chmod(written.c_str(), (made.st_mode & 07777) | ((made.st_mode & 0444) >> 2));
  return true;
}

bool TMakeSFX::SlideZipOffset(TStream32& F, Int64 Slide) {
  if (!(ZipRecFlags & kZipEndFound) || ZipEndPos < 0 || Slide < 0) return false;
  Int64 central = 0;
  if (ZipRecFlags & kZipCentralFound)
    central = ArcOffset;
  else if (ZipEndRec.EntriesTotal == 0 && ZipEndRec.CentralDirSize == 0)
    central = ZipEndPos;  // an empty archive: its directory is empty too
  else
    return false;

  // Each stored offset moves to where its record now is: by the prefix the
  // archive may already have had, plus the stub.
  const Int64 shift = ZipOffsetShift + Slide;
  const Int64 end = ZipEndPos + Slide;
  TZipCrypt crypt;
  Int64 pos = central + Slide;
  while (pos < end) {
    Byte rec[TZipCentralRecord::Size];
    bool enc = false;
    if (!ReadAt(F, pos, rec, sizeof rec) ||
        ClassifyZipSignature(GetLE32(rec), kZipCentralKind, enc) != kZipCentralKind)
      return false;
    std::vector<Byte> name;
    if (enc) {
      // The name is enciphered on from the fixed part, so both are
      // deciphered and enciphered again together.
      crypt.DecryptZipHeader(rec, kZipCentralKind);
      name.resize(GetLE16(rec + 28));
      if (!name.empty() && !ReadAt(F, pos + sizeof rec, name.data(), static_cast<Int32>(name.size()))) return false;
      crypt.DecryptZipHeaderCont(name.data(), name.size());
    }
    const Int64 next = pos + static_cast<Int64>(sizeof rec) + GetLE16(rec + 28) + GetLE16(rec + 30) + GetLE16(rec + 32);
    UInt32 local = 0;
    if (!MovedOffset(GetLE32(rec + 42), shift, local)) return false;
    PutLE32(rec + 42, local);
    if (enc) {
      crypt.EncryptZipHeader(rec, kZipCentralKind);
      crypt.EncryptZipHeaderCont(name.data(), name.size());
    }
    if (!WriteAt(F, pos, rec, sizeof rec)) return false;
    if (!name.empty() && !WriteAt(F, pos + sizeof rec, name.data(), static_cast<Int32>(name.size()))) return false;
    pos = next;
  }
  if (pos != end) return false;

  Byte rec[TZipEndRecord::Size];
  bool enc = false;
  if (!ReadAt(F, end, rec, sizeof rec) || ClassifyZipSignature(GetLE32(rec), kZipEndKind, enc) != kZipEndKind)
    return false;
  if (enc) crypt.DecryptZipHeader(rec, kZipEndKind);
  UInt32 directory = 0;
  if (!MovedOffset(0, central + Slide, directory)) return false;
  PutLE32(rec + 16, directory);
  if (enc) crypt.EncryptZipHeader(rec, kZipEndKind);
  return WriteAt(F, end, rec, sizeof rec);
}

}  // namespace vsk
