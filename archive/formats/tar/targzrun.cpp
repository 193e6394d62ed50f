// The tar.gz run of the tar writer: what it replaces, what it starts
// from, and how the ".gz" and the tar beside it are put in place.

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <ctime>

#include "archive/core/numbers.h"
#include "archive/core/paths.h"
#include "archive/core/workers.h"
#include "archive/formats/gzip/gzipwriter.h"
#include "archive/formats/tar/tarwriter.h"
#include "base/dates.h"
#include "base/paths.h"
#include "base/textcase.h"
#include "base/messages.h"
#include "platform/trash.h"

namespace vsk {

void TTar::SetArchiveFile(const std::string& Value) {
  FGzName.clear();
  if (FCompressMethod != cmTarGzip || Value.empty()) return TCompBase::SetArchiveFile(Value);
  FArcType = atTarGZip;
  std::string tar = Value;
  if (tar.size() > 4 && EndsWithTextAscii(tar, ".tgz"))
    tar.replace(tar.size() - 4, 4, ".tar");
  else if (tar.size() > 3 && EndsWithTextAscii(tar, ".gz"))
    tar.resize(tar.size() - 3);
  else
    tar.clear();
  const bool named = !tar.empty() && !PathFilePart(tar).empty();
  // A tar.gz is named by its tar (absolute, with the default extension
  // when it has none); no file of either name is touched here.
  std::string name = AbsoluteArchivePath(named ? tar + ".gz" : Value);
  if (name.size() > 3 && EndsWithTextAscii(name, ".gz")) name.resize(name.size() - 3);
  SetArchivePath(name);
  // The ".gz" is the name given, in the folder the tar's name was made
  // absolute in.
  if (named) FGzName = JoinPath(PathFolderPart(ArchiveFile()), PathFilePart(Value));
}

class TTar::TGzLayer final : public TArchiveLayer {
 public:
  explicit TGzLayer(TTar& Tar) : FTar(Tar) {}
  std::string Target() override { return FTar.GzFile(); }
  std::unique_ptr<TFileStream32> OpenOld(Byte& Error) override { return FTar.OpenOldGz(Error); }
  TStream32* Wrap(TStream32* Output) override { return FTar.WrapInGz(Output); }
  bool Commit() override { return FTar.CommitGz(); }

 private:
  TTar& FTar;
};

std::string TTar::GzFile() {
  if (FCompressMethod != cmTarGzip || ArchiveFile().empty()) return ArchiveFile();
  return FGzName.empty() ? ArchiveFile() + ".gz" : FGzName;
}

std::unique_ptr<TFileStream32> TTar::OpenOldGz(Byte& Error) {
  Error = 0;
  int code = 0;
  auto tar = GunzipToScratch(GzFile(), TempDir(), CancelRef(), code);
  if (!tar && !GetCancel()) ReportError(GzFile(), code);
  return tar;
}

TStream32* TTar::WrapInGz(TStream32* Output) {
  // A file at the tar's name was agreed to before the run (it is asked
  // about): the run replaces it at the end, so it is no source.
  struct stat st;
  if (lstat(ArchiveFile().c_str(), &st) == 0 && S_ISREG(st.st_mode)) AddOwnFile(st.st_dev, st.st_ino);
  FGzOut = std::make_unique<TTarGzOutput>(*Output, GzFile(), PathFilePart(ArchiveFile()), FRunDeflateType,
                                          EffectiveThreadCount(ThreadCount), CancelRef());
  if (FGzOut->Handle() < 0 || fstat(FGzOut->Handle(), &st) != 0) {
    ReportError(GzFile(), msg::ErrorCreatingFile);
    FGzOut.reset();
    return nullptr;
  }
  AddOwnFile(st.st_dev, st.st_ino);
  return FGzOut.get();
}

bool TTar::CommitGz() {
  if (!FGzOut) return CommitScratch();
  const std::string tar = ArchiveFile(), gz = GzFile();
  CurrentFileName = PathFilePart(tar);
  bool take = true;
  Fire(OnBegin, tar, 0, take);
  if (!take || GetCancel()) return false;
  Int64 time = static_cast<Int64>(std::time(nullptr));
  if (DateAttribute == daMaxFileDate) time = DateTimeToUnix(DosDateTimeToDateTime(static_cast<UInt32>(MaxFileDate)));
  FGzTime = time < 0 || time > 0xFFFFFFFFll ? 0 : static_cast<UInt32>(time);
  if (const int rc = FGzOut->Finish(FGzTime)) {
    if (!GetCancel()) ReportError(gz, rc);
    return false;
  }
  try {
    FGzOut->Commit();
  } catch (const EVskError& e) {
    ReportError(gz, e.Code == msg::DiskFull ? msg::DiskFull : msg::ErrorWritingToFile);
    return false;
  }
  FGzCommitted = true;
  // The archive is in place. A tar of the name now was not made by this
  // run: it goes to the trash rather than being renamed over.
  // A link of the name: the file it names is the one the new tar replaces
  // (as for any archive written through a link), so that file goes.
  std::string standing = tar;
  struct stat st;
  if (lstat(tar.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char real[PATH_MAX];
    if (realpath(tar.c_str(), real)) standing = real;
  }
  std::string trashed;
  if (lstat(standing.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || !MoveToTrash(standing, &trashed))) {
    ReportError(tar, msg::ErrorDeletingFiles);
    return false;
  }
  if (!CommitScratch()) {
    // The tar could not take its name (reported): the one there before
    // comes back from the Trash, and the run failed.
    if (!trashed.empty()) RestoreFromTrash(trashed, standing);
    return false;
  }
  ReportMember(gz);
  return true;
}

void TTar::ReportMember(const std::string& Gz) {
  ReportGzipMember(*this, Gz, FGzTime, FGzOut->TotalIn(), FGzOut->Crc());
  Fire(OnEnd, Gz, true);
}

bool TTar::MayReplace(const std::string& Name) {
  struct stat st;
  if (lstat(Name.c_str(), &st) != 0) return true;
  if (!OnFileExists) {
    ReportError(Name, "OnFileExists", "0", msg::RequiredEventNotAssigned);
    return false;
  }
  TOverwriteMode answer = omOverwrite;
  Fire(OnFileExists, Name, UnixTimeToDateTime(static_cast<Int64>(st.st_mtime)), answer);
  return !GetCancel() && answer != omSkip;
}

bool TTar::MayChangeGz() {
  const std::string gz = GzFile();
  if (gz.empty() || Switch == swRead) return true;
  // A delete run changes the ".gz" it was pointed at; every run but a read
  // puts a tar at the tar's name.
  if (Switch != swDelete && !MayReplace(gz)) return false;
  return MayReplace(ArchiveFile());
}

int TTar::Compress() {
  SetArcType(FArcType);
  FGzipWritten = FGzCommitted = false;
  // An existing ".gz" is changed only when the owner agrees; its entries stay.
  if (FCompressMethod == cmTarGzip && !MayChangeGz()) return 0;
  TGzLayer layer(*this);
  FLayer = FCompressMethod == cmTarGzip ? &layer : nullptr;
  const int n = TCompBase::Compress();
  FLayer = nullptr;
  FGzOut.reset();
  if (FCompressMethod != cmTarGzip) return n;
  if (!FGzCommitted) return 0;
  FGzipWritten = true;
  FArchiveFile = GzFile();
  return n;
}

}  // namespace vsk
