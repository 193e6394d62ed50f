// The RAR library over libarchive. libarchive decodes (RAR 1.5-4.x and
// RAR5, solid archives) from one stream that this file feeds volume after
// volume, from the marker on, asking the caller for each next volume. The
// stored headers are read beside it from the volume files (TRarVolume),
// since libarchive gives neither the stored CRC nor the DOS fields. Each
// libarchive entry is paired with the next stored file header; an entry
// whose name or size does not agree is refused as a damaged header.

#include "libs/rar/unrarlib.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "base/records/rarheader.h"
#include "base/stagedfile.h"
#include "libs/rar/rarvolume.h"

namespace vsk::unrar {

namespace {

// What libarchive is handed per read.
constexpr std::size_t kStreamBlock = 256 * 1024;
constexpr std::size_t kPasswordSize = 512;

void CopyText(char* Out, std::size_t Size, const std::string& Text) {
  const std::size_t n = std::min(Size - 1, Text.size());
  std::memcpy(Out, Text.data(), n);
  Out[n] = '\0';
}

// A name as both sides give it: "/" between folders, no trailing "/".
std::string Normalised(std::string Name) {
  std::replace(Name.begin(), Name.end(), '\\', '/');
  while (!Name.empty() && Name.back() == '/') Name.pop_back();
  return Name;
}

struct TVolumeFile {
  std::string Name;
  int Fd = -1;
  dev_t Dev = 0;
  ino_t Ino = 0;
  TRarVolume Headers;
};

class TRarArchive {
 public:
  ~TRarArchive();
  int Open(RAROpenArchiveData& Data);
  int ReadHeader(RARHeaderData& Header);
  int ProcessFile(int Operation, const char* DestName);
  void SetCallback(RARCallback Callback, intptr_t UserData) {
    Callback_ = Callback;
    UserData_ = UserData;
  }

 private:
  // Nothing may unwind through libarchive.
  static la_ssize_t ReadProxy(struct archive* A, void* Self, const void** Buffer) {
    auto* self = static_cast<TRarArchive*>(Self);
    try {
      return self->Read(Buffer);
    } catch (...) {
      self->StreamFailure_ = ERAR_NO_MEMORY;
      archive_set_error(A, ENOMEM, "out of memory");
      return -1;
    }
  }
  static la_int64_t SkipProxy(struct archive*, void* Self, la_int64_t Request) {
    auto* self = static_cast<TRarArchive*>(Self);
    try {
      return self->Skip(Request);
    } catch (...) {
      self->StreamFailure_ = ERAR_NO_MEMORY;
      return 0;
    }
  }
  la_ssize_t Read(const void** Buffer);
  la_int64_t Skip(la_int64_t Request);
  bool OpenNextVolume();
  void CloseBehind();
  bool NextStoredEntry(TRarEntryInfo& Entry, std::string& Volume);
  // The header of the last part of the split file in work, read from the
  // volumes opened for its data; false when it is not there.
  bool LastPart(TRarEntryInfo& Last);
  void ReadComment(RAROpenArchiveData& Data);
  // The cause a stream callback recorded, else Fallback.
  int Failure(int Fallback) const { return StreamFailure_ ? StreamFailure_ : Fallback; }
  // Data that ends with its volume is cut short, else damaged.
  int DataFailure() const { return Entry_.CutShort ? ERAR_EREAD : ERAR_BAD_DATA; }
  int Notify(unsigned Msg, intptr_t P1, intptr_t P2) { return Callback_ ? Callback_(Msg, UserData_, P1, P2) : 0; }
  int AskPassword();
  int SkipData();
  int StreamData(int Out);
  int StreamLink();
  int ExtractTo(const char* Name);
  bool IsVolume(const struct stat& St) const;

  std::vector<std::unique_ptr<TVolumeFile>> Volumes_;
  std::size_t StreamVolume_ = 0;
  std::size_t HeaderVolume_ = 0;
  struct archive* A_ = nullptr;
  std::vector<char> Buffer_;
  RARCallback Callback_ = nullptr;
  intptr_t UserData_ = 0;
  int StreamFailure_ = ERAR_SUCCESS;
  bool HaveEntry_ = false;
  TRarEntryInfo Entry_;
  bool PendingSplit_ = false;
  std::string PendingName_;
};

TRarArchive::~TRarArchive() {
  if (A_) archive_read_free(A_);
  for (auto& v : Volumes_)
    if (v->Fd >= 0) ::close(v->Fd);
}

int TRarArchive::Open(RAROpenArchiveData& Data) {
  if (Data.ArcName == nullptr || *Data.ArcName == '\0') return ERAR_EOPEN;
  if (Data.OpenMode != RAR_OM_EXTRACT) return ERAR_BAD_ARCHIVE;
  auto v = std::make_unique<TVolumeFile>();
  v->Name = Data.ArcName;
  v->Fd = ::open(Data.ArcName, O_RDONLY | O_CLOEXEC);
  if (v->Fd < 0) return ERAR_EOPEN;
  struct stat st;
  if (fstat(v->Fd, &st) != 0 || !S_ISREG(st.st_mode)) return ::close(v->Fd), ERAR_EOPEN;
  v->Dev = st.st_dev;
  v->Ino = st.st_ino;
  Volumes_.push_back(std::move(v));
  if (const int r = Volumes_[0]->Headers.Open(Volumes_[0]->Fd, true); r != ERAR_SUCCESS) return r;
  // libarchive gets the archive from its marker on: a self-extractor's
  // program is passed over here, however small it is, and no read while
  // opening runs past the end of a first volume.
  if (lseek(Volumes_[0]->Fd, static_cast<off_t>(Volumes_[0]->Headers.Start), SEEK_SET) < 0) return ERAR_EREAD;

  Buffer_.resize(kStreamBlock);
  A_ = archive_read_new();
  if (A_ == nullptr) return ERAR_NO_MEMORY;
  archive_read_support_format_rar(A_);
  archive_read_support_format_rar5(A_);
  archive_read_set_read_callback(A_, ReadProxy);
  archive_read_set_skip_callback(A_, SkipProxy);
  archive_read_set_callback_data(A_, this);
  if (archive_read_open1(A_) != ARCHIVE_OK) return Failure(ERAR_BAD_ARCHIVE);
  ReadComment(Data);
  return ERAR_SUCCESS;
}

void TRarArchive::ReadComment(RAROpenArchiveData& Data) {
  Data.CmtSize = 0;
  Data.CmtState = 0;
  if (Data.CmtBuf == nullptr || Data.CmtBufSize == 0) return;
  Data.CmtBuf[0] = '\0';
  const TRarVolume& first = Volumes_[0]->Headers;
  const TRarComment& c = first.Comment;
  if (!c.Present) return;
  if (!c.Stored) {
    Data.CmtState = ERAR_UNKNOWN_FORMAT;
    return;
  }
  const std::size_t n = static_cast<std::size_t>(std::min<UInt64>(c.Size, Data.CmtBufSize - 1));
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = pread(Volumes_[0]->Fd, Data.CmtBuf + done, n - done, static_cast<off_t>(c.Offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  Data.CmtBuf[done] = '\0';
  if (done < n ||
      (c.HasCrc && n == c.Size && crc32(0, reinterpret_cast<Bytef*>(Data.CmtBuf), static_cast<uInt>(n)) != c.Crc)) {
    Data.CmtBuf[0] = '\0';
    Data.CmtState = done < n ? ERAR_EREAD : ERAR_BAD_DATA;
    return;
  }
  Data.CmtSize = static_cast<unsigned>(n + 1);
  Data.CmtState = 1;
}

la_ssize_t TRarArchive::Read(const void** Buffer) {
  for (;;) {
    if (StreamFailure_) {
      archive_set_error(A_, EIO, "stopped");
      return -1;
    }
    TVolumeFile& v = *Volumes_[StreamVolume_];
    const ssize_t n = ::read(v.Fd, Buffer_.data(), Buffer_.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      StreamFailure_ = ERAR_EREAD;
      continue;
    }
    if (n > 0) {
      *Buffer = Buffer_.data();
      return n;
    }
    if (!v.Headers.ContinuesInNextVolume()) return 0;
    if (!OpenNextVolume()) StreamFailure_ = ERAR_VOLUME_BROKEN;
  }
}

// Skips within the current volume; libarchive reads whatever is left.
la_int64_t TRarArchive::Skip(la_int64_t Request) {
  if (StreamFailure_ || Request <= 0) return 0;
  TVolumeFile& v = *Volumes_[StreamVolume_];
  const off_t at = lseek(v.Fd, 0, SEEK_CUR);
  if (at < 0) return 0;
  const la_int64_t left = std::max<la_int64_t>(0, v.Headers.Size - at);
  const la_int64_t n = std::min(Request, left);
  if (n > 0 && lseek(v.Fd, static_cast<off_t>(n), SEEK_CUR) < 0) return 0;
  return n;
}

bool TRarArchive::OpenNextVolume() {
  if (Callback_ == nullptr) return false;
  const TVolumeFile& current = *Volumes_[StreamVolume_];
  char name[RAR_NAME_SIZE];
  CopyText(name, sizeof name, NextRarVolumeName(current.Name));
  if (Notify(UCM_CHANGEVOLUME, reinterpret_cast<intptr_t>(name), sizeof name) < 0) return false;
  name[sizeof name - 1] = '\0';
  auto v = std::make_unique<TVolumeFile>();
  v->Name = name;
  v->Fd = ::open(name, O_RDONLY | O_CLOEXEC);
  if (v->Fd < 0) return false;
  struct stat st;
  if (fstat(v->Fd, &st) != 0 || !S_ISREG(st.st_mode) || v->Headers.Open(v->Fd, false) != ERAR_SUCCESS ||
      v->Headers.Format != Volumes_[0]->Headers.Format || !v->Headers.IsVolume) {
    ::close(v->Fd);
    return false;
  }
  v->Dev = st.st_dev;
  v->Ino = st.st_ino;
  Volumes_.push_back(std::move(v));
  StreamVolume_ = Volumes_.size() - 1;
  CloseBehind();
  return true;
}

// Volumes that both the stream and the header walk have left are closed.
void TRarArchive::CloseBehind() {
  const std::size_t keep = std::min(StreamVolume_, HeaderVolume_);
  for (std::size_t i = 0; i < keep; ++i) {
    if (Volumes_[i]->Fd >= 0) {
      ::close(Volumes_[i]->Fd);
      Volumes_[i]->Fd = -1;
    }
  }
}

bool TRarArchive::IsVolume(const struct stat& St) const {
  return std::any_of(Volumes_.begin(), Volumes_.end(),
                     [&](const auto& v) { return v->Dev == St.st_dev && v->Ino == St.st_ino; });
}

// The next stored file header, over the volumes the stream has opened; the
// later parts of a file split over volumes belong to its first.
bool TRarArchive::NextStoredEntry(TRarEntryInfo& Entry, std::string& Volume) {
  for (;;) {
    TVolumeFile& v = *Volumes_[HeaderVolume_];
    if (v.Fd >= 0 && v.Headers.NextFile(Entry)) {
      if (PendingSplit_ && Entry.SplitBefore() && Entry.Name == PendingName_) {
        PendingSplit_ = Entry.SplitAfter();
        continue;
      }
      PendingSplit_ = Entry.SplitAfter();
      PendingName_ = Entry.Name;
      Volume = v.Name;
      return true;
    }
    if (HeaderVolume_ + 1 >= Volumes_.size()) return false;
    ++HeaderVolume_;
    CloseBehind();
  }
}

bool TRarArchive::LastPart(TRarEntryInfo& Last) {
  while (PendingSplit_) {
    TVolumeFile& v = *Volumes_[HeaderVolume_];
    TRarEntryInfo part;
    if (v.Fd >= 0 && v.Headers.NextFile(part)) {
      // A file in between is no part of it: the set is broken.
      if (!part.SplitBefore() || part.Name != PendingName_) return false;
      PendingSplit_ = part.SplitAfter();
      Last = std::move(part);
      continue;
    }
    if (HeaderVolume_ + 1 >= Volumes_.size()) return false;
    ++HeaderVolume_;
    CloseBehind();
  }
  return true;
}

int TRarArchive::ReadHeader(RARHeaderData& Header) {
  if (HaveEntry_) {
    // The caller did not process the last entry: it is skipped.
    HaveEntry_ = false;
    if (const int r = SkipData(); r != ERAR_SUCCESS) return r;
  }
  char* cmtBuf = Header.CmtBuf;
  const unsigned cmtBufSize = Header.CmtBufSize;
  std::memset(&Header, 0, sizeof Header);
  Header.CmtBuf = cmtBuf;
  Header.CmtBufSize = cmtBufSize;
  if (StreamFailure_) return StreamFailure_;

  struct archive_entry* e = nullptr;
  const int r = archive_read_next_header(A_, &e);
  if (r == ARCHIVE_EOF) return Failure(ERAR_END_ARCHIVE);
  if (r < ARCHIVE_WARN) return Failure(Volumes_[HeaderVolume_]->Headers.CutShortAhead() ? ERAR_EREAD : ERAR_BAD_DATA);

  TRarEntryInfo info;
  std::string volume;
  if (!NextStoredEntry(info, volume)) return ERAR_BAD_DATA;
  const char* decoded = archive_entry_pathname_utf8(e);
  if (decoded == nullptr) decoded = archive_entry_pathname(e);
  const std::string ours = Normalised(info.Name);
  const std::string theirs = Normalised(decoded ? decoded : "");
  if (IsAscii(ours) && IsAscii(theirs) && ours != theirs) return ERAR_BAD_DATA;
  if (!info.IsDirectory() && !info.IsLink() && archive_entry_size_is_set(e) &&
      static_cast<UInt64>(archive_entry_size(e)) != info.UnpSize)
    return ERAR_BAD_DATA;

  // libarchive reads the link targets (RAR 1.5-4.x keeps them as data).
  if (const char* target = archive_entry_symlink(e)) {
    if (info.RedirType == RAR_REDIR_NONE) info.RedirType = RAR_REDIR_UNIXSYMLINK;
    if (info.RedirName.empty()) info.RedirName = target;
  } else if (const char* link = archive_entry_hardlink(e)) {
    if (info.RedirType == RAR_REDIR_NONE) info.RedirType = RAR_REDIR_HARDLINK;
    if (info.RedirName.empty()) info.RedirName = link;
  }
  if (archive_entry_is_data_encrypted(e)) info.Flags |= RHDF_ENCRYPTED;

  CopyText(Header.ArcName, sizeof Header.ArcName, volume);
  std::replace(info.Name.begin(), info.Name.end(), '\\', '/');
  CopyText(Header.FileName, sizeof Header.FileName, info.Name);
  Header.Flags = info.Flags;
  Header.PackSize = info.PackSize;
  Header.UnpSize = info.UnpSize;
  Header.HostOS = info.HostOS;
  Header.FileCRC = info.FileCrc;
  Header.FileTime = info.FileTime;
  Header.UnpVer = info.UnpVer;
  Header.Method = info.Method;
  Header.FileAttr = info.Attributes;
  Header.RedirType = info.RedirType;
  Header.HashType = info.HasCrc ? RAR_HASH_CRC32 : RAR_HASH_NONE;
  CopyText(Header.RedirName, sizeof Header.RedirName, info.RedirName);
  Entry_ = std::move(info);
  HaveEntry_ = true;
  return ERAR_SUCCESS;
}

int TRarArchive::AskPassword() {
  char password[kPasswordSize] = {};
  const int answer = Notify(UCM_NEEDPASSWORD, reinterpret_cast<intptr_t>(password), sizeof password);
  explicit_bzero(password, sizeof password);
  return answer < 0 ? ERAR_VOLUME_BROKEN : ERAR_BAD_PASSWORD;
}

// In a solid archive every entry is decoded, wanted or not: the next one
// goes on from its state. Elsewhere libarchive passes over the data.
int TRarArchive::SkipData() {
  const bool decode = Volumes_[0]->Headers.Solid && !Entry_.Encrypted() && !Entry_.IsDirectory() && !Entry_.IsLink();
  if (!decode) return archive_read_data_skip(A_) == ARCHIVE_OK ? ERAR_SUCCESS : Failure(DataFailure());
  const void* buf = nullptr;
  std::size_t size = 0;
  la_int64_t offset = 0;
  int r;
  while ((r = archive_read_data_block(A_, &buf, &size, &offset)) == ARCHIVE_OK) {
  }
  return r == ARCHIVE_EOF ? ERAR_SUCCESS : Failure(DataFailure());
}

// Decoded data to Out (unless -1) and through the callback, checked
// against the entry's size and, for a whole file, its stored CRC.
int TRarArchive::StreamData(int Out) {
  uLong crc = crc32(0, nullptr, 0);
  UInt64 done = 0;
  for (;;) {
    const void* buf = nullptr;
    std::size_t size = 0;
    la_int64_t offset = 0;
    const int r = archive_read_data_block(A_, &buf, &size, &offset);
    if (r == ARCHIVE_EOF) break;
    // libarchive's own check of the stored CRC (of the last part for a
    // split file) fails here too.
    if (r < ARCHIVE_WARN) return Failure(DataFailure());
    if (offset < 0 || static_cast<UInt64>(offset) != done || size > Entry_.UnpSize - std::min(done, Entry_.UnpSize))
      return ERAR_BAD_DATA;
    if (size == 0) continue;
    for (std::size_t written = 0; Out >= 0 && written < size;) {
      const ssize_t n = ::write(Out, static_cast<const char*>(buf) + written, size - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return ERAR_EWRITE;
      written += static_cast<std::size_t>(n);
    }
    for (std::size_t at = 0; at < size;) {
      const uInt n = static_cast<uInt>(std::min<std::size_t>(size - at, 1u << 30));
      crc = crc32(crc, static_cast<const Bytef*>(buf) + at, n);
      at += n;
    }
    done += size;
    if (Notify(UCM_PROCESSDATA, reinterpret_cast<intptr_t>(buf), static_cast<intptr_t>(size)) < 0)
      return ERAR_VOLUME_BROKEN;
  }
  if (done != Entry_.UnpSize) return DataFailure();
  if (Entry_.SplitAfter()) {
    // The CRC of the whole file is stored with its last part.
    TRarEntryInfo last;
    if (!LastPart(last)) return ERAR_BAD_DATA;
    if (last.HasCrc && static_cast<UInt32>(crc) != last.FileCrc) return ERAR_BAD_DATA;
    return ERAR_SUCCESS;
  }
  if (Entry_.HasCrc && static_cast<UInt32>(crc) != Entry_.FileCrc) return ERAR_BAD_DATA;
  return ERAR_SUCCESS;
}

// A RAR 1.5-4.x link keeps its target as its data; RAR5 links have none.
int TRarArchive::StreamLink() {
  const std::string& target = Entry_.RedirName;
  if (Volumes_[0]->Headers.Format == TRarFormat::Rar5 || Entry_.UnpSize == 0) return ERAR_SUCCESS;
  if (target.size() != Entry_.UnpSize) return ERAR_BAD_DATA;
  if (Entry_.HasCrc &&
      crc32(0, reinterpret_cast<const Bytef*>(target.data()), static_cast<uInt>(target.size())) != Entry_.FileCrc)
    return ERAR_BAD_DATA;
  std::vector<char> copy(target.begin(), target.end());
  if (Notify(UCM_PROCESSDATA, reinterpret_cast<intptr_t>(copy.data()), static_cast<intptr_t>(copy.size())) < 0)
    return ERAR_VOLUME_BROKEN;
  return ERAR_SUCCESS;
}

// The entry written to Name. A file without a name (the caller's own,
// named through /proc/self/fd) is written in place. Otherwise the entry is
// written beside the name and takes it only once it is complete and sound:
// what stands there is never opened (a hard link to a file elsewhere stays
// as it was) and, on a failure or a cancel, stays as it stood. Only a
// plain file that is no volume of the archive is replaced.
int TRarArchive::ExtractTo(const char* Name) {
  struct stat st;
  if (stat(Name, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 0) {
    const int out = ::open(Name, O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (out < 0) return ERAR_ECREATE;
    int r = StreamData(out);
    if (::close(out) != 0 && r == ERAR_SUCCESS) r = ERAR_ECLOSE;
    return r;
  }
  if (lstat(Name, &st) == 0 && (!S_ISREG(st.st_mode) || IsVolume(st))) return ERAR_ECREATE;
  const std::string path = Name;
  const auto slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
  if (leaf.empty()) return ERAR_ECREATE;
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return ERAR_ECREATE;
  int r = ERAR_ECREATE;
  {
    TStagedFile staged(dir, leaf);
    if (staged.Open()) {
      r = StreamData(staged.Handle());
      if (r == ERAR_SUCCESS && !staged.Place(true)) r = ERAR_EWRITE;
    }
  }
  ::close(dir);
  return r;
}

int TRarArchive::ProcessFile(int Operation, const char* DestName) {
  if (!HaveEntry_) return ERAR_BAD_ARCHIVE;
  HaveEntry_ = false;
  if (StreamFailure_) return StreamFailure_;
  if (Operation == RAR_SKIP) return SkipData();
  if (Operation != RAR_TEST && Operation != RAR_EXTRACT) return ERAR_BAD_ARCHIVE;
  const bool extract = Operation == RAR_EXTRACT;
  if (extract && (DestName == nullptr || *DestName == '\0')) return ERAR_BAD_ARCHIVE;

  if (Entry_.Encrypted()) return AskPassword();
  if (Entry_.IsDirectory()) {
    if (!extract) return ERAR_SUCCESS;
    struct stat st;
    if (mkdir(DestName, 0777) == 0 || (errno == EEXIST && lstat(DestName, &st) == 0 && S_ISDIR(st.st_mode)))
      return ERAR_SUCCESS;
    return ERAR_ECREATE;
  }
  if (Entry_.IsLink()) return extract ? ERAR_ECREATE : StreamLink();
  if (!extract) return StreamData(-1);

  return ExtractTo(DestName);
}

template <class F>
int Guarded(F Body) {
  try {
    return Body();
  } catch (const std::bad_alloc&) {
    return ERAR_NO_MEMORY;
  } catch (...) {
    return ERAR_BAD_DATA;
  }
}

}  // namespace

}  // namespace vsk::unrar

using vsk::unrar::Guarded;
using vsk::unrar::TRarArchive;

extern "C" {

RARHANDLE RAROpenArchive(RAROpenArchiveData* ArchiveData) {
  if (ArchiveData == nullptr) return nullptr;
  TRarArchive* handle = nullptr;
  const int r = Guarded([&] {
    auto a = std::make_unique<TRarArchive>();
    const int opened = a->Open(*ArchiveData);
    if (opened == ERAR_SUCCESS) handle = a.release();
    return opened;
  });
  ArchiveData->OpenResult = static_cast<unsigned>(r);
  return handle;
}

int RARCloseArchive(RARHANDLE Handle) {
  if (Handle == nullptr) return ERAR_ECLOSE;
  delete static_cast<TRarArchive*>(Handle);
  return ERAR_SUCCESS;
}

int RARReadHeader(RARHANDLE Handle, RARHeaderData* HeaderData) {
  if (Handle == nullptr || HeaderData == nullptr) return ERAR_BAD_ARCHIVE;
  return Guarded([&] { return static_cast<TRarArchive*>(Handle)->ReadHeader(*HeaderData); });
}

int RARProcessFile(RARHANDLE Handle, int Operation, const char* DestPath, const char* DestName) {
  (void)DestPath;  // entries go to the name the caller made, never to a stored path
  if (Handle == nullptr) return ERAR_BAD_ARCHIVE;
  return Guarded([&] { return static_cast<TRarArchive*>(Handle)->ProcessFile(Operation, DestName); });
}

void RARSetCallback(RARHANDLE Handle, RARCallback Callback, intptr_t UserData) {
  if (Handle != nullptr) static_cast<TRarArchive*>(Handle)->SetCallback(Callback, UserData);
}

}  // extern "C"
