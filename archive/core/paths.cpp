#include "archive/core/paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "base/dates.h"
#include "base/stream.h"
#include "base/codepage.h"
#include "platform/trash.h"

namespace vsk {
namespace {

constexpr bool IsSep(char c) { return c == '/' || c == '\\'; }

std::string_view BaseName(std::string_view path) {
  const auto p = path.find_last_of("/\\");
  return p == std::string_view::npos ? path : path.substr(p + 1);
}

Int32 AttributesOf(const struct stat& st, std::string_view name) {
  Int32 a;
  if (S_ISDIR(st.st_mode))
    a = faDirectory;
  else if (S_ISREG(st.st_mode))
    a = faArchive;
  else
    a = faSysFile;
  if ((st.st_mode & S_IWUSR) == 0) a |= faReadOnly;
  if (name.size() > 1 && name[0] == '.' && name != "..") a |= faHidden;
  return a;
}

// "*" any run of characters, "?" one character (a whole UTF-8 sequence).
bool MaskMatches(std::string_view mask, std::string_view name) {
  std::size_t m = 0, n = 0, starM = std::string_view::npos, starN = 0;
  auto charLen = [&](std::size_t i) {
    std::size_t j = i + 1;
    while (j < name.size() && (static_cast<Byte>(name[j]) & 0xC0) == 0x80) ++j;
    return j - i;
  };
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starM = m++;
      starN = n;
    } else if (m < mask.size() && mask[m] == '?') {
      ++m;
      n += charLen(n);
    } else if (m < mask.size() && mask[m] == name[n]) {
      ++m;
      ++n;
    } else if (starM != std::string_view::npos) {
      m = starM + 1;
      starN += charLen(starN);
      n = starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace

std::string OemToAnsiName(std::string_view Name, bool Translate) {
  std::string r = Translate ? DecodeStoredName(Name, false) : std::string(Name);
  std::replace(r.begin(), r.end(), '\\', '/');
  return r;
}

std::string AnsiToOemName(std::string_view Name, bool Translate, char Separator) {
  std::string r = AnsiToOem(Name, Translate);
  for (char& c : r)
    if (IsSep(c)) c = Separator;
  return r;
}

std::string AnsiToOemName(std::string_view Name, bool Translate, char Separator, bool& Utf8Flag) {
  TStoredName s = Translate ? EncodeStoredName(Name, true) : TStoredName{std::string(Name), false};
  if (!Translate) s.Utf8Flag = !IsAscii(Name) && IsValidUtf8(Name);
  for (char& c : s.Bytes)
    if (IsSep(c)) c = Separator;
  Utf8Flag = s.Utf8Flag;
  return std::move(s.Bytes);
}

std::string AnsiToOem(std::string_view Name, bool Translate) {
  if (!Translate) return std::string(Name);
  return EncodeStoredName(Name, false).Bytes;
}

Int32 FileDosAttributes(const std::string& Path) {
  struct stat st;
  if (Path.empty() || stat(Path.c_str(), &st) != 0) return -1;
  std::string_view p = Path;
  while (p.size() > 1 && p.back() == '/') p.remove_suffix(1);
  return AttributesOf(st, BaseName(p));
}

bool DirectoryExists(const std::string& Path) {
  struct stat st;
  return !Path.empty() && stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& Path) {
  if (Path.empty()) return false;
  std::string p = Path;
  std::replace(p.begin(), p.end(), '\\', '/');
  for (std::size_t i = 1; i <= p.size(); ++i) {
    if (i < p.size() && p[i] != '/') continue;
    if (p[i - 1] == '/') continue;
    const std::string level = p.substr(0, i);
    if (!DirectoryExists(level) && mkdir(level.c_str(), 0777) != 0 && errno != EEXIST) break;
  }
  return DirectoryExists(p);
}

bool IsPlainFile(const std::string& Name) {
  const Int32 a = FileDosAttributes(Name);
  return a >= 0 && (a & (faDirectory | faReadOnly | faSysFile | faHidden)) == 0;
}

bool DirHasEntries(const std::string& Dir) {
  TSearchRec f;
  return FindFirst(JoinPath(Dir.empty() ? "." : Dir, "*"), faAnyFile, f) == 0;
}

std::string BackupName(std::string_view Name) {
  const std::size_t base = Name.size() - BaseName(Name).size();
  const auto dot = Name.find_last_of('.');
  if (dot == std::string_view::npos || dot < base) return std::string(Name) + ".~";
  const std::string_view ext = Name.substr(dot);  // with its dot
  std::string r(Name.substr(0, dot));
  r += ".~";
  r.append(ext.size() >= 4 ? ext.substr(1, ext.size() - 2) : ext.substr(1));
  return r;
}

std::string SplitAt(std::string& Text, std::string_view Separator) {
  const auto p = Separator.empty() ? std::string::npos : Text.find(Separator);
  std::string head;
  if (p == std::string::npos) {
    head.swap(Text);
  } else {
    head = Text.substr(0, p);
    Text.erase(0, p + Separator.size());
  }
  return head;
}

bool IsAllDigits(std::string_view Text) {
  return std::all_of(Text.begin(), Text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsGzipMagic(Byte B0, Byte B1) {
  return B0 == 0x1F && (B1 == 0x8B || B1 == 0x9E || B1 == 0x9D || B1 == 0xA0 || B1 == 0x1E);
}

bool IsGzipMagic(UInt16 Word) { return IsGzipMagic(static_cast<Byte>(Word & 0xFF), static_cast<Byte>(Word >> 8)); }

std::string ReadZString(TStream32& Stream, Int64& Pos) {
  char buf[256];
  Int32 got = 0;
  if (Stream.Seek(Pos, soBeginning) == Pos) got = std::max<Int32>(0, Stream.Read(buf, sizeof buf));
  const char* end = std::find(buf, buf + got, '\0');
  std::string r(static_cast<const char*>(buf), end);
  Pos += static_cast<Int64>(r.size()) + 1;
  return r;
}

std::string ReadFixedString(TStream32& Stream, Int64& Pos, Int32 Len) {
  if (Len <= 0) return {};
  std::string r;
  if (Stream.Seek(Pos, soBeginning) == Pos) {
    // The length is untrusted: never allocate past what the stream holds.
    const Int64 avail = std::max<Int64>(0, Stream.Size() - Pos);
    r.resize(static_cast<std::size_t>(std::min<Int64>(Len, avail)));
    const Int32 got = r.empty() ? 0 : Stream.Read(r.data(), static_cast<Int32>(r.size()));
    r.resize(static_cast<std::size_t>(std::max<Int32>(0, got)));
  }
  Pos += Len;
  return r;
}

std::string ShiftText(bool Decrease, std::string_view Text, int Delta) {
  std::string r(Text);
  const int d = Decrease ? -Delta : Delta;
  for (char& c : r) c = static_cast<char>(static_cast<Byte>(static_cast<Byte>(c) + d));
  return r;
}

std::string GetTempPath() {
  std::string dir;
  if (const char* t = std::getenv("TMPDIR"); t && *t && DirectoryExists(t)) dir = t;
  if (dir.empty()) dir = "/tmp";
  if (!DirectoryExists(dir)) return {};
  dir = AppendSlash(dir);
  return dir.size() > 259 ? std::string() : dir;
}

bool DeleteFileEx(const std::string& Name, TDeleteOptions Option) {
  if (Name.empty()) return false;
  if (Option == doAllowUndo) return MoveToTrash(Name);
  return unlink(Name.c_str()) == 0;
}

struct TSearchRec::TListing {
  DIR* Dir = nullptr;
  std::string Folder;
  std::string Mask;
  Int32 Attr = 0;
  ~TListing() {
    if (Dir) closedir(Dir);
  }
};

TSearchRec::TSearchRec() = default;
TSearchRec::~TSearchRec() = default;
TSearchRec::TSearchRec(TSearchRec&&) noexcept = default;
TSearchRec& TSearchRec::operator=(TSearchRec&&) noexcept = default;

int FindFirst(const std::string& Path, Int32 Attr, TSearchRec& F) {
  FindClose(F);
  const auto sep = Path.find_last_of("/\\");
  auto l = std::make_unique<TSearchRec::TListing>();
  l->Folder = sep == std::string::npos ? "." : Path.substr(0, sep == 0 ? 1 : sep);
  l->Mask = sep == std::string::npos ? Path : Path.substr(sep + 1);
  if (l->Mask == "*.*") l->Mask = "*";
  l->Attr = Attr;
  if (l->Mask.empty()) return ENOENT;
  l->Dir = opendir(l->Folder.c_str());
  if (!l->Dir) return errno != 0 ? errno : ENOENT;
  F.Listing = std::move(l);
  const int r = FindNext(F);
  if (r != 0) FindClose(F);
  return r;
}

int FindNext(TSearchRec& F) {
  TSearchRec::TListing* l = F.Listing.get();
  if (!l || !l->Dir) return EBADF;
  const Int32 excluded = (faHidden | faSysFile | faDirectory) & ~l->Attr;
  for (;;) {
    errno = 0;
    const dirent* e = readdir(l->Dir);
    if (!e) return errno != 0 ? errno : ENOENT;
    const std::string_view name = e->d_name;
    if (name == "." || name == ".." || !MaskMatches(l->Mask, name)) continue;
    struct stat st;
    const std::string full = JoinPath(l->Folder, name);
    // A link whose target is gone is still listed, as what it is.
    if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0) continue;
    const Int32 a = AttributesOf(st, name);
    if ((a & excluded) != 0) continue;
    F.Name = name;
    F.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<Int64>(st.st_size);
    F.Attr = a;
    F.Time = FileTimeToLocalDos(st.st_mtim);
    return 0;
  }
}

void FindClose(TSearchRec& F) { F.Listing.reset(); }

}  // namespace vsk
