#include "archive/core/selection.h"

#include "archive/core/masks.h"
#include "base/paths.h"
#include "base/textcase.h"

namespace vsk {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Length of the folder part, separator included: up to the last "/", or the
// colon of a leading drive letter.
std::size_t FolderLength(std::string_view s) {
  const auto slash = s.find_last_of('/');
  if (slash != std::string_view::npos) return slash + 1;
  if (s.size() >= 2 && s[1] == ':' && IsAsciiLetter(s[0])) return 2;
  return 0;
}

// The folder part with a trailing "/" (a drive "X:" gives "X:/"); empty
// without a folder.
std::string FolderWithDrive(std::string_view s) { return AppendSlash(s.substr(0, FolderLength(s))); }

std::string_view NamePart(std::string_view s) { return s.substr(FolderLength(s)); }

bool HasDotInName(std::string_view s) { return NamePart(s).find('.') != std::string_view::npos; }

bool Excluded(std::string_view name, const std::vector<std::string>& exclusions) {
  for (const auto& x : exclusions)
    if (!x.empty() && MatchMask(name, ForwardSlashes(x))) return true;
  return false;
}

}  // namespace

bool IsEntrySelected(std::string_view Name, const std::vector<std::string>& Masks,
                     const std::vector<std::string>& Exclusions, bool RecurseDirs) {
  if (Name.empty()) return false;
  const std::string n = ForwardSlashes(Name);
  const std::string nd = FolderWithDrive(n);
  for (const auto& mask : Masks) {
    if (mask.empty()) continue;
    std::string m = ForwardSlashes(mask);
    if (SameTextAscii(m, n)) return true;
    std::string_view subject = n;
    const std::string md = FolderWithDrive(m);
    if (!RecurseDirs) {
      if (!SameTextAscii(nd, md)) continue;
    } else if (md.empty()) {
      subject = NamePart(n);
    }
    bool hit = MatchMask(subject, m);
    if (!hit) {
      std::string s(subject);
      if (!HasDotInName(s)) s.push_back('.');
      if (!HasDotInName(m)) m.push_back('.');
      hit = MatchMask(s, m);
    }
    if (hit) return !Excluded(n, Exclusions);
  }
  return false;
}

bool MatchFileName(std::string_view Name, const std::vector<std::string>& Masks,
                   const std::vector<std::string>& Exclusions) {
  const std::string n = ForwardSlashes(Name);
  std::string dotted;
  const bool plain = !HasDotInName(n);
  if (plain) dotted = n + ".";
  auto matches = [&](const std::string& mask) {
    const std::string m = ForwardSlashes(mask);
    return MatchMask(plain && HasDotInName(m) ? std::string_view(dotted) : std::string_view(n), m);
  };
  bool any = false;
  for (const auto& m : Masks)
    if (!m.empty() && matches(m)) {
      any = true;
      break;
    }
  if (!any) return false;
  for (const auto& x : Exclusions)
    if (!x.empty() && matches(x)) return false;
  return true;
}

}  // namespace vsk
