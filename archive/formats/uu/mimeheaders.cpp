#include "archive/formats/uu/mimeheaders.h"

#include "base/textcase.h"

namespace vsk {

namespace {

// A header line can only hold a name this long before its colon.
constexpr std::size_t kMaxHeaderName = 76;
// Longest header kept while folded lines are joined.
constexpr std::size_t kMaxHeader = 4096;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The length of the header name before the colon, 0 when Line is no header.
std::size_t HeaderNameLength(std::string_view Line) {
  for (std::size_t i = 0; i < Line.size() && i <= kMaxHeaderName; ++i) {
    const char c = Line[i];
    if (c == ':') return i;
    if (c <= ' ' || c > '~') return 0;
  }
  return 0;
}

}  // namespace

std::string MimeParameter(std::string_view Value, std::string_view Name) {
  std::size_t p = 0;
  while (p < Value.size()) {
    // One parameter: up to the next ";" outside quotation marks.
    std::size_t end = p;
    bool quoted = false;
    while (end < Value.size() && (quoted || Value[end] != ';')) {
      if (Value[end] == '"') quoted = !quoted;
      ++end;
    }
    const std::string_view part = Trim(Value.substr(p, end - p));
    p = end + 1;
    const auto eq = part.find('=');
    if (eq == std::string_view::npos || !SameTextAscii(Trim(part.substr(0, eq)), Name)) continue;
    std::string_view v = Trim(part.substr(eq + 1));
    if (!v.empty() && v.front() == '"') {
      v.remove_prefix(1);
      const auto close = v.find('"');
      if (close != std::string_view::npos) v = v.substr(0, close);
    }
    return std::string(v);
  }
  return {};
}

void TMimePartHeaders::Clear() {
  FInBlock = FBase64 = false;
  FCurrent.clear();
  FFileName.clear();
  FTypeName.clear();
}

void TMimePartHeaders::Commit() {
  const std::size_t colon = HeaderNameLength(FCurrent);
  if (colon == 0) return;
  const std::string_view name(FCurrent.data(), colon);
  const std::string_view value = Trim(std::string_view(FCurrent).substr(colon + 1));
  if (SameTextAscii(name, "Content-Transfer-Encoding"))
    FBase64 = SameTextAscii(value, "base64");
  else if (SameTextAscii(name, "Content-Disposition"))
    FFileName = MimeParameter(value, "filename");
  else if (SameTextAscii(name, "Content-Type"))
    FTypeName = MimeParameter(value, "name");
  FCurrent.clear();
}

bool TMimePartHeaders::Feed(std::string_view Line) {
  if (Line.empty()) {
    Commit();
    const std::string name = FFileName.empty() ? FTypeName : FFileName;
    const bool start = FInBlock && FBase64 && !name.empty();
    Clear();
    if (start) FFound = name;
    return start;
  }
  if ((Line.front() == ' ' || Line.front() == '\t') && FInBlock) {
    if (FCurrent.size() < kMaxHeader) FCurrent.append(" ").append(Trim(Line).substr(0, kMaxHeader));
    return false;
  }
  if (HeaderNameLength(Line) == 0) {
    Clear();
    return false;
  }
  Commit();
  FInBlock = true;
  FCurrent.assign(Line.substr(0, kMaxHeader));
  return false;
}

}  // namespace vsk
