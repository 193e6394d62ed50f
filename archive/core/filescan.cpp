#include "archive/core/filescan.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string_view>
#include <utility>

#include "base/dates.h"
#include "archive/core/paths.h"
#include "base/pump.h"
#include "base/textcase.h"
#include "base/paths.h"

namespace vsk {

namespace {

using TFileId = std::pair<dev_t, ino_t>;

// The DOS attributes of a listed entry, by the rule FileDosAttributes uses.
UInt32 DosAttributes(const struct stat& st, std::string_view name) {
  UInt32 a = S_ISDIR(st.st_mode) ? 0x10 : S_ISREG(st.st_mode) ? 0x20 : 0x04;
  if ((st.st_mode & S_IWUSR) == 0) a |= 0x01;
  if (name.size() > 1 && name[0] == '.' && name != "..") a |= 0x02;
  return a;
}

int AsciiCompare(std::string_view a, std::string_view b, bool caseSensitive) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(caseSensitive ? a[i] : AsciiUpper(a[i]));
    const auto y = static_cast<unsigned char>(caseSensitive ? b[i] : AsciiUpper(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

template <class T>
int Sign(T a, T b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

bool HasWildcard(std::string_view mask) { return mask.find_first_of("*?") != std::string_view::npos; }

// Mount points in /proc/self/mounts are written with octal escapes.
std::string UnescapeMount(std::string_view s) {
  std::string r;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' && s[i + 2] >= '0' &&
        s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
      r.push_back(static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0')));
      i += 3;
    } else {
      r.push_back(s[i]);
    }
  }
  return r;
}

// Mount points of kernel and virtual file systems, which hold no user files
// and are not walked when every file system is scanned.
std::set<std::string> PseudoMountPoints() {
  static const std::set<std::string_view> kPseudo = {
      "proc",     "sysfs",      "devtmpfs", "devpts",   "cgroup",      "cgroup2",    "securityfs",
      "debugfs",  "tracefs",    "pstore",   "bpf",      "configfs",    "fusectl",    "mqueue",
      "hugetlbfs", "autofs",    "binfmt_misc", "efivarfs", "selinuxfs", "rpc_pipefs", "nsfs"};
  std::set<std::string> out;
  FILE* f = std::fopen("/proc/self/mounts", "re");
  if (!f) return out;
  char* line = nullptr;
  std::size_t cap = 0;
  while (getline(&line, &cap, f) > 0) {
    std::string_view l(line);
    const auto a = l.find(' ');
    if (a == std::string_view::npos) continue;
    const auto b = l.find(' ', a + 1);
    if (b == std::string_view::npos) continue;
    const auto c = l.find(' ', b + 1);
    const std::string_view type = l.substr(b + 1, c == std::string_view::npos ? l.npos : c - b - 1);
    if (kPseudo.count(type) != 0) {
      std::string mp = UnescapeMount(l.substr(a + 1, b - a - 1));
      if (mp != "/") out.insert(AppendSlash(mp));
    }
  }
  std::free(line);
  std::fclose(f);
  return out;
}

std::string CurrentDir() {
  std::string buf(4096, '\0');
  for (;;) {
    if (getcwd(buf.data(), buf.size())) return AppendSlash(buf.c_str());
    if (errno != ERANGE || buf.size() > (1u << 20)) return "./";
    buf.resize(buf.size() * 2);
  }
}

// Folder part (with its trailing "/") and name part of a FileSpec entry.
std::pair<std::string, std::string> SplitEntry(const std::string& e) {
  const auto slash = e.find_last_of('/');
  if (slash == std::string::npos) return {std::string(), e};
  return {e.substr(0, slash + 1), e.substr(slash + 1)};
}

void AddFound(TFilesList& list, const std::string& base, const std::string& path, const struct stat& st,
              UInt32 attr, const struct stat& dir, bool linked) {
  auto o = std::make_unique<TFileObject>();
  o->Dev = st.st_dev;
  o->Ino = st.st_ino;
  o->MTimeNs = static_cast<Int64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  o->CTimeNs = static_cast<Int64>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  o->DirDev = dir.st_dev;
  o->DirIno = dir.st_ino;
  o->Linked = linked;
  o->FileName = path;
  o->BaseDir = base;
  if (S_ISREG(st.st_mode)) o->Size = static_cast<UInt64>(st.st_size);
  o->Time = FileTimeToLocalDos(st.st_mtim);
  o->Attr = attr;
  o->Mode = st.st_mode;
  list.Add(std::move(o));
}

}  // namespace

// ---- TFilesList

int TFilesList::Add(std::unique_ptr<TFileObject> Item) {
  FItems.push_back(std::move(Item));
  return Count() - 1;
}

void TFilesList::Delete(int Index) {
  if (Index < 0 || Index >= Count()) return;
  FItems.erase(FItems.begin() + Index);
}

int TFilesList::Compare(const TFileObject& A, const TFileObject& B) const {
  switch (FSortOption) {
    case soByName:
      return AsciiCompare(A.FileName, B.FileName, FCaseSensitive);
    case soByType:
      return AsciiCompare(PathExtension(A.FileName), PathExtension(B.FileName), FCaseSensitive);
    case soBySize:
      return Sign(A.Size, B.Size);
    case soByTime:
      return Sign(A.Time, B.Time);
    case soUnsort:
      break;
  }
  return 0;
}

bool TFilesList::Find(const TFileObject& Item, int& Index) const {
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    const int mid = lo + (hi - lo) / 2;
    const int c = Compare(*FItems[static_cast<std::size_t>(mid)], Item);
    if (c < 0) {
      lo = mid + 1;
    } else {
      found = found || c == 0;
      hi = mid - 1;
    }
  }
  Index = lo;
  return found;
}

// Hoare partition around the middle element. The smaller part is sorted by
// recursion and the larger one by the loop, which keeps the stack shallow;
// the parts are disjoint, so the order of treating them does not change the
// result.
void TFilesList::QuickSort(int L, int R) {
  while (L < R) {
    int I = L, J = R;
    const TFileObject* pivot = FItems[static_cast<std::size_t>((L + R) / 2)].get();
    do {
      while (Compare(*FItems[static_cast<std::size_t>(I)], *pivot) < 0) ++I;
      while (Compare(*FItems[static_cast<std::size_t>(J)], *pivot) > 0) --J;
      if (I <= J) {
        if (I != J) std::swap(FItems[static_cast<std::size_t>(I)], FItems[static_cast<std::size_t>(J)]);
        ++I;
        --J;
      }
    } while (I <= J);
    if (J - L < R - I) {
      if (L < J) QuickSort(L, J);
      L = I;
    } else {
      if (I < R) QuickSort(I, R);
      R = J;
    }
  }
}

void TFilesList::Sort() {
  if (FSortOption != soUnsort && Count() > 1) QuickSort(0, Count() - 1);
}

void TFilesList::SetSortOption(TvskSortOptions Value) {
  FSortOption = Value;
  Sort();
}

void TFilesList::SetCaseSensitive(bool Value) {
  FCaseSensitive = Value;
  Sort();
}

// ---- TvskFileScan

struct TvskFileScan::TWalk {
  const std::vector<TMultiMask>* Masks = nullptr;
  std::string Base;
  std::set<TFileId> Walked;
  std::vector<TFileId> Ancestors;
  std::set<std::string> Skip;
};

void TvskFileScan::SetFileSpec(std::vector<std::string> Value) {
  FFileSpec = std::move(Value);
  FileMask.clear();
}

void TvskFileScan::SetRootDir(const std::string& Value) { FRootDir = AppendSlash(Value); }

void TvskFileScan::WalkRoot(const std::string& Dir, const std::vector<TMultiMask>& Masks) {
  TWalk w;
  w.Masks = &Masks;
  if (ScanOptions == soScanDrvs) {
    w.Skip = PseudoMountPoints();
    w.Base.assign(1, '/');
  } else {
    w.Base = Dir;
  }
  WalkDir(w, w.Base, false);
}

void TvskFileScan::WalkDir(TWalk& W, const std::string& Dir, bool Linked) {
  if (OnRecurseDir) OnRecurseDir(*this, Dir);
  struct stat self;
  if (stat(Dir.c_str(), &self) != 0 || !S_ISDIR(self.st_mode)) return;
  const TFileId selfId{self.st_dev, self.st_ino};
  W.Walked.insert(selfId);
  W.Ancestors.push_back(selfId);

  // The names are read in full first so the folder is closed before its
  // sub-folders are entered (no descriptor per level of depth), and sorted
  // so a scan gives the same order each time.
  std::vector<std::string> names;
  if (DIR* d = opendir(Dir.c_str())) {
    while (const dirent* e = readdir(d)) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      names.emplace_back(e->d_name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());

  for (const std::string& name : names) {
    if (FCancel) break;
    const std::string path = Dir + name;
    struct stat st;
    bool ok = lstat(path.c_str(), &st) == 0;
    const bool link = ok && S_ISLNK(st.st_mode);
    if (link) ok = stat(path.c_str(), &st) == 0;
    // Dangling links, devices, pipes and sockets hold nothing to take.
    if (ok && (S_ISDIR(st.st_mode) || S_ISREG(st.st_mode))) {
      const UInt32 attr = DosAttributes(st, name);
      const bool passes = PassesAttributeFilter(attr, Attributes, AttributesEx);
      if (S_ISDIR(st.st_mode)) {
        const TFileId id{st.st_dev, st.st_ino};
        // A linked folder already walked is passed over entirely, which ends
        // link loops; a real folder is left only when it is its own
        // ancestor (a bind mount of a parent).
        if (link && W.Walked.count(id) != 0) {
          ProcessMessages();
          continue;
        }
        if (passes && UpdateList) AddFound(FFiles, W.Base, path, st, attr, self, Linked || link);
        const std::string sub = path + "/";
        if (RecurseDirs && ((attr & 0x02) == 0 || IncludeHiddenDirs) && W.Skip.count(sub) == 0 &&
            std::find(W.Ancestors.begin(), W.Ancestors.end(), id) == W.Ancestors.end())
          WalkDir(W, sub, Linked || link);
      } else if (passes && MatchesAny(name, *W.Masks)) {
        ++FCount;
        FTotal += static_cast<double>(st.st_size);
        if (OnScanFile) OnScanFile(*this, name, FCount, FTotal);
        if (UpdateList) AddFound(FFiles, W.Base, path, st, attr, self, Linked || link);
      }
    }
    ProcessMessages();
  }
  W.Ancestors.pop_back();
}

void TvskFileScan::Scan() {
  FFiles.Clear();
  FCount = 0;
  FTotal = 0;
  FCancel = false;

  if (!FileMask.empty()) {
    if (!FRootDir.empty() && DirectoryExists(FRootDir)) {
      std::vector<TMultiMask> masks;
      for (const auto& m : SplitMaskList(FileMask)) masks.emplace_back(m);
      WalkRoot(FRootDir, masks);
    }
  } else {
    const std::string defaultDir = FRootDir.empty() ? CurrentDir() : FRootDir;
    std::vector<std::string> pending = FFileSpec;
    while (!pending.empty() && !FCancel) {
      auto dirOf = [&](const std::string& entry) {
        std::string d = SplitEntry(entry).first;
        return d.empty() ? defaultDir : d;
      };
      const std::string dir = dirOf(pending.front());
      std::vector<TMultiMask> masks;
      std::vector<std::string> rest;
      for (const std::string& entry : pending) {
        if (dirOf(entry) != dir) {
          rest.push_back(entry);
          continue;
        }
        const std::string mask = NormalizeListMask(SplitEntry(entry).second);
        // A repeated mask, or a plain name that a mask of the group already
        // covers, would only find the same files again.
        const bool covered = std::any_of(masks.begin(), masks.end(), [&](const TMultiMask& m) {
          return m.Text() == mask || (!HasWildcard(mask) && m.Matches(mask));
        });
        if (!covered) masks.emplace_back(mask);
      }
      pending = std::move(rest);
      if (!pending.empty() && OnRootDirChange) OnRootDirChange(*this, dir);
      WalkRoot(dir, masks);
    }
  }

  FFiles.Sort();
  if (OnFinished) OnFinished(*this, FCount, FTotal);
}

}  // namespace vsk
