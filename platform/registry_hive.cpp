#include "platform/registry_hive.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <utility>

#include "base/codepage.h"
#include "base/textcase.h"

namespace vsk::reghive {

namespace {

// Freed again when the program ends or a library holding this code (the
// InfoTip library) is unloaded.
struct TUtf8Locale {
  locale_t Loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  ~TUtf8Locale() {
    if (Loc) freelocale(Loc);
  }
};

locale_t Utf8Locale() {
  static const TUtf8Locale loc;
  return loc.Loc;
}


// Decodes one UTF-8 sequence at s[i]; returns its length, 0 when invalid.
std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  std::size_t len;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

const char kHex[] = "0123456789abcdef";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

void AppendQuoted(std::string& out, std::string_view s) {
  out += '"';
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (IsControl(c)) {
          out += "\\x";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += ch;
        }
    }
  }
  out += '"';
}

void AppendKeyName(std::string& out, std::string_view s) {
  for (char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '%' || IsControl(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
}

// Reads a quoted string starting at line[pos] == '"'; pos ends after the
// closing quote.
bool ReadQuoted(std::string_view line, std::size_t& pos, std::string& out) {
  if (pos >= line.size() || line[pos] != '"') return false;
  ++pos;
  while (pos < line.size()) {
    const char c = line[pos++];
    if (c == '"') return true;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (pos >= line.size()) return false;
    const char e = line[pos++];
    switch (e) {
      case '\\':
        out += '\\';
        break;
      case '"':
        out += '"';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 'x': {
        if (pos + 2 > line.size()) return false;
        const int hi = HexDigit(line[pos]), lo = HexDigit(line[pos + 1]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        pos += 2;
        break;
      }
      default:
        return false;
    }
  }
  return false;
}

bool DecodeKeyName(std::string_view s, std::string& out) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    if (i + 2 >= s.size()) return false;
    const int hi = HexDigit(s[i + 1]), lo = HexDigit(s[i + 2]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

// Spaces and tabs around a line, and its "\r" line end.
std::string_view TrimBlanks(std::string_view s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// A kept line as it was, without its "\r" line end (the writer's are "\n").
std::string_view TrimLineEnd(std::string_view s) {
  if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
  return s;
}

void SkipBlanks(std::string_view s, std::size_t& pos) {
  while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
}

// The names are all decoded before any key is made, so that a line that
// names no key adds none.
bool ParseKeyLine(std::string_view inner, Node& root, Node*& current) {
  std::vector<std::string> names;
  std::size_t start = 0;
  if (!inner.empty()) {
    while (true) {
      const std::size_t end = std::min(inner.find('\\', start), inner.size());
      std::string name;
      if (end == start || !DecodeKeyName(inner.substr(start, end - start), name)) return false;
      if (names.size() >= kMaxKeyDepth) return false;
      names.push_back(std::move(name));
      if (end == inner.size()) break;
      start = end + 1;
    }
  }
  Node* node = &root;
  for (const std::string& name : names) node = &node->GetKey(name);
  current = node;
  return true;
}

bool ParseValueLine(std::string_view line, Node& key) {
  std::size_t pos = 0;
  std::string name;
  if (line[0] == '@') {
    pos = 1;
  } else if (!ReadQuoted(line, pos, name)) {
    return false;
  }
  SkipBlanks(line, pos);
  if (pos >= line.size() || line[pos] != '=') return false;
  ++pos;
  SkipBlanks(line, pos);
  const std::string_view data = line.substr(pos);
  if (!data.empty() && data[0] == '"') {
    std::string text;
    if (!ReadQuoted(line, pos, text) || pos != line.size()) return false;
    key.SetValue(name, rdString, text, 0);
    return true;
  }
  constexpr std::string_view kDword = "dword:";
  if (data.substr(0, kDword.size()) != kDword) return false;
  const std::string_view digits = data.substr(kDword.size());
  if (digits.empty() || digits.size() > 8) return false;
  std::uint32_t number = 0;
  for (char c : digits) {
    const int d = HexDigit(c);
    if (d < 0) return false;
    number = number * 16 + static_cast<std::uint32_t>(d);
  }
  key.SetValue(name, rdInteger, std::string(), number);
  return true;
}

void AppendValues(std::string& out, const Node& node) {
  for (const Value& v : node.Values) {
    if (v.Name.empty())
      out += '@';
    else
      AppendQuoted(out, v.Name);
    out += '=';
    if (v.Type == rdInteger) {
      out += "dword:";
      for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(v.Number >> shift) & 15];
    } else {
      AppendQuoted(out, v.Text);
    }
    out += '\n';
  }
  for (const std::string& line : node.Unread) out += line + '\n';
}

}  // namespace

std::string FoldName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  const locale_t loc = Utf8Locale();
  for (std::size_t i = 0; i < name.size();) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c < 0x80) {
      out += AsciiUpper(static_cast<char>(c));
      ++i;
      continue;
    }
    char32_t cp;
    const std::size_t len = DecodeUtf8(name, i, cp);
    if (len == 0) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    if (loc) cp = static_cast<char32_t>(towupper_l(static_cast<wint_t>(cp), loc));
    AppendUtf8(out, cp);
    i += len;
  }
  return out;
}

Node* Node::FindKey(std::string_view fold) const {
  for (const auto& k : Keys)
    if (k->Fold == fold) return k.get();
  return nullptr;
}

Node& Node::GetKey(const std::string& name) {
  std::string fold = FoldName(name);
  if (Node* k = FindKey(fold)) return *k;
  auto k = std::make_unique<Node>();
  k->Name = name;
  k->Fold = std::move(fold);
  Keys.push_back(std::move(k));
  return *Keys.back();
}

bool Node::RemoveKey(std::string_view fold) {
  auto it = std::find_if(Keys.begin(), Keys.end(), [&](const auto& k) { return k->Fold == fold; });
  if (it == Keys.end()) return false;
  Keys.erase(it);
  return true;
}

Value* Node::FindValue(std::string_view fold) {
  for (Value& v : Values)
    if (v.Fold == fold) return &v;
  return nullptr;
}

void Node::SetValue(const std::string& name, TRegDataType type, const std::string& text, std::uint32_t number) {
  std::string fold = FoldName(name);
  Value* v = FindValue(fold);
  if (!v) {
    Values.emplace_back();
    v = &Values.back();
    v->Name = name;
    v->Fold = std::move(fold);
  }
  v->Type = type;
  v->Text = type == rdString ? text : std::string();
  v->Number = type == rdInteger ? number : 0;
}

bool Node::RemoveValue(std::string_view fold) {
  auto it = std::find_if(Values.begin(), Values.end(), [&](const Value& v) { return v.Fold == fold; });
  if (it == Values.end()) return false;
  Values.erase(it);
  return true;
}

bool ParseHive(std::string_view text, Node& root) {
  Node* current = nullptr;
  // After a key line that names no key, its values are not read either.
  bool inUnreadKey = false;
  bool readAny = false, unreadAny = false;
  const auto keep = [&](std::string_view line) {
    unreadAny = true;
    (current ? current->Unread : root.Preamble).emplace_back(line);
  };
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view whole = text.substr(pos, end - pos);
    pos = end + 1;
    const std::string_view line = TrimBlanks(whole);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      Node* key = nullptr;
      if (line.size() >= 2 && line.back() == ']' && ParseKeyLine(line.substr(1, line.size() - 2), root, key)) {
        current = key;
        inUnreadKey = false;
        readAny = true;
      } else {
        keep(TrimLineEnd(whole));
        inUnreadKey = true;
      }
    } else if (current && !inUnreadKey && (line[0] == '"' || line[0] == '@') && ParseValueLine(line, *current)) {
      readAny = true;
    } else {
      keep(TrimLineEnd(whole));
    }
  }
  return readAny || !unreadAny;
}

std::string SerializeHive(const Node& root, std::string_view rootName) {
  std::string out = "; Brevane registry hive ";
  out += rootName;
  out += '\n';
  for (const std::string& line : root.Preamble) out += line + '\n';
  if (!root.Values.empty() || !root.Unread.empty()) {
    out += "\n[]\n";
    AppendValues(out, root);
  }
  // Depth first, subkeys in stored order, without recursion.
  std::vector<std::pair<const Node*, std::string>> stack;
  for (auto it = root.Keys.rbegin(); it != root.Keys.rend(); ++it) {
    std::string path;
    AppendKeyName(path, (*it)->Name);
    stack.emplace_back(it->get(), std::move(path));
  }
  while (!stack.empty()) {
    auto [node, path] = std::move(stack.back());
    stack.pop_back();
    out += "\n[";
    out += path;
    out += "]\n";
    AppendValues(out, *node);
    for (auto it = node->Keys.rbegin(); it != node->Keys.rend(); ++it) {
      std::string sub = path + '\\';
      AppendKeyName(sub, (*it)->Name);
      stack.emplace_back(it->get(), std::move(sub));
    }
  }
  return out;
}

}  // namespace vsk::reghive
