#include "platform/mime.h"

#include <fnmatch.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "base/textcase.h"

namespace vsk {

namespace {

// The mime folders in order of precedence: the user's, then the system's.
std::vector<std::string> MimeDirs() {
  std::vector<std::string> dirs;
  const char* home = std::getenv("XDG_DATA_HOME");
  const char* user = std::getenv("HOME");
  if (home && *home)
    dirs.push_back(std::string(home) + "/mime");
  else if (user && *user)
    dirs.push_back(std::string(user) + "/.local/share/mime");
  const char* sys = std::getenv("XDG_DATA_DIRS");
  std::string list = sys && *sys ? sys : "/usr/local/share:/usr/share";
  std::istringstream in(list);
  std::string d;
  while (std::getline(in, d, ':'))
    if (!d.empty()) dirs.push_back(d + "/mime");
  return dirs;
}

}  // namespace

std::string MimeTypeOfName(const std::string& FileName) {
  const auto slash = FileName.find_last_of('/');
  const std::string base = slash == std::string::npos ? FileName : FileName.substr(slash + 1);
  if (base.empty()) return {};
  const std::string lower = AsciiLowerCase(base);
  std::string best;
  int bestWeight = -1;
  std::size_t bestLength = 0;
  for (const auto& dir : MimeDirs()) {
    std::ifstream in(dir + "/globs2");
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      // weight:type:glob[:flags]
      const auto a = line.find(':'), b = line.find(':', a == std::string::npos ? a : a + 1);
      if (a == std::string::npos || b == std::string::npos) continue;
      const int weight = std::atoi(line.substr(0, a).c_str());
      const std::string type = line.substr(a + 1, b - a - 1);
      std::string glob = line.substr(b + 1);
      bool caseSensitive = false;
      const auto c = glob.find(':');
      if (c != std::string::npos) {
        caseSensitive = glob.find("cs", c) != std::string::npos;
        glob.resize(c);
      }
      const std::string& subject = caseSensitive ? base : lower;
      if (fnmatch((caseSensitive ? glob : AsciiLowerCase(glob)).c_str(), subject.c_str(), 0) != 0) continue;
      // The heaviest glob wins, then the longest (the most specific).
      if (weight > bestWeight || (weight == bestWeight && glob.size() > bestLength)) {
        best = type;
        bestWeight = weight;
        bestLength = glob.size();
      }
    }
    if (!best.empty()) break;
  }
  return best;
}

std::string MimeComment(const std::string& MimeType) {
  if (MimeType.empty() || MimeType.find("..") != std::string::npos) return {};
  for (const auto& dir : MimeDirs()) {
    std::ifstream in(dir + "/" + MimeType + ".xml");
    if (!in) continue;
    std::string line;
    while (std::getline(in, line)) {
      const auto p = line.find("<comment>");
      if (p == std::string::npos) continue;
      const auto e = line.find("</comment>", p);
      if (e == std::string::npos) continue;
      return line.substr(p + 9, e - p - 9);
    }
  }
  return {};
}

}  // namespace vsk
