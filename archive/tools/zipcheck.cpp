#include "archive/tools/zipcheck.h"

#include "archive/core/arctype.h"
#include "archive/formats/gzip/ungzip.h"
#include "archive/tools/readers.h"

namespace vsk {

int TZipCheck::Activate() {
  try {
    if (ArchiveFile().empty() || !ArcTypeRow(ArcType()).Testable) {
      ReportError(ArchiveFile(), msg::UnsupportedArcType);
      return 0;
    }
    if (!OnStatus) {
      ReportError(ArchiveFile(), "OnStatus", "0", msg::RequiredEventNotAssigned);
      return 0;
    }
    *CancelRef() = false;
    if (OnElapsedTime) Timer.Start();
    std::unique_ptr<TUnBase> reader = MakeReader(ArcType());
    if (!reader) {
      ReportError(ArchiveFile(), msg::UnsupportedArcType);
      return 0;
    }
    TUnBase& r = *reader;
    r.SetZipCmntBufSize(ZipCmntBufSize());
    // The temporary folder is where a gzip reader writes the tar it then tests.
    TReaderSettings settings = TReaderSettings::Shared(*this);
    settings.CreateStoredDirs = false;
    settings.UseStoredDirs = false;
    settings.FileSpec = FileSpec;
    settings.RecurseDirs = RecurseDirs;
    settings.ApplyTo(r);
    r.SetArchiveFile(ArchiveFile());
    r.ShareCancel(CancelRef());
    TZipCheck* self = this;
    const auto relay = [self](auto& Handler) {
      return [self, &Handler](TZipCommon&, auto&&... Args) {
        if (Handler) self->Fire(Handler, std::forward<decltype(Args)>(Args)...);
      };
    };
    r.OnBegin = relay(OnBegin);
    r.OnActivate = [this](TZipCommon&) { Fire(OnActivate); };
    r.OnDeactivate = [this](TZipCommon&) { Fire(OnDeactivate); };
    // The entry an error or a verdict is about, and how it ended, are the
    // tester's to read in its handlers.
    const auto mirror = [this, &r] {
      EntryName = r.EntryName;
      EntryOutcome = r.EntryOutcome;
      EntryOutcomeReason = r.EntryOutcomeReason;
    };
    r.OnError = [this, mirror](TZipCommon&, const std::string& FileName, const std::string& ExtendedMsg,
                               const std::string& VolumeID, int ECode) {
      mirror();
      if (OnError) Fire(OnError, FileName, ExtendedMsg, VolumeID, ECode);
    };
    r.OnGetPassword = relay(OnGetPassword);
    r.OnGetZipFirstDisk = relay(OnGetZipFirstDisk);
    r.OnGetZipNextDisk = relay(OnGetZipNextDisk);
    r.OnGetZipLastDisk = relay(OnGetZipLastDisk);
    r.OnProgress = relay(OnProgress);
    r.OnCorruptZipHeader = relay(OnCorruptZipHeader);
    r.OnNestedTarFile = relay(OnNestedTarFile);
    r.OnFileExists = relay(OnFileExists);
    r.OnNextVolume = relay(OnNextVolume);
    if (auto* gz = dynamic_cast<TUnGZip*>(&r)) gz->OnChangeArchive = relay(OnChangeArchive);
    r.OnEnd = [this, mirror](TZipCommon&, const std::string& FileName, bool Pass) {
      mirror();
      Fire(OnStatus, FileName, Pass);
      Fire(OnEnd, FileName);
    };
    const int tested = r.TestArchive();
    FilesProcessed = tested;
    // A reader that followed a nested archive may have changed its type.
    if (r.ArcType() != ArcType()) SetArchiveFile(ArchiveFile());
    Passwords = r.Passwords;
    if (OnElapsedTime) {
      Timer.Stop();
      Fire(OnElapsedTime, Timer.Elapsed());
    }
    return tested;
  } catch (const ECancelUnwind&) {
  } catch (const std::exception&) {
  }
  return 0;
}

}  // namespace vsk
