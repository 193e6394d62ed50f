#include "archive/core/diskmanager.h"

#include <cstdio>

#include "base/messages.h"
#include "base/stream.h"
#include "archive/core/zipcommon.h"
#include "archive/core/zipcrypt.h"

namespace vsk {

std::string SpanVolumeLabel(int DiskNumber) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.3d", DiskNumber);
  return std::string(kSpanLabelPrefix) + buf;
}

int DiskNumberFromLabel(const std::string& Label) {
  const std::string prefix = kSpanLabelPrefix;
  if (Label.find(prefix) == std::string::npos) return 0;
  std::string rest = Label;
  for (auto p = rest.find(prefix); p != std::string::npos; p = rest.find(prefix)) rest.erase(p, prefix.size());
  if (rest.empty() || rest.size() > 9 || rest.find_first_not_of("0123456789") != std::string::npos) return 0;
  return std::stoi(rest);
}

std::string DriveKindText(int Kind) {
  static const char* const kNames[] = {"Unknown", "None",    "Floppy", "Fixed",
                                       "Network", "CD-ROM",  "RAM",    "3\xC2\xBD Floppy",
                                       "5\xC2\xBC Floppy"};
  return Kind >= 0 && Kind <= 8 ? kNames[Kind] : kNames[0];
}

// ---- reading

bool TDiskManager::CheckVolume(Int64 Position) {
  Byte err = 0;
  TFileStream32 f(FOwner.ArchiveFile(), fmOpenRead | fmShareDenyNone, err);
  if (err != 0) {
    FOwner.ReportError(FOwner.ArchiveFile(), msg::ErrorOpeningFile);
    return false;
  }
  Byte sig[4];
  if (f.Seek(Position, soBeginning) != Position || f.Read(sig, 4) != 4) return false;
  const UInt32 w = static_cast<UInt32>(sig[0]) | static_cast<UInt32>(sig[1]) << 8 |
                   static_cast<UInt32>(sig[2]) << 16 | static_cast<UInt32>(sig[3]) << 24;
  return w == kZipDescriptorSignature || IsRecordSignature(w);
}

bool TDiskManager::ChangeDisk(std::unique_ptr<TStream32>& Stream) {
  Stream.reset();
  static const char* const kEvents[] = {"OnGetZipLastDisk", "OnGetZipFirstDisk", "OnGetZipNextDisk"};
  const int kind = Step == 0 ? 0 : Step == 1 ? 1 : 2;
  const bool assigned = kind == 0 ? static_cast<bool>(FOwner.OnGetZipLastDisk)
                        : kind == 1 ? static_cast<bool>(FOwner.OnGetZipFirstDisk)
                                    : static_cast<bool>(FOwner.OnGetZipNextDisk);
  auto fail = [&] {
    *FOwner.CancelRef() = true;
    return false;
  };
  if (!assigned) {
    FOwner.ReportError(FOwner.ArchiveFile(), kEvents[kind], "0", msg::RequiredEventNotAssigned);
    return fail();
  }
  const std::string name = FOwner.ArchiveFile();
  switch (kind) {
    case 0: {
      FOwner.ZipRecFlags = 0;
      TArcType t = FOwner.DetectArcType(name);
      while (!(FOwner.ZipRecFlags & kZipEndFound)) {
        bool cancel = true;
        FOwner.Fire(FOwner.OnGetZipLastDisk, cancel);
        if (cancel) return fail();
        FOwner.ZipRecFlags = 0;
        t = FOwner.DetectArcType(name);
      }
      if (!IsValidArcType(t)) return fail();
      Step = 1;
      break;
    }
    case 1:
      while (!CheckVolume(FirstEntryOffset)) {
        bool cancel = true;
        FOwner.Fire(FOwner.OnGetZipFirstDisk, cancel);
        if (cancel) return fail();
      }
      ++Step;
      break;
    default:
      while (!CheckVolume(0)) {
        bool cancel = true;
        FOwner.Fire(FOwner.OnGetZipNextDisk, std::to_string(Step), cancel);
        if (cancel) return fail();
      }
      ++Step;
      break;
  }
  Byte err = 0;
  auto s = std::make_unique<TFileStream32>(name, fmOpenRead | fmShareDenyNone, err);
  if (err != 0) {
    FOwner.ReportError(name, msg::ErrorOpeningFile);
    return fail();
  }
  FOwner.ArcSize = s->GetSize();
  Stream = std::move(s);
  return true;
}

// ---- writing

bool TDiskManager::AskForDisk(int Code, bool WriteCheck) {
  IVolumeService& vs = VolumeService();
  auto& handler = WriteCheck ? FOwner.OnDiskWriteProtectErr : FOwner.OnDiskInDrvErr;
  for (;;) {
    const bool ok = WriteCheck ? !vs.IsWriteProtected(TargetPath) : vs.IsReady(TargetPath);
    if (ok) return true;
    if (!handler) {
      FOwner.ReportError(TargetPath, Code);
      return false;
    }
    bool abort = true;
    FOwner.Fire(handler, abort);
    if (abort) {
      FOwner.ReportError(TargetPath, msg::UserCanceled);
      return false;
    }
  }
}

bool TDiskManager::PrepareDrive(const std::string& Path, Int64 Required, bool NeedWrite) {
  TargetPath = Path;
  RequiredSpace = Required;
  IVolumeService& vs = VolumeService();
  const bool network = Path.size() >= 3 && (Path[0] == '/' || Path[0] == '\\') && Path[1] == Path[0];
  if (!network) {
    if (!AskForDisk(25170, false)) return false;
    if (NeedWrite && !AskForDisk(25171, true)) return false;
  }
  TVolumeInfo info;
  while (!vs.GetVolumeInfo(Path, info)) {
    if (!FOwner.OnDiskInDrvErr) {
      FOwner.ReportError(Path, 25170);
      return false;
    }
    bool abort = true;
    FOwner.Fire(FOwner.OnDiskInDrvErr, abort);
    if (abort) {
      FOwner.ReportError(Path, msg::UserCanceled);
      return false;
    }
  }
  Label = info.Label;
  DiskNumber = DiskNumberFromLabel(Label);
  Serial = info.Serial;
  FileSystem = info.FileSystem;
  DriveType = vs.DriveType(Path);
  if (DriveType == DRIVE_NO_ROOT_DIR) {
    FOwner.ReportError(Path, 25170);
    return false;
  }
  // No floppy-size query here: the drive's own kind stands.
  DriveKind = DriveType;
  DriveKindName = DriveKindText(DriveKind);
  vs.GetSpace(Path, FreeSpace, TotalSpace);
  return true;
}

}  // namespace vsk
