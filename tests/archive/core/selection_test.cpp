#include "archive/core/selection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using vsk::IsEntrySelected;
using vsk::MatchFileName;
using Masks = std::vector<std::string>;

TEST(Selection, FolderRules) {
  const Masks none;
  EXPECT_FALSE(IsEntrySelected("a.txt", {}, none, true));
  EXPECT_FALSE(IsEntrySelected("", {"*"}, none, true));
  EXPECT_FALSE(IsEntrySelected("a.txt", {"", ""}, none, true));

  const Masks txt{"*.txt"};
  EXPECT_TRUE(IsEntrySelected("a.txt", txt, none, false));
  EXPECT_FALSE(IsEntrySelected("doc\\a.txt", txt, none, false));
  EXPECT_TRUE(IsEntrySelected("doc\\a.txt", txt, none, true));
  EXPECT_TRUE(IsEntrySelected("doc/deeper/a.TXT", txt, none, true));
  EXPECT_FALSE(IsEntrySelected("a.txt.bak", txt, none, true));

  // A mask with a folder: without RecurseDirs the folders must be equal,
  // with it the whole name is matched against the whole mask.
  const Masks docs{"docs\\*.txt"};
  EXPECT_TRUE(IsEntrySelected("DOCS/a.txt", docs, none, false));
  EXPECT_FALSE(IsEntrySelected("docs/sub/a.txt", docs, none, false));
  EXPECT_TRUE(IsEntrySelected("docs/sub/a.txt", docs, none, true));
  EXPECT_FALSE(IsEntrySelected("a.txt", docs, none, true));
  EXPECT_FALSE(IsEntrySelected("other/docs/a.txt", docs, none, true));
  EXPECT_TRUE(IsEntrySelected("other/docs/a.txt", {"*docs/*.txt"}, none, true));
  EXPECT_FALSE(IsEntrySelected("docs/a.txt", {"doc?/*.txt"}, none, false));
  EXPECT_TRUE(IsEntrySelected("docs/a.txt", {"doc?/*.txt"}, none, true));

  // Names without a point.
  for (bool recurse : {false, true}) {
    EXPECT_TRUE(IsEntrySelected("README", {"*."}, none, recurse));
    EXPECT_TRUE(IsEntrySelected("README", {"*.*"}, none, recurse));
    EXPECT_FALSE(IsEntrySelected("README.md", {"*."}, none, recurse));
    EXPECT_TRUE(IsEntrySelected("v1.0/README", {"v1.0/*.*"}, none, recurse));
  }
  EXPECT_TRUE(IsEntrySelected("src/Makefile", {"*.*"}, none, true));
  EXPECT_TRUE(IsEntrySelected("docs/", {"*.*"}, none, true));
}

TEST(Selection, ExclusionsAndExactNames) {
  const Masks masks{"*.txt", "notes/todo.txt"};
  const Masks excl{"*secret*", "notes/*"};
  EXPECT_TRUE(IsEntrySelected("plan.txt", masks, excl, true));
  EXPECT_FALSE(IsEntrySelected("my-secret.txt", masks, excl, true));
  EXPECT_FALSE(IsEntrySelected("notes/other.txt", masks, excl, true));
  // A mask equal to the name wins over the exclusions, whatever the case
  // or the separators; a match by an earlier mask does not.
  EXPECT_TRUE(IsEntrySelected("Notes\\TODO.txt", {"notes/todo.txt"}, excl, true));
  EXPECT_FALSE(IsEntrySelected("notes/todo.txt", masks, excl, true));
  EXPECT_TRUE(IsEntrySelected("secret.doc", {"secret.doc"}, {"*"}, false));
  EXPECT_FALSE(IsEntrySelected("secret.doc", {"secret.do?"}, {"*"}, false));
}

TEST(Selection, RepeatedCallsAgreeAndLeaveTheMasksAlone) {
  const Masks masks{"README", "a?c"};
  const Masks excl{"READ*"};
  const Masks before = masks;
  const char* names[] = {"other", "README", "abc", "xyz", "README", "b", "abc"};
  std::vector<bool> first;
  for (const char* n : names) first.push_back(IsEntrySelected(n, masks, excl, false));
  EXPECT_EQ(masks, before);
  EXPECT_EQ(first, (std::vector<bool>{false, true, true, false, true, false, true}));
  for (int round = 0; round < 3; ++round) {
    std::vector<bool> again;
    for (const char* n : names) again.push_back(IsEntrySelected(n, masks, excl, false));
    EXPECT_EQ(again, first);
  }
}

TEST(Selection, ColonOnlyAfterADriveLetter) {
  const Masks none;
  EXPECT_TRUE(IsEntrySelected("c:\\data\\a.txt", {"C:/data/*.txt"}, none, false));
  EXPECT_TRUE(IsEntrySelected("c:\\a.txt", {"c:\\*.txt"}, none, false));
  EXPECT_TRUE(IsEntrySelected("c:a.txt", {"c:*.txt"}, none, false));
  EXPECT_FALSE(IsEntrySelected("c:a.txt", {"*.txt"}, none, false));
  EXPECT_TRUE(IsEntrySelected("c:a.txt", {"*.txt"}, none, true));
  // Elsewhere a colon is part of the name.
  EXPECT_TRUE(IsEntrySelected("notes:v2.txt", {"*.txt"}, none, false));
  EXPECT_TRUE(IsEntrySelected("dir/12:30.log", {"dir/*.log"}, none, false));
  EXPECT_TRUE(IsEntrySelected("dir/12:30.log", {"12:*.log"}, none, true));
  EXPECT_FALSE(IsEntrySelected("dir/12:30.log", {"30.log"}, none, true));
}

TEST(Selection, OnlyAsciiLettersFold) {
  const Masks none;
  EXPECT_TRUE(IsEntrySelected("Über/Straße.TXT", {"Über/straße.txt"}, none, false));
  EXPECT_FALSE(IsEntrySelected("über/a.txt", {"Über/*.txt"}, none, false));
  EXPECT_FALSE(IsEntrySelected("Ä.txt", {"ä.txt"}, none, true));
}

TEST(Selection, MatchFileName) {
  const Masks none;
  EXPECT_TRUE(MatchFileName("README", {"*.*"}, none));
  EXPECT_TRUE(MatchFileName("README", {"READ*"}, none));
  EXPECT_TRUE(MatchFileName("v1.0/README", {"*.*"}, none));
  EXPECT_TRUE(MatchFileName("v1.0\\x", {"v1.0/x"}, none));
  EXPECT_TRUE(MatchFileName("docs/a.txt", {"*.txt"}, none));
  EXPECT_FALSE(MatchFileName("docs/a.txt", {"a.txt"}, none));
  EXPECT_FALSE(MatchFileName("a.txt", {}, none));
  EXPECT_FALSE(MatchFileName("a.txt", {"*.txt"}, {"A.*"}));
  EXPECT_FALSE(MatchFileName("Makefile", {"*"}, {"*.*"}));
  EXPECT_TRUE(MatchFileName("Makefile", {"*"}, {"*.mk"}));
  EXPECT_TRUE(MatchFileName("a.txt", {"*.doc", "", "?.TXT"}, {""}));
}

}  // namespace
