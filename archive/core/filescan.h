#pragma once
// The file scanner: walks a folder tree (or every mounted file system),
// filters by attribute sets and wildcard masks, counts the files and bytes
// found, reports progress and keeps the found files in a sortable list.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/core/fileattrs.h"
#include "archive/core/masks.h"
#include "base/types.h"

namespace vsk {

enum TfsScanOptions : Byte { soScanDir, soScanDrvs };
enum TvskSortOptions : Byte { soUnsort, soByName, soByType, soBySize, soByTime };

// A found file or folder.
struct TFileObject {
  std::string FileName;  // the full path as found
  std::string BaseDir;   // the folder its walk started from, with a trailing "/"
  UInt64 Size = 0;
  UInt32 Time = 0;  // last write, local packed DOS date-time
  UInt32 Attr = 0;  // DOS attributes
  UInt32 Mode = 0;  // POSIX file mode
  // Identity as found (through a link, that of what it names).
  UInt64 Dev = 0, Ino = 0;
  Int64 MTimeNs = 0;  // last write, nanoseconds since 1970
  Int64 CTimeNs = 0;  // last change of data or inode: it cannot be set back
  // The folder it was listed in, as walked.
  UInt64 DirDev = 0, DirIno = 0;
  // Reached through a linked folder below the walk's start, or a link itself:
  // its place is not the folder the walk was asked for.
  bool Linked = false;
};

class TFilesList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  TFileObject& operator[](int Index) { return *FItems[static_cast<std::size_t>(Index)]; }
  const TFileObject& operator[](int Index) const { return *FItems[static_cast<std::size_t>(Index)]; }

  int Add(std::unique_ptr<TFileObject> Item);
  void Delete(int Index);
  void Clear() { FItems.clear(); }

  // Bisecting search with the list's compare: true with the index of the
  // first equal item, else false with the index where Item would go.
  bool Find(const TFileObject& Item, int& Index) const;
  // Quicksort by the sort option (nothing to do for soUnsort).
  void Sort();
  // -1, 0 or 1 by the sort option.
  int Compare(const TFileObject& A, const TFileObject& B) const;

  TvskSortOptions SortOption() const { return FSortOption; }
  // Re-sorts the list.
  void SetSortOption(TvskSortOptions Value);
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool Value);

 private:
  void QuickSort(int L, int R);
  std::vector<std::unique_ptr<TFileObject>> FItems;
  TvskSortOptions FSortOption = soUnsort;
  bool FCaseSensitive = false;
};

class TvskFileScan {
 public:
  using TOnScanFileEvent =
      std::function<void(TvskFileScan& Sender, const std::string& FileName, int FilesCount, double FilesSize)>;
  using TOnFinishedEvent = std::function<void(TvskFileScan& Sender, int FilesCount, double FilesSize)>;
  using TOnRootDirChange = std::function<void(TvskFileScan& Sender, const std::string& Dir)>;
  using TOnRecurseDir = std::function<void(TvskFileScan& Sender, const std::string& Directory)>;

  TvskFileScan() = default;
  virtual ~TvskFileScan() = default;
  TvskFileScan(const TvskFileScan&) = delete;
  TvskFileScan& operator=(const TvskFileScan&) = delete;

  // Paths or masks ("/data/*.txt", "notes.txt"). Assigning the list empties
  // FileMask, so that the list is scanned.
  std::vector<std::string>& FileSpec() { return FFileSpec; }
  const std::vector<std::string>& FileSpec() const { return FFileSpec; }
  void SetFileSpec(std::vector<std::string> Value);

  // Masks separated by commas, matched in RootDir; when not empty it is used
  // instead of FileSpec.
  std::string FileMask = "*";

  TvskFileAttrs Attributes{fsArchive};
  TvskFileAttrs AttributesEx;
  bool IncludeHiddenDirs = false;
  bool UpdateList = true;
  // soScanDrvs walks the root "/", leaving out pseudo file systems such as
  // /proc and /sys, instead of the folder of each mask group.
  TfsScanOptions ScanOptions = soScanDir;
  bool RecurseDirs = true;

  // Kept with a trailing "/" (an empty value stays empty).
  const std::string& RootDir() const { return FRootDir; }
  void SetRootDir(const std::string& Value);

  TvskSortOptions Sorted() const { return FFiles.SortOption(); }
  void SetSorted(TvskSortOptions Value) { FFiles.SetSortOption(Value); }

  TOnScanFileEvent OnScanFile;
  TOnFinishedEvent OnFinished;
  TOnRootDirChange OnRootDirChange;
  TOnRecurseDir OnRecurseDir;

  // One scan: the list, counters and cancel flag are cleared first. FileSpec
  // is left as it was.
  virtual void Scan();
  // The walk stops at the next entry.
  void Cancel() { FCancel = true; }
  bool Cancelled() const { return FCancel; }
  // For components that share one cancel flag with the scanner.
  bool* CancelFlag() { return &FCancel; }

  int FilesCount() const { return FCount; }
  // The bytes of the files counted.
  double FilesSize() const { return FTotal; }
  TFilesList& FilesList() { return FFiles; }
  const TFilesList& FilesList() const { return FFiles; }

 private:
  struct TWalk;
  void WalkRoot(const std::string& Dir, const std::vector<TMultiMask>& Masks);
  void WalkDir(TWalk& W, const std::string& Dir, bool Linked);

  std::vector<std::string> FFileSpec;
  std::string FRootDir = "/";
  bool FCancel = false;
  int FCount = 0;
  double FTotal = 0;
  TFilesList FFiles;
};

}  // namespace vsk
