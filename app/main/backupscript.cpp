#include "app/main/backupscript.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>

#include "app/main/folders.h"
#include "app/main/textutil.h"
#include "base/textcase.h"
#include "platform/trash.h"

namespace brevane {

namespace fs = std::filesystem;

namespace {

const char* const kExtensions[] = {".bh", ".cab", ".jar", ".lha", ".lzh", ".tar", ".zip"};

// The value of "Key=" in Lines before the marker; false when there is none.
bool ValueOf(const std::vector<std::string>& Lines, const std::string& Key, std::string& Value) {
  const std::string prefix = Key + "=";
  for (const std::string& line : Lines) {
    if (line == kBackupFilesMarker) break;
    if (line.compare(0, prefix.size(), prefix) == 0) {
      Value = line.substr(prefix.size());
      return true;
    }
  }
  return false;
}

void ReadNumber(const std::vector<std::string>& Lines, const std::string& Key, int& Number) {
  std::string text;
  if (!ValueOf(Lines, Key, text)) return;
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc() && end == text.data() + text.size()) Number = value;
}

bool Present(const std::string& Path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(Path, ec));
}

// What a set deletes goes to the Trash, where the user can get it back.
bool TrashIfPresent(const std::string& Path) { return !Present(Path) || vsk::MoveToTrash(Path); }

// Never over a file: one that appeared at To meanwhile is kept.
bool RenameIfPresent(const std::string& From, const std::string& To) {
  return !Present(From) || renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) == 0;
}

}  // namespace

std::string BackupFolder() { return GetSpecialFolderPath(sfLocalAppData) + "/brevane/Backups/"; }

std::string BackupScriptPath(const std::string& SetName) { return BackupFolder() + SetName + kBackupScriptExtension; }

std::vector<std::string> FindBackupSets() {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(BackupFolder(), ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path p = it->path();
    std::error_code fe;
    if (p.extension() == kBackupScriptExtension && it->is_regular_file(fe)) names.push_back(p.stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool ValidateBackupScript(const std::vector<std::string>& Lines) {
  for (const char* key :
       {"BackupSetName", "BackupFolder", "ArcType", "Compression", "StorePathInfo", "BackupMethod", "Generations"}) {
    std::string value;
    if (!ValueOf(Lines, key, value) || value.empty()) return false;
  }
  return std::find(Lines.begin(), Lines.end(), kBackupFilesMarker) != Lines.end();
}

bool ParseBackupScript(const std::vector<std::string>& Lines, TBackupScript& Script) {
  if (!ValidateBackupScript(Lines)) return false;
  TBackupScript s;
  ValueOf(Lines, "BackupSetName", s.Name);
  ValueOf(Lines, "Description", s.Description);
  ValueOf(Lines, "BackupFolder", s.Folder);
  ReadNumber(Lines, "ArcType", s.ArcType);
  ReadNumber(Lines, "Compression", s.Compression);
  ReadNumber(Lines, "StorePathInfo", s.StorePathInfo);
  ReadNumber(Lines, "BackupMethod", s.Method);
  ReadNumber(Lines, "Generations", s.Generations);
  // A hand-edited count never makes thousands of renames.
  s.Generations = std::clamp(s.Generations, kMinGenerations, kMaxGenerations);
  auto line = std::find(Lines.begin(), Lines.end(), kBackupFilesMarker);
  for (++line; line != Lines.end(); ++line)
    if (!line->empty()) s.Entries.push_back(*line);
  Script = std::move(s);
  return true;
}

std::vector<std::string> BackupScriptLines(const TBackupScript& S) {
  std::vector<std::string> lines = {
      "BackupSetName=" + S.Name,
      "Description=" + S.Description,
      "BackupFolder=" + S.Folder,
      "ArcType=" + std::to_string(S.ArcType),
      "Compression=" + std::to_string(S.Compression),
      "StorePathInfo=" + std::to_string(S.StorePathInfo),
      "BackupMethod=" + std::to_string(S.Method),
      "Generations=" + std::to_string(S.Generations),
      kBackupFilesMarker,
  };
  lines.insert(lines.end(), S.Entries.begin(), S.Entries.end());
  return lines;
}

bool ReadScriptLines(const std::string& Path, std::vector<std::string>& Lines) {
  std::ifstream in(Path, std::ios::binary);
  if (!in) return false;
  Lines.clear();
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Lines.push_back(line);
  }
  return !in.bad();
}

bool SaveBackupScript(const std::string& Path, const TBackupScript& Script) {
  std::string temp = Path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  ::close(fd);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    for (const std::string& line : BackupScriptLines(Script)) out << line << '\n';
    out.close();
    if (!out) {
      std::error_code ec;
      fs::remove(temp, ec);
      return false;
    }
  }
  std::error_code ec;
  fs::permissions(temp, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read,
                  ec);
  fs::rename(temp, Path, ec);
  if (ec) fs::remove(temp, ec);
  return !ec && fs::exists(Path);
}

bool IsValidBackupSetName(const std::string& Name) {
  return !Name.empty() && Name.size() <= 50 && Name.find_first_of("\"<>\\|/") == std::string::npos && Name != "." &&
         Name != "..";
}

std::string BackupExtension(int ArcType) { return ArcType >= 0 && ArcType < 7 ? kExtensions[ArcType] : ".zip"; }

std::string SingleBackupPath(const TBackupScript& S) {
  return AppendSlash(S.Folder) + S.Name + BackupExtension(S.ArcType);
}

std::string GenerationPath(const TBackupScript& S, int N) {
  return AppendSlash(S.Folder) + S.Name + std::to_string(N) + BackupExtension(S.ArcType);
}

bool RotateGenerations(const TBackupScript& S, std::string& Failed) {
  if (!TrashIfPresent(GenerationPath(S, 1))) {
    Failed = GenerationPath(S, 1);
    return false;
  }
  for (int k = 2; k <= S.Generations; ++k)
    if (!RenameIfPresent(GenerationPath(S, k), GenerationPath(S, k - 1))) {
      Failed = GenerationPath(S, k);
      return false;
    }
  return true;
}

namespace {

// The files a set's runs write without asking: its generations, or its
// single backup (also the name a prompting set proposes).
std::vector<std::string> WrittenFilesOf(const TBackupScript& S) {
  if (S.Method != kBackupGenerations) return {SingleBackupPath(S)};
  std::vector<std::string> files;
  for (int k = 1; k <= S.Generations; ++k) files.push_back(GenerationPath(S, k));
  return files;
}

std::string CanonicalFolder(const std::string& Folder) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(fs::absolute(Folder, ec), ec);
  if (ec) p = fs::path(Folder).lexically_normal();
  std::string s = p.string();
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

}  // namespace

std::string ClashingBackupSet(const TBackupScript& Script, std::string& Clash) {
  Clash.clear();
  const std::string folder = CanonicalFolder(Script.Folder);
  const std::vector<std::string> mine = WrittenFilesOf(Script);
  for (const std::string& name : FindBackupSets()) {
    std::vector<std::string> lines;
    TBackupScript other;
    if (name == Script.Name || !ReadScriptLines(BackupScriptPath(name), lines) || !ParseBackupScript(lines, other) ||
        CanonicalFolder(other.Folder) != folder)
      continue;
    std::vector<std::string> theirs;
    for (const std::string& file : WrittenFilesOf(other)) theirs.push_back(vsk::AsciiLowerCase(PathFilePart(file)));
    for (const std::string& file : mine)
      if (std::find(theirs.begin(), theirs.end(), vsk::AsciiLowerCase(PathFilePart(file))) != theirs.end()) {
        Clash = file;
        return other.Name;
      }
  }
  return {};
}

std::vector<std::string> SetBackupsPresent(const TBackupScript& Script) {
  // A set named "x1" makes "x1.zip", the first generation of a set "x":
  // a file another set also writes is not this set's alone.
  std::vector<TFileId> others;
  for (const std::string& name : FindBackupSets()) {
    std::vector<std::string> lines;
    TBackupScript other;
    if (name == Script.Name || !ReadScriptLines(BackupScriptPath(name), lines) || !ParseBackupScript(lines, other))
      continue;
    for (const std::string& file : WrittenFilesOf(other))
      if (const TFileId id = FileIdOf(file); id != TFileId{}) others.push_back(id);
  }
  std::vector<std::string> files;
  for (const std::string& file : WrittenFilesOf(Script)) {
    std::error_code ec;
    const TFileId id = FileIdOf(file);
    if (id != TFileId{} && fs::is_regular_file(fs::symlink_status(file, ec)) &&
        std::find(others.begin(), others.end(), id) == others.end())
      files.push_back(file);
  }
  return files;
}

bool TrashSetBackups(const TBackupScript& Script, const std::vector<std::string>& Files, std::string& Failed) {
  for (const std::string& file : Files)
    if (!TrashIfPresent(file)) {
      Failed = file;
      return false;
    }
  // Only an empty folder is removed; a link to one is not followed.
  if (!Script.Folder.empty()) ::rmdir(Script.Folder.c_str());
  return true;
}

bool RenumberGenerations(const TBackupScript& Before, const TBackupScript& After, std::string& Failed) {
  const int shift = After.Generations - Before.Generations;
  // The files keep the extension they were written with.
  TBackupScript to = Before;
  to.Folder = After.Folder;
  const bool sameFolder = CanonicalFolder(Before.Folder) == CanonicalFolder(After.Folder);
  if (shift == 0 && sameFolder) return true;
  // Names another set also writes in the old folder are not this set's to move.
  std::string clash;
  if (!ClashingBackupSet(Before, clash).empty()) {
    Failed = clash;
    return false;
  }
  struct TMove {
    std::string From, To;  // To empty: to the Trash
  };
  std::vector<TMove> moves;
  for (int k = 1; k <= Before.Generations; ++k)
    if (Present(GenerationPath(Before, k)))
      moves.push_back({GenerationPath(Before, k), k + shift >= 1 ? GenerationPath(to, k + shift) : std::string()});
  // Every name written must be free, or be one this renumbering moves away
  // first; a file of the user's there stops it before anything moves.
  for (const TMove& m : moves) {
    if (m.To.empty() || !Present(m.To)) continue;
    const bool vacated =
        sameFolder && std::any_of(moves.begin(), moves.end(), [&](const TMove& o) { return o.From == m.To; });
    if (!vacated) {
      Failed = m.To;
      return false;
    }
  }
  if (!sameFolder) {
    std::error_code ec;
    fs::create_directories(After.Folder, ec);
  }
  for (const TMove& m : moves)
    if (m.To.empty() && !TrashIfPresent(m.From)) {
      Failed = m.From;
      return false;
    }
  // Upwards from the newest, downwards from the oldest: each name is free
  // by the time it is written.
  if (shift > 0) std::reverse(moves.begin(), moves.end());
  for (const TMove& m : moves)
    if (!m.To.empty() && !RenameIfPresent(m.From, m.To)) {
      Failed = m.From;
      return false;
    }
  return true;
}

bool BackupEntryHasFiles(const std::string& Entry) {
  std::error_code ec;
  if (Entry.find("*.*") == std::string::npos) return fs::is_regular_file(Entry, ec);
  const std::string folder = ParentFolder(Entry);
  if (!fs::is_directory(folder, ec)) return false;
  std::vector<std::string> files;
  CountFilesInTree(folder, files);
  return !files.empty();
}

}  // namespace brevane
