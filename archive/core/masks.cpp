#include "archive/core/masks.h"

#include "base/textcase.h"

namespace vsk {

namespace {

constexpr char32_t kRawByte = 0x110000;

bool IsCont(unsigned char b) { return (b & 0xC0) == 0x80; }

// The next character at Pos (ASCII letters upper-cased); Pos moves past it.
char32_t NextChar(std::string_view s, std::size_t& pos) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  if (b0 < 0x80) {
    ++pos;
    return char32_t(static_cast<unsigned char>(AsciiUpper(static_cast<char>(b0))));
  }
  const std::size_t left = s.size() - pos;
  auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[pos + k]); };
  if (b0 >= 0xC2 && b0 <= 0xDF && left >= 2 && IsCont(at(1))) {
    const char32_t c = (char32_t(b0 & 0x1F) << 6) | (at(1) & 0x3F);
    pos += 2;
    return c;
  }
  if (b0 >= 0xE0 && b0 <= 0xEF && left >= 3 && IsCont(at(1)) && IsCont(at(2))) {
    const bool overlong = b0 == 0xE0 && at(1) < 0xA0;
    const bool surrogate = b0 == 0xED && at(1) >= 0xA0;
    if (!overlong && !surrogate) {
      const char32_t c = (char32_t(b0 & 0x0F) << 12) | (char32_t(at(1) & 0x3F) << 6) | (at(2) & 0x3F);
      pos += 3;
      return c;
    }
  }
  if (b0 >= 0xF0 && b0 <= 0xF4 && left >= 4 && IsCont(at(1)) && IsCont(at(2)) && IsCont(at(3))) {
    const bool overlong = b0 == 0xF0 && at(1) < 0x90;
    const bool tooBig = b0 == 0xF4 && at(1) >= 0x90;
    if (!overlong && !tooBig) {
      const char32_t c = (char32_t(b0 & 0x07) << 18) | (char32_t(at(1) & 0x3F) << 12) |
                         (char32_t(at(2) & 0x3F) << 6) | (at(3) & 0x3F);
      pos += 4;
      return c;
    }
  }
  ++pos;
  return kRawByte + b0;
}

// Every element but the terminator consumes exactly one character and a star
// any run of characters, so a failure only ever needs to go back to the most
// recent star and let it take one more character: an earlier star taking
// more could only shift the later part to positions the latest star reaches
// anyway. This gives the same answers as trying every choice of every star.
bool Run(std::string_view s, const std::vector<TMaskElement>& e) {
  const std::size_t n = e.size();
  if (n == 0) return s.empty();
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t i = 0, p = 0;
  std::size_t starI = kNone, starP = 0;
  for (;;) {
    const TMaskElement& el = e[i];
    const bool last = i + 1 == n;
    if (el.StarBefore) {
      if (last) return true;
      starI = i;
      starP = p;
    }
    if (last) {
      if (p == s.size()) return true;
    } else if (p < s.size()) {
      std::size_t q = p;
      const char32_t c = NextChar(s, q);
      if (el.Kind == kMaskAnyChar || c == el.Ch) {
        p = q;
        ++i;
        continue;
      }
    }
    if (starI == kNone || starP >= s.size()) return false;
    NextChar(s, starP);
    p = starP;
    i = starI;
  }
}

}  // namespace

TInternalMask CompileMask(std::string_view Mask) {
  TInternalMask m;
  m.Elements.reserve(Mask.size() + 1);
  bool star = false;
  std::size_t pos = 0;
  while (pos < Mask.size()) {
    const char32_t c = NextChar(Mask, pos);
    if (c == U'*') {
      star = true;
    } else if (c == U'?') {
      if (!star) m.Elements.push_back({0, kMaskAnyChar, 0});
    } else {
      m.Elements.push_back({Byte(star), kMaskLiteral, c});
      star = false;
    }
  }
  m.Elements.push_back({Byte(star), kMaskLiteral, 0});
  m.EndsWithDot = !Mask.empty() && Mask.back() == '.';
  return m;
}

bool MatchMask(std::string_view Name, const TInternalMask& Mask) {
  const auto slash = Name.find_last_of('/');
  const std::string_view last = slash == std::string_view::npos ? Name : Name.substr(slash + 1);
  if (Mask.EndsWithDot && last.find('.') == std::string_view::npos) {
    std::string dotted;
    dotted.reserve(Name.size() + 1);
    dotted.append(Name).push_back('.');
    return Run(dotted, Mask.Elements);
  }
  return Run(Name, Mask.Elements);
}

bool MatchMask(std::string_view Name, std::string_view Mask) { return MatchMask(Name, CompileMask(Mask)); }

bool MatchesAny(std::string_view Name, const std::vector<TMultiMask>& Masks) {
  for (const auto& m : Masks)
    if (m.Matches(Name)) return true;
  return false;
}

std::string NormalizeListMask(std::string_view Mask) {
  if (Mask.empty() || Mask == "*.*") return "*";
  return std::string(Mask);
}

std::vector<std::string> SplitMaskList(std::string_view Masks) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= Masks.size()) {
    std::size_t end = Masks.find(',', start);
    if (end == std::string_view::npos) end = Masks.size();
    std::string_view part = Masks.substr(start, end - start);
    while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
    while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
    if (!part.empty()) out.push_back(NormalizeListMask(part));
    start = end + 1;
  }
  return out;
}

}  // namespace vsk
