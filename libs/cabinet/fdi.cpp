// The reading side of the cabinet library: the walk over a cabinet and its
// set, told to the caller through notifications. The cabinets' records are
// read here (for the notifications and the continuation marks); libmspack
// decodes the folders, with every file access routed to the caller's
// callbacks through an mspack_system of our own.

#include <mspack.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "libs/cabinet/cabio.h"
#include "libs/cabinet/cabrecords.h"
#include "libs/cabinet/foldercheck.h"

namespace vsk::cab {

namespace {

struct TFdiContext {
  PFNCABALLOC Alloc;
  PFNCABFREE Free;
  TCabFiles Files;
  PERF Erf;
};

// One cabinet of the walk.
struct TWalkCabinet {
  std::string Path, Name;
  TCabRecords Records;
  mscabd_cabinet* Ms = nullptr;  // none for a cabinet without files
  bool Merged = false;           // its first folder was joined to the cabinet before
};

class TWalk;

struct TMsSystem {
  mspack_system Sys;  // first, so that libmspack's pointer is ours
  TWalk* Walk;
};

struct TMsFile {
  TWalk* Walk;
  intptr_t Handle;
  bool Output;
};

// The name given to libmspack for a file's output; its open for writing
// stands for the handle of the file in hand.
constexpr char kOutputName[] = "<output>";

class TWalk {
 public:
  TWalk(TFdiContext& Context, PFNFDINOTIFY Notify, void* User) : FCtx(Context), FNotify(Notify), FUser(User) {
    FSys.Walk = this;
    mspack_system& s = FSys.Sys;
    s.open = MsOpen;
    s.close = MsClose;
    s.read = MsRead;
    s.write = MsWrite;
    s.seek = MsSeek;
    s.tell = MsTell;
    s.message = MsMessage;
    s.alloc = MsAlloc;
    s.free = MsFree;
    s.copy = MsCopy;
    s.null_ptr = nullptr;
  }

  ~TWalk() {
    if (!FCabd) return;
    for (mscabd_cabinet* head : FHeads) FCabd->close(FCabd, head);
    mspack_destroy_cab_decompressor(FCabd);
  }

  TWalk(const TWalk&) = delete;
  TWalk& operator=(const TWalk&) = delete;

  // The system error that goes with the walk's failure.
  int SysError = 0;

  int Run(const std::string& Name, const std::string& Path) {
    FCabd = mspack_create_cab_decompressor(&FSys.Sys);
    if (!FCabd) return FDIERROR_ALLOC_FAIL;
    // Large output blocks for stored folders; damaged data are never
    // repaired, and passed over only behind the file in hand (HandleFile).
    FCabd->set_param(FCabd, MSCABD_PARAM_DECOMPBUF, 65536);
    FCabd->set_param(FCabd, MSCABD_PARAM_FIXMSZIP, 0);
    FCabd->set_param(FCabd, MSCABD_PARAM_SALVAGE, 0);

    TWalkCabinet first;
    first.Path = Path;
    first.Name = Name;
    if (int err = Load(first)) return err;
    if (first.Ms) FHeads.push_back(first.Ms);
    FCabs.push_back(std::move(first));
    if (CabinetInfo(FCabs.back()) == -1) return FDIERROR_USER_ABORT;

    for (;;) {
      TWalkCabinet& cab = FCabs.front();
      if (!cab.Merged) {
        FChainHead = cab.Ms;
        FLastTaken = nullptr;
      }
      // Cabinets may be loaded behind this one meanwhile: a deque keeps
      // references to its elements through push_back.
      for (std::size_t i = 0; i < cab.Records.Files.size(); ++i) {
        if (int err = HandleFile(i)) return err;
      }
      if (FCabs.size() == 1) {
        if (!(cab.Records.Header.Flags & kCabFlagNextCabinet)) break;
        // The next cabinet could not be had for a file: the walk ends there.
        if (FRestError) return FRestError;
        if (int err = LoadNext()) return err;
      }
      FCabs.pop_front();
    }
    return FDataError ? FDIERROR_CORRUPT_CABINET : FDIERROR_NONE;
  }

 private:
  TFdiContext& FCtx;
  PFNFDINOTIFY FNotify;
  void* FUser;
  TMsSystem FSys{};
  mscab_decompressor* FCabd = nullptr;
  std::vector<mscabd_cabinet*> FHeads;  // each closes its joined cabinets with it
  std::deque<std::string> FMsNames;     // libmspack keeps pointers to them
  std::deque<TWalkCabinet> FCabs;       // the current cabinet first
  mscabd_cabinet* FChainHead = nullptr;
  mscabd_file* FLastTaken = nullptr;
  // Folders of libmspack that failed, with the offset of the file that did.
  std::vector<std::pair<const mscabd_folder*, unsigned>> FBadFolders;
  // The checked blocks of the folders whole in one cabinet.
  std::map<const mscabd_folder*, TFolderCheck> FChecks;
  bool FDataError = false;
  // Why the cabinets the last folder goes on in could not be loaded.
  int FRestError = FDIERROR_NONE;
  // The blocks of the last folder that lie in its first cabinet.
  std::map<const mscabd_folder*, TFolderCheck> FHereChecks;
  intptr_t FOutput = 0;
  bool FOutputFailed = false;
  std::uint64_t FWritten = 0;
  // The cabinet reads as zeros past its end (see the extract in HandleFile).
  bool FPadPastEnd = false;
  char FName[CB_MAX_FILENAME] = {};
  char FText1[CB_MAX_CABINET_NAME] = {}, FText2[CB_MAX_DISK_NAME] = {}, FText3[CB_MAX_CAB_PATH] = {};

  static void PutText(char* Buffer, std::size_t Size, const std::string& Text) {
    std::memset(Buffer, 0, Size);
    std::memcpy(Buffer, Text.data(), std::min(Text.size(), Size - 1));
  }
  static std::string GetText(const char* Buffer, std::size_t Size) {
    return std::string(Buffer, strnlen(Buffer, Size));
  }

  FDINOTIFICATION Note(const TWalkCabinet& Cab) {
    FDINOTIFICATION n{};
    n.pv = FUser;
    n.psz1 = FText1;
    n.psz2 = FText2;
    n.psz3 = FText3;
    n.setID = Cab.Records.Header.SetID;
    n.iCabinet = Cab.Records.Header.CabinetIndex;
    PutText(FText1, sizeof FText1, "");
    PutText(FText2, sizeof FText2, "");
    PutText(FText3, sizeof FText3, "");
    return n;
  }

  // A notification about a file: its name (as the caller left it) and
  // record.
  FDINOTIFICATION FileNote(const TWalkCabinet& Cab, const TCabFileRecord& Record) {
    FDINOTIFICATION n = Note(Cab);
    n.psz1 = FName;
    n.date = Record.Date;
    n.time = Record.Time;
    n.attribs = Record.Attributes;
    n.iFolder = Record.FolderIndex;
    return n;
  }

  intptr_t CabinetInfo(const TWalkCabinet& Cab) {
    FDINOTIFICATION n = Note(Cab);
    PutText(FText1, sizeof FText1, Cab.Records.Header.NextCabinet);
    PutText(FText2, sizeof FText2, Cab.Records.Header.NextDisk);
    PutText(FText3, sizeof FText3, Cab.Path);
    return FNotify(fdintCABINET_INFO, &n);
  }

  // Reads the cabinet's records and opens it in libmspack.
  int Load(TWalkCabinet& Cab) {
    const std::string full = JoinCabPath(Cab.Path, Cab.Name);
    FCtx.Files.LastError = 0;
    if (int err = ReadCabRecords(FCtx.Files, full, Cab.Records)) {
      SysError = FCtx.Files.LastError;
      return err;
    }
    if (Cab.Records.Files.empty()) return FDIERROR_NONE;
    FMsNames.push_back(full);
    Cab.Ms = FCabd->open(FCabd, FMsNames.back().c_str());
    if (Cab.Ms) return FDIERROR_NONE;
    switch (FCabd->last_error(FCabd)) {
      case MSPACK_ERR_OPEN:
        return FDIERROR_CABINET_NOT_FOUND;
      case MSPACK_ERR_SIGNATURE:
        return FDIERROR_NOT_A_CABINET;
      case MSPACK_ERR_NOMEMORY:
        return FDIERROR_ALLOC_FAIL;
      default:
        return FDIERROR_CORRUPT_CABINET;
    }
  }

  // Goes on to the cabinet after the last one loaded, asking the caller
  // for it (again, with the reason, while it cannot be used).
  int LoadNext() {
    const TWalkCabinet& prev = FCabs.back();
    const TCabHeader& ph = prev.Records.Header;
    std::string name = ph.NextCabinet, path = prev.Path, tried;
    const std::string disk = ph.NextDisk;
    int why = FDIERROR_NONE;
    for (;;) {
      FDINOTIFICATION n = Note(prev);
      n.iCabinet = static_cast<uint16_t>(ph.CabinetIndex + 1);
      n.fdie = static_cast<FDIERROR>(why);
      PutText(FText1, sizeof FText1, name);
      PutText(FText2, sizeof FText2, disk);
      PutText(FText3, sizeof FText3, path);
      if (FNotify(fdintNEXT_CABINET, &n) == -1) return FDIERROR_USER_ABORT;
      name = GetText(FText1, sizeof FText1);
      path = GetText(FText3, sizeof FText3);
      const std::string full = JoinCabPath(path, name);
      if (why != FDIERROR_NONE && full == tried) return why;
      tried = full;

      TWalkCabinet next;
      next.Path = path;
      next.Name = name;
      why = Load(next);
      const TCabHeader& nh = next.Records.Header;
      if (why == FDIERROR_NONE &&
          (nh.SetID != ph.SetID || nh.CabinetIndex != ph.CabinetIndex + 1 || !(nh.Flags & kCabFlagPrevCabinet))) {
        why = FDIERROR_WRONG_CABINET;
      }
      if (why != FDIERROR_NONE) {
        if (next.Ms) FCabd->close(FCabd, next.Ms);
        continue;
      }
      if (prev.Records.LastFolderGoesOn) {
        // The folder that goes on is joined with its rest.
        if (!next.Ms || FCabd->append(FCabd, prev.Ms, next.Ms) != MSPACK_ERR_OK) {
          if (next.Ms) FCabd->close(FCabd, next.Ms);
          return FDIERROR_CORRUPT_CABINET;
        }
        next.Merged = true;
      } else if (next.Ms) {
        FHeads.push_back(next.Ms);
      }
      FCabs.push_back(std::move(next));
      return CabinetInfo(FCabs.back()) == -1 ? FDIERROR_USER_ABORT : FDIERROR_NONE;
    }
  }

  // Loads the cabinets that the last folder of the cabinet at Pos goes on
  // into.
  int LoadFolderRest(std::size_t Pos) {
    for (std::size_t k = Pos;; ++k) {
      const TCabRecords& r = FCabs[k].Records;
      const bool goesOn = r.LastFolderGoesOn && (k == Pos || r.Header.FolderCount == 1);
      if (!goesOn) return FDIERROR_NONE;
      if (FCabs.size() == k + 1) {
        if (int err = LoadNext()) return err;
      }
    }
  }

  // libmspack's entry for the record, when it is the next one it holds.
  mscabd_file* Take(const TCabRecords::TFile& File) {
    mscabd_file* f = FLastTaken ? FLastTaken->next : (FChainHead ? FChainHead->files : nullptr);
    if (!f || File.Name != f->filename || f->length != File.Record.Size || f->offset != File.Record.FolderOffset) {
      return nullptr;
    }
    FLastTaken = f;
    return f;
  }

  // The checked blocks of the file's folder; nullptr for a folder that
  // spans cabinets (libmspack checks those as it reads) or that cannot be
  // read ahead.
  const TFolderCheck* Check(const TWalkCabinet& Cab, int Folder, const mscabd_file* File) {
    const TCabRecords& r = Cab.Records;
    if ((Folder == 0 && r.FirstFolderGoesBack) || (Folder + 1 == r.Header.FolderCount && r.LastFolderGoesOn)) {
      return nullptr;
    }
    auto it = FChecks.find(File->folder);
    if (it == FChecks.end()) {
      TFolderCheck check;
      if (!CheckFolder(FCtx.Files, JoinCabPath(Cab.Path, Cab.Name), r.Header, r.Folders[Folder], check)) {
        return nullptr;
      }
      it = FChecks.emplace(File->folder, std::move(check)).first;
    }
    return &it->second;
  }

  // Whether the file's data lie in sound blocks of this cabinet alone.
  bool WholeHere(const TWalkCabinet& Cab, int Folder, const TCabFileRecord& Rec, const mscabd_file* File) {
    if (!Cab.Records.LastFolderGoesOn) return true;
    auto it = FHereChecks.find(File->folder);
    if (it == FHereChecks.end()) {
      TFolderCheck here;
      if (!CheckFolder(FCtx.Files, JoinCabPath(Cab.Path, Cab.Name), Cab.Records.Header, Cab.Records.Folders[Folder],
                       here))
        return false;
      it = FHereChecks.emplace(File->folder, std::move(here)).first;
    }
    return it->second.Readable(Rec.FolderOffset, Rec.Size);
  }

  bool AfterDamage(const mscabd_file* File) const {
    for (const auto& [folder, offset] : FBadFolders) {
      if (folder == File->folder && File->offset >= offset) return true;
    }
    return false;
  }

  int HandleFile(std::size_t Index) {
    const TWalkCabinet& cab = FCabs.front();
    const TCabRecords::TFile& file = cab.Records.Files[Index];
    const TCabFileRecord& rec = file.Record;
    // A file that began in a cabinet before came out with it.
    if (rec.ContinuedFromPrev() && cab.Merged) return FDIERROR_NONE;
    mscabd_file* ms = Take(file);

    FDINOTIFICATION n = Note(cab);
    if (rec.ContinuedFromPrev()) {
      PutText(FText1, sizeof FText1, file.Name);
      PutText(FText2, sizeof FText2, cab.Records.Header.PrevCabinet);
      PutText(FText3, sizeof FText3, cab.Records.Header.PrevDisk);
      return FNotify(fdintPARTIAL_FILE, &n) == -1 ? FDIERROR_USER_ABORT : FDIERROR_NONE;
    }
    PutText(FName, sizeof FName, file.Name);
    n = FileNote(cab, rec);
    n.cb = rec.Size;
    const intptr_t out = FNotify(fdintCOPY_FILE, &n);
    if (out == -1) return FDIERROR_USER_ABORT;
    if (out == 0) return FDIERROR_NONE;

    int fileError = FDIERROR_NONE, fatal = FDIERROR_NONE;
    const int folder = rec.FolderOf(cab.Records.Header.FolderCount);
    const TFolderCheck* check = ms ? Check(cab, folder, ms) : nullptr;
    if (!ms || AfterDamage(ms) || (check && !check->Readable(rec.FolderOffset, rec.Size))) {
      fileError = FDIERROR_CORRUPT_CABINET;
    } else {
      // A file whose blocks all lie in this cabinet comes out of it alone;
      // one that needs the cabinets its folder goes on in has them loaded
      // first, and without them cannot come out.
      if (folder + 1 == cab.Records.Header.FolderCount && !WholeHere(cab, folder, rec, ms)) {
        if (!FRestError) FRestError = LoadFolderRest(0);
        fileError = FRestError;
      }
      if (fileError == FDIERROR_NONE) {
        FOutput = out;
        FOutputFailed = false;
        FWritten = 0;
        // Damage after the file is passed over (checksums unheeded) as the
        // decoder reads ahead; the file's own blocks were checked.
        // Data cut short read as zeros then, for the same reason.
        const bool pastDamage = check && !check->Clean();
        FPadPastEnd = pastDamage && check->Damaged.back().second == UINT64_MAX;
        if (pastDamage) FCabd->set_param(FCabd, MSCABD_PARAM_SALVAGE, 1);
        int r = FCabd->extract(FCabd, ms, kOutputName);
        if (pastDamage) FCabd->set_param(FCabd, MSCABD_PARAM_SALVAGE, 0);
        FPadPastEnd = false;
        if (r == MSPACK_ERR_OK && FWritten != rec.Size) r = MSPACK_ERR_DATAFORMAT;
        if (FOutputFailed) {
          fatal = FDIERROR_TARGET_FILE;
          SysError = FCtx.Files.LastError;
        } else if (r == MSPACK_ERR_NOMEMORY) {
          fatal = FDIERROR_ALLOC_FAIL;
        } else if (r != MSPACK_ERR_OK) {
          fileError = FDIERROR_CORRUPT_CABINET;
          FBadFolders.emplace_back(ms->folder, ms->offset);
        }
      }
    }
    if (fatal != FDIERROR_NONE) fileError = fatal;
    if (fileError == FDIERROR_CORRUPT_CABINET) FDataError = true;

    FDINOTIFICATION c = FileNote(FCabs.front(), rec);
    c.hf = out;
    c.cb = (rec.Attributes & CAB_A_EXEC) ? 1 : 0;
    c.fdie = static_cast<FDIERROR>(fileError);
    const intptr_t answer = FNotify(fdintCLOSE_FILE_INFO, &c);
    if (fatal != FDIERROR_NONE) return fatal;
    return answer == 0 || answer == -1 ? FDIERROR_USER_ABORT : FDIERROR_NONE;
  }

  // ---- libmspack's system: no exception may cross its C frames. Files are
  // opened through the system the decompressor was made with, so open can
  // find the walk; memory is also asked of the decoders' copies (below).

  static TWalk& Of(mspack_system* Self) { return *reinterpret_cast<TMsSystem*>(Self)->Walk; }

  static mspack_file* MsOpen(mspack_system* Self, const char* Name, int Mode) {
    TWalk& w = Of(Self);
    try {
      intptr_t h = w.FOutput;
      const bool output = Mode == MSPACK_SYS_OPEN_WRITE;
      if (!output) {
        if (Mode != MSPACK_SYS_OPEN_READ) return nullptr;
        h = w.FCtx.Files.Open(Name, CAB_O_RDONLY | CAB_O_BINARY);
        if (h == -1) return nullptr;
      }
      TMsFile* f = NewIn<TMsFile>(w.FCtx.Alloc, TMsFile{&w, h, output});
      if (!f && !output) w.FCtx.Files.Close(h);
      return reinterpret_cast<mspack_file*>(f);
    } catch (...) {
      return nullptr;
    }
  }

  static TMsFile& File(mspack_file* F) { return *reinterpret_cast<TMsFile*>(F); }

  // libmspack may call with no file after a cabinet of a set failed to open
  // (a damaged "next cabinet" link): such a file reads nothing.
  static void MsClose(mspack_file* F) {
    if (!F) return;
    TMsFile& f = File(F);
    TWalk& w = *f.Walk;
    // The caller closes the output at close-file-info.
    if (!f.Output) w.FCtx.Files.Close(f.Handle);
    DeleteIn(w.FCtx.Free, &f);
  }

  static int MsRead(mspack_file* F, void* Buffer, int Bytes) {
    if (!F) return -1;
    TMsFile& f = File(F);
    if (f.Output || Bytes < 0) return -1;
    unsigned got = 0;
    if (!f.Walk->FCtx.Files.ReadSome(f.Handle, Buffer, static_cast<unsigned>(Bytes), got)) return -1;
    if (f.Walk->FPadPastEnd && got < static_cast<unsigned>(Bytes)) {
      std::memset(static_cast<Byte*>(Buffer) + got, 0, static_cast<std::size_t>(Bytes) - got);
      return Bytes;
    }
    return static_cast<int>(got);
  }

  static int MsWrite(mspack_file* F, void* Buffer, int Bytes) {
    if (!F) return -1;
    TMsFile& f = File(F);
    if (!f.Output || Bytes < 0) return -1;
    if (!f.Walk->FCtx.Files.WriteAll(f.Handle, Buffer, static_cast<std::size_t>(Bytes))) {
      f.Walk->FOutputFailed = true;
      return -1;
    }
    f.Walk->FWritten += static_cast<std::uint64_t>(Bytes);
    return Bytes;
  }

  static int MsSeek(mspack_file* F, off_t Offset, int Mode) {
    if (!F) return -1;
    TMsFile& f = File(F);
    if (f.Output) return -1;
    return f.Walk->FCtx.Files.Seek(f.Handle, Offset, Mode) < 0 ? -1 : 0;
  }

  static off_t MsTell(mspack_file* F) {
    if (!F) return -1;
    TMsFile& f = File(F);
    if (f.Output) return -1;
    return static_cast<off_t>(f.Walk->FCtx.Files.Seek(f.Handle, 0, 1));
  }

  static void MsMessage(mspack_file*, const char*, ...) {}

  // libmspack hands its decoders a copy of the system, so these cannot
  // reach the walk: the decoders' memory comes from the heap.
  static void* MsAlloc(mspack_system*, size_t Bytes) { return std::malloc(Bytes); }
  static void MsFree(void* Block) { std::free(Block); }

  static void MsCopy(void* From, void* To, size_t Bytes) { std::memmove(To, From, Bytes); }
};

}  // namespace
}  // namespace vsk::cab

using namespace vsk;
using namespace vsk::cab;

CABINET_EXPORT HFDI FDICreate(PFNCABALLOC pfnalloc, PFNCABFREE pfnfree, PFNCABOPEN pfnopen, PFNCABREAD pfnread,
                              PFNCABWRITE pfnwrite, PFNCABCLOSE pfnclose, PFNCABSEEK pfnseek, int, PERF perf,
                              void* pvUser) {
  ClearError(perf);
  int selftest = MSPACK_ERR_OK;
  MSPACK_SYS_SELFTEST(selftest);
  if (!pfnalloc || !pfnfree || !pfnopen || !pfnread || !pfnwrite || !pfnclose || !pfnseek ||
      selftest != MSPACK_ERR_OK) {
    SetError(perf, FDIERROR_MDI_FAIL);
    return nullptr;
  }
  auto* ctx = NewIn<TFdiContext>(
      pfnalloc,
      TFdiContext{pfnalloc, pfnfree, TCabFiles(pfnopen, pfnread, pfnwrite, pfnclose, pfnseek, nullptr, pvUser), perf});
  if (!ctx) SetError(perf, FDIERROR_ALLOC_FAIL);
  return ctx;
}

CABINET_EXPORT int FDIIsCabinet(HFDI hfdi, intptr_t hf, PFDICABINETINFO pfdici) {
  auto* ctx = static_cast<TFdiContext*>(hfdi);
  if (!ctx) return 0;
  ClearError(ctx->Erf);
  Byte h[kCabFixedHeaderSize];
  ctx->Files.LastError = 0;
  if (!ctx->Files.ReadAll(hf, h, sizeof h)) {
    if (ctx->Files.LastError != 0) SetError(ctx->Erf, FDIERROR_NOT_A_CABINET, ctx->Files.LastError);
    return 0;
  }
  if (std::memcmp(h, "MSCF", 4) != 0) return 0;
  if (h[25] != 1) {
    SetError(ctx->Erf, FDIERROR_UNKNOWN_CABINET_VERSION);
    return 0;
  }
  if (pfdici) {
    const UInt16 flags = static_cast<UInt16>(h[30] | h[31] << 8);
    pfdici->cbCabinet = static_cast<UInt32>(h[8] | h[9] << 8 | h[10] << 16) | static_cast<UInt32>(h[11]) << 24;
    pfdici->cFolders = static_cast<uint16_t>(h[26] | h[27] << 8);
    pfdici->cFiles = static_cast<uint16_t>(h[28] | h[29] << 8);
    pfdici->setID = static_cast<uint16_t>(h[32] | h[33] << 8);
    pfdici->iCabinet = static_cast<uint16_t>(h[34] | h[35] << 8);
    pfdici->fReserve = (flags & kCabFlagReservePresent) != 0;
    pfdici->hasprev = (flags & kCabFlagPrevCabinet) != 0;
    pfdici->hasnext = (flags & kCabFlagNextCabinet) != 0;
  }
  return 1;
}

CABINET_EXPORT int FDICopy(HFDI hfdi, const char* pszCabinet, const char* pszCabPath, int, PFNFDINOTIFY pfnfdin,
                           PFNFDIDECRYPT, void* pvUser) {
  auto* ctx = static_cast<TFdiContext*>(hfdi);
  if (!ctx) return 0;
  ClearError(ctx->Erf);
  if (!pszCabinet || !pfnfdin) {
    SetError(ctx->Erf, FDIERROR_MDI_FAIL);
    return 0;
  }
  try {
    TWalk walk(*ctx, pfnfdin, pvUser);
    const int err = walk.Run(pszCabinet, pszCabPath ? pszCabPath : "");
    if (err == FDIERROR_NONE) return 1;
    SetError(ctx->Erf, err, walk.SysError);
  } catch (const std::bad_alloc&) {
    SetError(ctx->Erf, FDIERROR_ALLOC_FAIL);
  } catch (...) {
    SetError(ctx->Erf, FDIERROR_MDI_FAIL);
  }
  return 0;
}

CABINET_EXPORT int FDIDestroy(HFDI hfdi) {
  auto* ctx = static_cast<TFdiContext*>(hfdi);
  if (!ctx) return 0;
  DeleteIn(ctx->Free, ctx);
  return 1;
}
