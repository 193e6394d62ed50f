#include "base/paths.h"

#include <algorithm>

#include "base/types.h"

namespace vsk {
namespace {

constexpr bool IsSep(char c) { return c == '/' || c == '\\'; }

}  // namespace

std::string SlashToBackslash(std::string_view Name) {
  std::string r(Name);
  std::replace(r.begin(), r.end(), '/', '\\');
  return r;
}

std::string SlashToBackslashMB(std::string_view Name) {
  std::string r(Name);
  for (std::size_t i = 0; i < r.size(); ++i) {
    const Byte b = static_cast<Byte>(r[i]);
    if ((b >= 0x80 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFD)) {
      ++i;
    } else if (r[i] == '\\' && i + 1 < r.size() && r[i + 1] == '\\') {
      ++i;
    } else if (r[i] == '/') {
      r[i] = '\\';
    }
  }
  return r;
}

std::string AppendSlash(std::string_view Dir) {
  std::string r(Dir);
  if (!r.empty() && !IsSep(r.back())) r += '/';
  return r;
}

std::string RemoveTrailingSlash(std::string_view Dir) {
  std::string r(Dir);
  if (r.size() > 1 && IsSep(r.back())) r.pop_back();
  return r;
}

std::string JoinPath(std::string_view Dir, std::string_view Name) {
  if (Dir.empty()) return std::string(Name);
  while (!Name.empty() && IsSep(Name.front())) Name.remove_prefix(1);
  std::string r = AppendSlash(Dir);
  r.append(Name);
  return r;
}

std::string PathFilePart(std::string_view Path) {
  const auto p = Path.find_last_of('/');
  return std::string(p == std::string_view::npos ? Path : Path.substr(p + 1));
}

std::string PathFolderPart(std::string_view Path) {
  const auto p = Path.find_last_of('/');
  return p == std::string_view::npos ? std::string() : std::string(Path.substr(0, p + 1));
}

std::string FolderOrDot(std::string_view Path) {
  std::string r = PathFolderPart(Path);
  return r.empty() ? std::string(".") : r;
}

std::string ParentFolder(std::string_view Path) {
  const auto p = Path.find_last_of('/');
  if (p == std::string_view::npos) return ".";
  if (p == 0) return "/";
  return std::string(Path.substr(0, p));
}

std::string PathFolder(std::string_view Path) {
  const auto p = Path.find_last_of('/');
  if (p == std::string_view::npos) return {};
  return std::string(Path.substr(0, p == 0 ? 1 : p));
}

std::string PathExtension(std::string_view Path) {
  const auto slash = Path.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? Path : Path.substr(slash + 1);
  const auto dot = name.find_last_of('.');
  if (dot == std::string_view::npos) return {};
  return std::string(name.substr(dot));
}

std::string WithoutExtension(std::string_view Path) {
  const auto slash = Path.find_last_of('/');
  const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
  const auto dot = Path.find_last_of('.');
  return std::string(dot == std::string_view::npos || dot <= start ? Path : Path.substr(0, dot));
}

std::string ForwardSlashes(std::string_view Name) {
  std::string r(Name);
  std::replace(r.begin(), r.end(), '\\', '/');
  return r;
}

bool IsUncPath(std::string_view Path) { return Path.size() >= 3 && IsSep(Path[0]) && IsSep(Path[1]); }

}  // namespace vsk
