#include "app/main/wildcard.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using brevane::WildcardMatch;

// A plain recursive matcher over ASCII, fine for short inputs.
bool Reference(const char* t, const char* p) {
  if (!*p) return !*t;
  if (*p == '*') {
    if (!p[1]) return true;
    for (const char* s = t;; ++s) {
      if (Reference(s, p + 1)) return true;
      if (!*s) return false;
    }
  }
  if (!*t) return false;
  if (*p == '?') return Reference(t + 1, p + 1);
  if (*p == '[') {
    const char* q = p + 1;
    bool neg = false;
    if (*q == '^') neg = true, ++q;
    const char* close = q;
    while (*close && *close != ']') ++close;
    if (!*close || close == q || *q == '[') return false;
    bool in = false;
    for (const char* k = q; k < close;) {
      if (k + 2 < close && k[1] == '-') {
        in = in || (*t >= k[0] && *t <= k[2]);
        k += 3;
      } else {
        in = in || *t == *k;
        ++k;
      }
    }
    return in != neg && Reference(t + 1, close + 1);
  }
  return *t == *p && Reference(t + 1, p + 1);
}

TEST(WildcardMatch, Cases) {
  EXPECT_FALSE(WildcardMatch("File.TXT", "*.txt"));
  EXPECT_TRUE(WildcardMatch("File.txt", "*.txt"));
  EXPECT_TRUE(WildcardMatch("a1", "a[0-9]"));
  EXPECT_FALSE(WildcardMatch("ab", "a[^b]"));
  EXPECT_TRUE(WildcardMatch("ac", "a[^b]"));
  EXPECT_FALSE(WildcardMatch("a[", "a[0-9"));
  EXPECT_FALSE(WildcardMatch("ab", "*[b"));
  EXPECT_FALSE(WildcardMatch("a", "a[]"));
  EXPECT_FALSE(WildcardMatch("a]", "a[]]"));
  EXPECT_FALSE(WildcardMatch("a[", "a[[]"));
  EXPECT_FALSE(WildcardMatch("a", "a[x]"));  // a set needs a character
  EXPECT_TRUE(WildcardMatch("", ""));
  EXPECT_TRUE(WildcardMatch("", "*"));
  EXPECT_FALSE(WildcardMatch("", "?"));
  EXPECT_TRUE(WildcardMatch("anything", "*"));
  EXPECT_TRUE(WildcardMatch("a-b", "a[x-]b"));
  EXPECT_TRUE(WildcardMatch("report 2024.doc", "report ????.doc"));
  // "?" and sets take whole UTF-8 characters.
  EXPECT_TRUE(WildcardMatch("Größe", "Gr?ße"));
  EXPECT_TRUE(WildcardMatch("€5", "[€$]5"));
  EXPECT_FALSE(WildcardMatch("Größe", "Gr??ße"));
}

TEST(WildcardMatch, AgreesWithPlainBacktracking) {
  std::mt19937 rng(7);
  const char* pieces[] = {"a", "b", "*", "?", "[ab]", "[^a]", "[a-b]", "[b", "[]"};
  for (int n = 0; n < 20000; ++n) {
    std::string pattern, text;
    for (int k = static_cast<int>(rng() % 6); k > 0; --k) pattern += pieces[rng() % 9];
    for (int k = static_cast<int>(rng() % 7); k > 0; --k) text += "ab["[rng() % 3];
    ASSERT_EQ(WildcardMatch(text, pattern), Reference(text.c_str(), pattern.c_str()))
        << "text '" << text << "' pattern '" << pattern << "'";
  }
}

TEST(WildcardMatch, NoExponentialBacktracking) {
  // Plain backtracking would take about 10^17 steps here.
  const std::string text(200, 'a');
  EXPECT_FALSE(WildcardMatch(text, "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b"));
  EXPECT_TRUE(WildcardMatch(text + "b", "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b"));
}

}  // namespace
