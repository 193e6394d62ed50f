#include "app/main/wildcard.h"

#include <string_view>
#include <utility>
#include <vector>

namespace brevane {

namespace {

// Code points of a UTF-8 text; a byte that does not start a valid sequence
// stands for itself, above the code point range.
std::u32string Decode(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    std::size_t len = 0;
    char32_t cp = 0, min = 0;
    if (b0 < 0x80) {
      len = 1, cp = b0;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
      len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      len = 4, cp = b0 & 0x07, min = 0x10000;
    }
    bool ok = len > 0 && i + len <= s.size();
    for (std::size_t k = 1; ok && k < len; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      ok = (b & 0xC0) == 0x80;
      cp = (cp << 6) | (b & 0x3F);
    }
    ok = ok && cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
    if (!ok) {
      out += static_cast<char32_t>(0x110000 + b0);
      ++i;
    } else {
      out += cp;
      i += len;
    }
  }
  return out;
}

struct Token {
  enum Kind { Literal, AnyOne, Star, Set } What = Literal;
  char32_t Ch = 0;
  bool Negated = false;
  std::vector<std::pair<char32_t, char32_t>> Ranges;

  bool Matches(char32_t c) const {
    switch (What) {
      case Literal:
        return c == Ch;
      case AnyOne:
        return true;
      case Set: {
        bool in = false;
        for (auto [lo, hi] : Ranges) in = in || (c >= lo && c <= hi);
        return in != Negated;
      }
      default:
        return false;
    }
  }
};

// False when the pattern holds a set that can never match.
bool Compile(const std::u32string& p, std::vector<Token>& tokens) {
  for (std::size_t i = 0; i < p.size();) {
    Token t;
    const char32_t c = p[i];
    if (c == U'*') {
      t.What = Token::Star;
      ++i;
      if (!tokens.empty() && tokens.back().What == Token::Star) continue;
    } else if (c == U'?') {
      t.What = Token::AnyOne;
      ++i;
    } else if (c == U'[') {
      t.What = Token::Set;
      std::size_t j = i + 1;
      if (j < p.size() && p[j] == U'^') {
        t.Negated = true;
        ++j;
      }
      const std::size_t close = p.find(U']', j);
      if (close == std::u32string::npos || close == j || p[j] == U'[') return false;
      for (std::size_t k = j; k < close;) {
        if (k + 2 < close && p[k + 1] == U'-') {
          t.Ranges.emplace_back(p[k], p[k + 2]);
          k += 3;
        } else {
          t.Ranges.emplace_back(p[k], p[k]);
          ++k;
        }
      }
      i = close + 1;
    } else {
      t.Ch = c;
      ++i;
    }
    tokens.push_back(std::move(t));
  }
  return true;
}

}  // namespace

bool WildcardMatch(const std::string& textUtf8, const std::string& patternUtf8) {
  const std::u32string text = Decode(textUtf8);
  std::vector<Token> tokens;
  if (!Compile(Decode(patternUtf8), tokens)) return false;

  // Every token but "*" takes exactly one character, so on a mismatch only
  // the last "*" needs to take one more: no deeper backtracking can help.
  const std::size_t n = tokens.size();
  std::size_t t = 0, p = 0;
  std::size_t starP = std::string::npos, starT = 0;
  while (t < text.size()) {
    if (p < n && tokens[p].What == Token::Star) {
      starP = ++p;
      starT = t;
    } else if (p < n && tokens[p].Matches(text[t])) {
      ++p;
      ++t;
    } else if (starP != std::string::npos) {
      p = starP;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (p < n && tokens[p].What == Token::Star) ++p;
  return p == n;
}

}  // namespace brevane
