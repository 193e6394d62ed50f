// The writing side of the cabinet library. Files are read through the
// caller's callbacks and coded frame by frame into data blocks, which go to
// a temporary file of the caller's; the cabinet itself is written in one
// pass when it is flushed, once the sizes of its records are known: header,
// folder records, file records, then the data blocks.

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/records/cabheader.h"
#include "base/records/ziprecords.h"
#include "libs/cabinet/cabchecksum.h"
#include "libs/cabinet/cabio.h"
#include "libs/cabinet/framecoder.h"
#include "base/codepage.h"

namespace vsk::cab {

namespace {

constexpr UInt64 kMaxCabinet = 0x7FFFFFFF;
constexpr std::size_t kMaxCount = 65535;  // files, folders, blocks of a folder
constexpr std::size_t kIoBlock = 256 * 1024;
// A file record counts its size and its place in the folder in 32 bits.
constexpr UInt64 kMaxFileSize = 0xFFFFFFFFu;
constexpr UInt16 kKeptAttributes = CAB_A_RDONLY | CAB_A_HIDDEN | CAB_A_SYSTEM | CAB_A_ARCH;

struct TFileRecord {
  std::string Name;
  UInt32 Size = 0, Offset = 0;
  UInt16 Folder = 0, Date = 0, Time = 0, Attributes = 0;
};

struct TFolderRecord {
  UInt64 DataStart = 0;  // in the temporary file
  UInt64 DataSize = 0;   // its blocks with their headers
  UInt32 Blocks = 0;
  TCOMP Type = 0;
};

// A failure: the FCIERR number and the system error that goes with it.
struct TFailure {
  int Oper = FCIERR_NONE;
  int Type = 0;
  explicit operator bool() const { return Oper != FCIERR_NONE; }
};

class TFci {
 public:
  TFci(PERF Erf, PFNCABFREE Free, PFNFCIFILEPLACED Placed, const TCabFiles& Files, PFNFCIGETTEMPFILE GetTemp,
       const CCAB& Cab, void* User)
      : FErf(Erf), FFree(Free), FPlaced(Placed), FFiles(Files), FGetTemp(GetTemp), FCab(Cab), FUser(User) {}

  ~TFci() { DropTemp(); }
  TFci(const TFci&) = delete;
  TFci& operator=(const TFci&) = delete;

  PERF Erf() const { return FErf; }
  PFNCABFREE Free() const { return FFree; }

  // Failures that leave the context as it was are returned; the others
  // also break it.
  TFailure AddFile(const char* Source, const char* Name, bool Execute, PFNFCISTATUS Status, PFNFCIGETOPENINFO OpenInfo,
                   TCOMP Type) {
    if (FBroken) return FBroken;
    const std::size_t nameSize = Name ? std::strlen(Name) : 0;
    if (nameSize == 0 || nameSize >= CB_MAX_FILENAME || FRecords.size() >= kMaxCount) return {FCIERR_CAB_FORMAT_LIMIT};
    if (!CanCode(Type)) return {FCIERR_BAD_COMPR_TYPE};
    if (!Source || !OpenInfo) return {FCIERR_OPEN_SRC};
    FStatus = Status;
    if (FFolderOpen && Type != FType) {
      if (TFailure f = CloseFolder()) return Break(f);
    }
    if (!FFolderOpen && FFolders.size() >= kMaxCount) return {FCIERR_CAB_FORMAT_LIMIT};

    UInt16 date = 0, time = 0, attributes = 0;
    int err = 0;
    const intptr_t source = OpenInfo(Source, &date, &time, &attributes, &err, FUser);
    if (source == -1) return {FCIERR_OPEN_SRC, err};
    if (!FFolderOpen) {
      if (TFailure f = OpenFolder(Type)) {
        FFiles.Close(source);
        return Break(f);
      }
    }

    // The bytes read before a failure of the source stay in the folder,
    // named by no file: the cabinet is sound without them.
    const UInt64 start = FFolderUnpacked + FFill;
    UInt64 size = 0;
    for (;;) {
      unsigned got = 0;
      if (!FFiles.ReadSome(source, FFrame.data() + FFill, static_cast<unsigned>(kCabFrameSize - FFill), got)) {
        const int readErr = FFiles.LastError;
        FFiles.Close(source);
        return {FCIERR_READ_SRC, readErr};
      }
      if (got == 0) break;
      FFill += got;
      size += got;
      if (size >= kMaxFileSize || start + size > kMaxFileSize) {
        FFiles.Close(source);
        return Break({FCIERR_CAB_FORMAT_LIMIT});
      }
      if (FFill == kCabFrameSize) {
        if (TFailure f = EmitBlock()) {
          FFiles.Close(source);
          return Break(f);
        }
      }
    }
    if (!FFiles.Close(source)) return {FCIERR_READ_SRC, FFiles.LastError};

    TFileRecord r;
    r.Name = Name;
    r.Size = static_cast<UInt32>(size);
    r.Offset = static_cast<UInt32>(start);
    r.Folder = static_cast<UInt16>(FFolders.size() - 1);
    r.Date = date;
    r.Time = time;
    r.Attributes = static_cast<UInt16>((attributes & kKeptAttributes) | (Execute ? CAB_A_EXEC : 0));
    // Names in any other code page (a kept entry's OEM bytes) go without
    // the flag, so that readers take them for what they are.
    if (!IsAscii(r.Name) && IsValidUtf8(r.Name)) r.Attributes |= CAB_A_NAME_IS_UTF;
    FRecordsSize += kCabFileRecordSize + nameSize + 1;
    FRecords.push_back(std::move(r));
    if (CabinetSize() > Limit()) return Break({FCIERR_CAB_FORMAT_LIMIT});
    if (FPlaced(&FCab, Name, static_cast<int64_t>(size), 0, FUser) == -1) return Break({FCIERR_USER_ABORT});
    if (FCab.cbFolderThresh != 0 && FFolders.back().DataSize > FCab.cbFolderThresh) {
      if (TFailure f = CloseFolder()) return Break(f);
    }
    return {};
  }

  TFailure FlushFolder(PFNFCISTATUS Status) {
    if (FBroken) return FBroken;
    FStatus = Status;
    if (FFolderOpen) {
      if (TFailure f = CloseFolder()) return Break(f);
    }
    return {};
  }

  TFailure FlushCabinet(bool GetNext, PFNFCIGETNEXTCABINET NextCabinet, PFNFCISTATUS Status) {
    if (FBroken) return FBroken;
    FStatus = Status;
    if (FFolderOpen) {
      if (TFailure f = CloseFolder()) return Break(f);
    }
    if (TFailure f = FlushTemp()) return Break(f);
    const UInt64 size = CabinetSize();
    if (size > Limit()) return Break({FCIERR_CAB_FORMAT_LIMIT});
    if (FStatus && FStatus(statusCabinet, static_cast<uint32_t>(size), static_cast<uint32_t>(size), FUser) == -1) {
      return Break({FCIERR_USER_ABORT});
    }
    if (TFailure f = WriteCabinet(size)) return Break(f);

    DropTemp();
    FFolders.clear();
    FRecords.clear();
    FRecordsSize = 0;
    FFolderUnpacked = 0;
    if (GetNext) {
      ++FCab.iCab;
      if (!NextCabinet || !NextCabinet(&FCab, static_cast<uint32_t>(size), FUser)) return Break({FCIERR_USER_ABORT});
    }
    return {};
  }

  TFailure Break(TFailure F) {
    FBroken = F;
    return F;
  }

 private:
  PERF FErf;
  PFNCABFREE FFree;
  PFNFCIFILEPLACED FPlaced;
  TCabFiles FFiles;
  PFNFCIGETTEMPFILE FGetTemp;
  CCAB FCab;
  void* FUser;
  PFNFCISTATUS FStatus = nullptr;
  TFailure FBroken;

  std::vector<TFolderRecord> FFolders;
  std::vector<TFileRecord> FRecords;
  UInt64 FRecordsSize = 0;

  // The open folder: its coder and the frame being filled.
  bool FFolderOpen = false;
  TCOMP FType = 0;
  std::unique_ptr<TFrameCoder> FCoder;
  std::vector<Byte> FFrame = std::vector<Byte>(kCabFrameSize);
  std::size_t FFill = 0;
  UInt64 FFolderUnpacked = 0;
  std::vector<Byte> FCoded;

  // The data blocks: the temporary file and what is waiting to go to it.
  std::string FTempName;
  intptr_t FTemp = -1;
  UInt64 FTempSize = 0;
  std::vector<Byte> FPending;

  bool HasReserve() const {
    return FCab.cbReserveCFHeader != 0 || FCab.cbReserveCFFolder != 0 || FCab.cbReserveCFData != 0;
  }
  UInt64 HeaderSize() const { return kCabFixedHeaderSize + (HasReserve() ? 4 + FCab.cbReserveCFHeader : 0); }
  UInt64 FolderRecordSize() const { return kCabFolderSize + FCab.cbReserveCFFolder; }
  UInt64 DataHeaderSize() const { return 8 + FCab.cbReserveCFData; }
  UInt64 Limit() const { return FCab.cb == 0 ? kMaxCabinet : std::min<UInt64>(FCab.cb, kMaxCabinet); }
  // The cabinet's size with what it holds now (a frame being filled counts
  // as stored).
  UInt64 CabinetSize() const {
    const UInt64 pending = FFill ? DataHeaderSize() + FFill : 0;
    return HeaderSize() + FFolders.size() * FolderRecordSize() + FRecordsSize + FTempSize + FPending.size() + pending;
  }

  TFailure OpenFolder(TCOMP Type) {
    FCoder = MakeFrameCoder(Type);
    if (!FCoder) return {FCIERR_MCI_FAIL};
    TFolderRecord folder;
    folder.DataStart = FTempSize + FPending.size();
    folder.Type = FolderWord(Type);
    FFolders.push_back(folder);
    FFolderOpen = true;
    FType = Type;
    FFolderUnpacked = 0;
    FFill = 0;
    return {};
  }

  TFailure CloseFolder() {
    if (FFill > 0) {
      if (TFailure f = EmitBlock()) return f;
    }
    FFolderOpen = false;
    FCoder.reset();
    const auto size = static_cast<uint32_t>(FFolders.back().DataSize);
    if (FStatus && FStatus(statusFolder, size, size, FUser) == -1) return {FCIERR_USER_ABORT};
    return {};
  }

  TFailure EmitBlock() {
    TFolderRecord& folder = FFolders.back();
    if (folder.Blocks >= kMaxCount) return {FCIERR_CAB_FORMAT_LIMIT};
    if (!FCoder->Code(FFrame.data(), FFill, FCoded) || FCoded.size() > kCabMaxPacked) return {FCIERR_MCI_FAIL};
    const std::size_t head = static_cast<std::size_t>(DataHeaderSize());
    const std::size_t at = FPending.size();
    FPending.resize(at + head + FCoded.size());
    Byte* p = FPending.data() + at;
    PutLE32(p, CabBlockChecksum(FCoded.data(), FCoded.size(), FFill));
    PutLE16(p + 4, static_cast<UInt16>(FCoded.size()));
    PutLE16(p + 6, static_cast<UInt16>(FFill));
    std::memset(p + 8, 0, head - 8);
    std::memcpy(p + head, FCoded.data(), FCoded.size());
    ++folder.Blocks;
    folder.DataSize += head + FCoded.size();
    FFolderUnpacked += FFill;
    const std::size_t unpacked = FFill;
    FFill = 0;
    if (CabinetSize() > Limit()) return {FCIERR_CAB_FORMAT_LIMIT};
    if (FPending.size() >= kIoBlock) {
      if (TFailure f = FlushTemp()) return f;
    }
    if (FStatus &&
        FStatus(statusFile, static_cast<uint32_t>(FCoded.size()), static_cast<uint32_t>(unpacked), FUser) == -1) {
      return {FCIERR_USER_ABORT};
    }
    return {};
  }

  TFailure FlushTemp() {
    if (FPending.empty()) return {};
    if (FTemp == -1) {
      char name[CB_MAX_CAB_PATH] = {};
      if (!FGetTemp(name, sizeof name, FUser) || !std::memchr(name, 0, sizeof name) || name[0] == 0) {
        return {FCIERR_TEMP_FILE};
      }
      FTemp = FFiles.Open(name, CAB_O_RDWR | CAB_O_CREAT | CAB_O_EXCL | CAB_O_BINARY, CAB_S_IREAD | CAB_S_IWRITE);
      if (FTemp == -1) return {FCIERR_TEMP_FILE, FFiles.LastError};
      FTempName = name;
    }
    if (!FFiles.WriteAll(FTemp, FPending.data(), FPending.size())) return {FCIERR_TEMP_FILE, FFiles.LastError};
    FTempSize += FPending.size();
    FPending.clear();
    return {};
  }

  void DropTemp() {
    if (FTemp == -1) return;
    FFiles.Close(FTemp);
    FFiles.Delete(FTempName);
    FTemp = -1;
    FTempName.clear();
    FTempSize = 0;
  }

  // Header, folder records and file records.
  std::vector<Byte> Records(UInt64 Size) const {
    std::vector<Byte> out(static_cast<std::size_t>(HeaderSize() + FFolders.size() * FolderRecordSize()), 0);
    Byte* h = out.data();
    std::memcpy(h, "MSCF", 4);
    const UInt64 filesAt = out.size();
    const UInt64 dataAt = filesAt + FRecordsSize;
    PutLE32(h + 8, static_cast<UInt32>(Size));
    PutLE32(h + 16, static_cast<UInt32>(filesAt));
    h[24] = 3;
    h[25] = 1;
    PutLE16(h + 26, static_cast<UInt16>(FFolders.size()));
    PutLE16(h + 28, static_cast<UInt16>(FRecords.size()));
    PutLE16(h + 30, HasReserve() ? kCabFlagReservePresent : 0);
    PutLE16(h + 32, FCab.setID);
    PutLE16(h + 34, static_cast<UInt16>(FCab.iCab));
    if (HasReserve()) {
      PutLE16(h + 36, static_cast<UInt16>(FCab.cbReserveCFHeader));
      h[38] = static_cast<Byte>(FCab.cbReserveCFFolder);
      h[39] = static_cast<Byte>(FCab.cbReserveCFData);
    }
    Byte* f = h + HeaderSize();
    for (const TFolderRecord& folder : FFolders) {
      PutLE32(f, static_cast<UInt32>(dataAt + folder.DataStart));
      PutLE16(f + 4, static_cast<UInt16>(folder.Blocks));
      PutLE16(f + 6, folder.Type);
      f += FolderRecordSize();
    }
    for (const TFileRecord& r : FRecords) {
      Byte rec[kCabFileRecordSize];
      PutLE32(rec, r.Size);
      PutLE32(rec + 4, r.Offset);
      PutLE16(rec + 8, r.Folder);
      PutLE16(rec + 10, r.Date);
      PutLE16(rec + 12, r.Time);
      PutLE16(rec + 14, r.Attributes);
      out.insert(out.end(), rec, rec + sizeof rec);
      out.insert(out.end(), r.Name.begin(), r.Name.end());
      out.push_back(0);
    }
    return out;
  }

  // Writes the cabinet of Size bytes; a cabinet that fails is deleted.
  TFailure WriteCabinet(UInt64 Size) {
    const std::string name =
        JoinCabPath(FCab.szCabPath, std::string(FCab.szCab, strnlen(FCab.szCab, sizeof FCab.szCab)));
    const intptr_t cab =
        FFiles.Open(name, CAB_O_RDWR | CAB_O_CREAT | CAB_O_TRUNC | CAB_O_BINARY, CAB_S_IREAD | CAB_S_IWRITE);
    if (cab == -1) return {FCIERR_CAB_FILE, FFiles.LastError};
    TFailure failure = CopyInto(cab, Size);
    if (!FFiles.Close(cab) && !failure) failure = {FCIERR_CAB_FILE, FFiles.LastError};
    if (failure) FFiles.Delete(name);
    return failure;
  }

  TFailure CopyInto(intptr_t Cab, UInt64 Size) {
    const std::vector<Byte> records = Records(Size);
    if (!FFiles.WriteAll(Cab, records.data(), records.size())) return {FCIERR_CAB_FILE, FFiles.LastError};
    if (FTemp == -1) return {};
    if (FFiles.Seek(FTemp, 0, 0) != 0) return {FCIERR_TEMP_FILE, FFiles.LastError};
    std::vector<Byte> buf(kIoBlock);
    for (UInt64 left = FTempSize; left > 0;) {
      const auto step = static_cast<std::size_t>(std::min<UInt64>(left, buf.size()));
      FFiles.LastError = 0;
      if (!FFiles.ReadAll(FTemp, buf.data(), step)) return {FCIERR_TEMP_FILE, FFiles.LastError};
      if (!FFiles.WriteAll(Cab, buf.data(), step)) return {FCIERR_CAB_FILE, FFiles.LastError};
      left -= step;
    }
    return {};
  }
};

int Answer(TFci* Fci, TFailure F) {
  if (!F) return 1;
  SetError(Fci->Erf(), F.Oper, F.Type);
  return 0;
}

// Runs one entry point's work; a failure to get memory breaks the context.
template <class Work>
int Guarded(HFCI hfci, Work&& Do) {
  auto* fci = static_cast<TFci*>(hfci);
  if (!fci) return 0;
  ClearError(fci->Erf());
  try {
    return Answer(fci, Do(*fci));
  } catch (const std::bad_alloc&) {
    return Answer(fci, fci->Break({FCIERR_ALLOC_FAIL}));
  } catch (...) {
    return Answer(fci, fci->Break({FCIERR_MCI_FAIL}));
  }
}

}  // namespace
}  // namespace vsk::cab

using namespace vsk::cab;

CABINET_EXPORT HFCI FCICreate(PERF perf, PFNFCIFILEPLACED pfnfcifp, PFNCABALLOC pfna, PFNCABFREE pfnf,
                              PFNCABOPEN pfnopen, PFNCABREAD pfnread, PFNCABWRITE pfnwrite, PFNCABCLOSE pfnclose,
                              PFNCABSEEK pfnseek, PFNCABDELETE pfndelete, PFNFCIGETTEMPFILE pfnfcigtf, PCCAB pccab,
                              void* pv) {
  ClearError(perf);
  if (!pfnfcifp || !pfna || !pfnf || !pfnopen || !pfnread || !pfnwrite || !pfnclose || !pfnseek || !pfndelete ||
      !pfnfcigtf || !pccab) {
    SetError(perf, FCIERR_MCI_FAIL);
    return nullptr;
  }
  if (pccab->cbReserveCFHeader > 60000 || pccab->cbReserveCFFolder > 255 || pccab->cbReserveCFData > 255) {
    SetError(perf, FCIERR_CAB_FORMAT_LIMIT);
    return nullptr;
  }
  try {
    auto* fci =
        NewIn<TFci>(pfna, perf, pfnf, pfnfcifp, TCabFiles(pfnopen, pfnread, pfnwrite, pfnclose, pfnseek, pfndelete, pv),
                    pfnfcigtf, *pccab, pv);
    if (!fci) SetError(perf, FCIERR_ALLOC_FAIL);
    return fci;
  } catch (...) {
    SetError(perf, FCIERR_ALLOC_FAIL);
    return nullptr;
  }
}

CABINET_EXPORT int FCIAddFile(HFCI hfci, const char* pszSourceFile, const char* pszFileName, int fExecute,
                              PFNFCIGETNEXTCABINET, PFNFCISTATUS pfnfcis, PFNFCIGETOPENINFO pfnfcigoi,
                              TCOMP typeCompress) {
  return Guarded(hfci, [&](TFci& fci) {
    return fci.AddFile(pszSourceFile, pszFileName, fExecute != 0, pfnfcis, pfnfcigoi, typeCompress);
  });
}

CABINET_EXPORT int FCIFlushCabinet(HFCI hfci, int fGetNextCab, PFNFCIGETNEXTCABINET pfnfcignc, PFNFCISTATUS pfnfcis) {
  return Guarded(hfci, [&](TFci& fci) { return fci.FlushCabinet(fGetNextCab != 0, pfnfcignc, pfnfcis); });
}

CABINET_EXPORT int FCIFlushFolder(HFCI hfci, PFNFCIGETNEXTCABINET, PFNFCISTATUS pfnfcis) {
  return Guarded(hfci, [&](TFci& fci) { return fci.FlushFolder(pfnfcis); });
}

CABINET_EXPORT int FCIDestroy(HFCI hfci) {
  auto* fci = static_cast<TFci*>(hfci);
  if (!fci) return 0;
  DeleteIn(fci->Free(), fci);
  return 1;
}
