#include "archive/core/masks.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using vsk::CompileMask;
using vsk::MatchMask;

// The masks matched by trying every choice of every star in turn with a
// stack of resume points, on single-byte names, as the matcher is defined.
struct RefElem {
  bool star;
  bool any;
  char ch;
};

char Up(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

std::vector<RefElem> RefCompile(const std::string& mask) {
  std::vector<RefElem> e;
  bool star = false;
  for (char c : mask) {
    if (c == '*') {
      star = true;
    } else if (c == '?') {
      if (!star) e.push_back({false, true, 0});
    } else {
      e.push_back({star, false, Up(c)});
      star = false;
    }
  }
  e.push_back({star, false, 0});
  return e;
}

bool RefMatch(std::string name, const std::string& mask) {
  if (!mask.empty() && mask.back() == '.' && name.find('.') == std::string::npos) name += '.';
  const auto e = RefCompile(mask);
  std::vector<std::pair<std::size_t, std::size_t>> stack{{0, 0}};
  while (!stack.empty()) {
    auto [p, i] = stack.back();
    stack.pop_back();
    for (;;) {
      const RefElem& el = e[i];
      if (el.star) {
        while (p < name.size() && Up(name[p]) != el.ch) ++p;
        if (p < name.size()) stack.push_back({p + 1, i});
      }
      if (el.any) {
        if (p >= name.size()) break;
      } else if (el.ch == 0) {
        if (p == name.size()) return true;
        break;
      } else if (p >= name.size() || Up(name[p]) != el.ch) {
        break;
      }
      ++p;
      ++i;
    }
  }
  return false;
}

TEST(Masks, TableOfNames) {
  struct Case {
    const char* mask;
    const char* name;
    bool match;
  };
  const Case cases[] = {
      {"*.TXT", "readme.txt", true},   {"*.TXT", "readme.txt.bak", false}, {"*.txt", "README.TXT", true},
      {"a?c", "abc", true},            {"a?c", "ab", false},               {"a?c", "abbc", false},
      {"*?", "", true},                {"*?", "x", true},                  {"*?", "any.name", true},
      {"*.", "README", true},          {"*.", "README.TXT", false},        {"*.", "README.", true},
      {"*.*", "a.b", true},            {"*.*", "README", false},           {"*", "", true},
      {"", "", true},                  {"", "a", false},                   {"?", "", false},
      {"a*", "a", true},               {"*a", "bba", true},                {"*a", "bab", false},
      {"a*b*c", "aXbYc", true},        {"a*b*c", "acb", false},            {"*ab*ab", "abxab", true},
      {"*ab*ab", "abab", true},        {"*ab*ab", "aab", false},           {"**a", "ba", true},
      {"*?x", "x", true},              {"a*?", "a", true},                 {"??", "ab", true},
      {"??", "a", false},              {"docs/*", "docs/sub/a.txt", true}, {"d*s/a.txt", "docs/a.txt", true},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchMask(c.name, c.mask), c.match) << c.mask << " vs " << c.name;
}

TEST(Masks, CompiledForm) {
  const auto m = CompileMask("**?a?");
  ASSERT_EQ(m.Count(), 3);
  EXPECT_EQ(m.Elements[0].StarBefore, 1);
  EXPECT_EQ(m.Elements[0].Kind, vsk::kMaskLiteral);
  EXPECT_EQ(m.Elements[0].Ch, U'A');
  EXPECT_EQ(m.Elements[1].StarBefore, 0);
  EXPECT_EQ(m.Elements[1].Kind, vsk::kMaskAnyChar);
  EXPECT_EQ(m.Elements[2].Ch, U'\0');
  EXPECT_FALSE(m.EndsWithDot);

  const auto t = CompileMask("x*");
  ASSERT_EQ(t.Count(), 2);
  EXPECT_EQ(t.Elements[1].StarBefore, 1);
  EXPECT_TRUE(CompileMask("x.").EndsWithDot);
  EXPECT_EQ(CompileMask("").Count(), 1);
}

TEST(Masks, FoldsOnlyAsciiLettersAndTakesWholeCharacters) {
  EXPECT_TRUE(MatchMask("straße.TXT", "STRAßE.txt"));
  EXPECT_FALSE(MatchMask("Äpfel", "äpfel"));
  EXPECT_TRUE(MatchMask("aéc", "a?c"));
  EXPECT_FALSE(MatchMask("aéc", "a??c"));
  EXPECT_TRUE(MatchMask("日本語.txt", "???.txt"));
  EXPECT_TRUE(MatchMask("x😀y", "x?y"));
  // Bytes that are not UTF-8 are characters of their own.
  EXPECT_TRUE(MatchMask(std::string("a\xff\xfe"), "a??"));
  EXPECT_TRUE(MatchMask(std::string("a\xe9z"), std::string("a\xe9*")));
  EXPECT_FALSE(MatchMask(std::string("a\xe9z"), "a\u00e9z"));
  EXPECT_TRUE(MatchMask("[a]{b}", "[?]{*}"));
}

TEST(Masks, ManyStarsAndNoExponentialBacktracking) {
  std::string mask;
  for (int i = 0; i < 40; ++i) mask += "*a";
  EXPECT_TRUE(MatchMask(std::string(40, 'a'), mask));
  EXPECT_FALSE(MatchMask(std::string(39, 'a'), mask));
  EXPECT_TRUE(MatchMask(std::string(100, 'a') + "b", mask + "*b"));

  // A classic blow-up for backtracking matchers: many stars, a long name of
  // the repeated letter and no final match.
  std::string hard;
  for (int i = 0; i < 25; ++i) hard += "*a";
  hard += "*b";
  EXPECT_FALSE(MatchMask(std::string(20000, 'a'), hard));
  EXPECT_TRUE(MatchMask(std::string(20000, 'a') + "b", hard));
}

TEST(Masks, AgreesWithFullBacktrackingOnRandomMasks) {
  std::mt19937 rng(12345);
  const std::string maskChars = "ab.*?A";
  const std::string nameChars = "abB.";
  for (int round = 0; round < 60000; ++round) {
    std::string mask, name;
    const int ml = static_cast<int>(rng() % 8), nl = static_cast<int>(rng() % 9);
    for (int i = 0; i < ml; ++i) mask += maskChars[rng() % maskChars.size()];
    for (int i = 0; i < nl; ++i) name += nameChars[rng() % nameChars.size()];
    ASSERT_EQ(MatchMask(name, mask), RefMatch(name, mask)) << "mask '" << mask << "' name '" << name << "'";
  }
}

TEST(Masks, MaskLists) {
  EXPECT_EQ(vsk::NormalizeListMask(""), "*");
  EXPECT_EQ(vsk::NormalizeListMask("*.*"), "*");
  EXPECT_EQ(vsk::NormalizeListMask("*.txt"), "*.txt");
  const std::vector<std::string> want{"*.txt", "a b.doc", "*", "x"};
  EXPECT_EQ(vsk::SplitMaskList("  *.txt , a b.doc,, *.* ,x"), want);
  EXPECT_TRUE(vsk::SplitMaskList(" , ").empty());

  std::vector<vsk::TMultiMask> masks;
  masks.emplace_back("*.pas");
  masks.emplace_back("*.INC");
  EXPECT_EQ(masks[1].Text(), "*.INC");
  EXPECT_TRUE(vsk::MatchesAny("unit.inc", masks));
  EXPECT_TRUE(vsk::MatchesAny("UNIT.PAS", masks));
  EXPECT_FALSE(vsk::MatchesAny("unit.dcu", masks));
  EXPECT_FALSE(vsk::MatchesAny("x", {}));
}

}  // namespace
