#include "app/main/textutil.h"

#include <filesystem>
#include <string_view>

#include "base/textcase.h"

namespace brevane {

std::string StripLeadingSlash(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path.substr(1);
  return path;
}

std::string UnderscoreExtName(const std::string& fileName) {
  const auto slash = fileName.rfind('/');
  const auto start = slash == std::string::npos ? 0 : slash + 1;
  const auto dot = fileName.rfind('.');
  if (dot == std::string::npos || dot < start) return fileName + '_';
  std::string result = fileName;
  result[dot] = '_';
  return result;
}

bool IsValidName(const std::string& name, bool shortSet) {
  if (name.empty() || name == "." || name == "..") return false;
  const std::string_view forbidden = shortSet ? std::string_view("\"<>\\|/") : std::string_view("\"'+;<=>[\\]|/");
  for (char c : name)
    if (c == '\0' || forbidden.find(c) != std::string_view::npos) return false;
  return true;
}

std::string XorString(const std::string& text, int key) {
  std::string result = text.substr(0, 255);
  const auto k = static_cast<unsigned char>(key & 0xFF);
  for (char& c : result) c = static_cast<char>(static_cast<unsigned char>(c) ^ k);
  return result;
}

std::string AbsolutePath(const std::string& Path) {
  if (Path.empty()) return Path;
  std::error_code ec;
  const auto p = std::filesystem::absolute(Path, ec);
  return ec ? Path : p.lexically_normal().string();
}

bool OnFloppyDrive(const std::string& Folder) {
  if (Folder.size() < 2 || Folder[1] != ':') return false;
  const char d = vsk::AsciiUpper(Folder[0]);
  return d == 'A' || d == 'B';
}

}  // namespace brevane
