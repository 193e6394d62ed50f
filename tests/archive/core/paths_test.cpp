#include "archive/core/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <set>

#include "base/dates.h"
#include "base/stream.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;

// Switches the process to a time zone for the object's lifetime.
class ScopedZone {
 public:
  explicit ScopedZone(const std::string& tz) : env_("TZ", tz) { tzset(); }
  ~ScopedZone() { tzset(); }

 private:
  vsktest::ScopedEnv env_;
};

TEST(Paths, StoredNamesCrossTheBoundary) {
  EXPECT_EQ(OemToAnsiName("dir\\sub/file.txt", false), "dir/sub/file.txt");
  EXPECT_EQ(OemToAnsiName("M\x81nchen\\\x84rger.txt", true), "M\xC3\xBCnchen/\xC3\xA4rger.txt");
  EXPECT_EQ(OemToAnsiName("M\x81nchen", false), "M\x81nchen");
  EXPECT_EQ(OemToAnsiName("caf\xC3\xA9\\x", true), "caf\xC3\xA9/x");  // already UTF-8

  EXPECT_EQ(AnsiToOemName("a/b\\c", false), "a/b/c");
  EXPECT_EQ(AnsiToOemName("a/b\\c", false, '\\'), "a\\b\\c");
  EXPECT_EQ(AnsiToOemName("M\xC3\xBCnchen/x", true), "M\x81nchen/x");
  EXPECT_EQ(AnsiToOemName("M\xC3\xBCnchen/x", false), "M\xC3\xBCnchen/x");
  EXPECT_EQ(AnsiToOemName("\xE2\x82\xAC/x", true, '\\'), "\xE2\x82\xAC\\x");  // does not fit: UTF-8

  bool flag = true;
  EXPECT_EQ(AnsiToOemName("plain/x", true, '/', flag), "plain/x");
  EXPECT_FALSE(flag);
  EXPECT_EQ(AnsiToOemName("M\xC3\xBCnchen/x", true, '/', flag), "M\xC3\xBCnchen/x");
  EXPECT_TRUE(flag);
  EXPECT_EQ(AnsiToOemName("M\xC3\xBCnchen\\x", false, '/', flag), "M\xC3\xBCnchen/x");
  EXPECT_TRUE(flag);

  EXPECT_EQ(AnsiToOem("\xC3\xA4/b", true), "\x84/b");
  EXPECT_EQ(AnsiToOem("\xC3\xA4/b", false), "\xC3\xA4/b");
  EXPECT_EQ(AnsiToOem("\xE6\x97\xA5", true), "\xE6\x97\xA5");
  // Writing then reading gives the name back.
  for (const char* n : {"a/b.txt", "M\xC3\xBCnchen/\xC3\xA4.txt", "\xE6\x97\xA5/\xE6\x9C\xAC"})
    EXPECT_EQ(OemToAnsiName(AnsiToOemName(n, true, '\\'), true), n);
}

TEST(Paths, Separators) {
  EXPECT_EQ(SlashToBackslash("a/b//c"), "a\\b\\\\c");
  // A trail byte 0x2F after a lead byte stays; so does a doubled backslash.
  EXPECT_EQ(SlashToBackslashMB("\x81/a/b"), "\x81/a\\b");
  EXPECT_EQ(SlashToBackslashMB("\xE0/x\\\\/"), "\xE0/x\\\\\\");
  EXPECT_EQ(SlashToBackslashMB("\xFE/"), "\xFE\\");

  EXPECT_EQ(AppendSlash("dir"), "dir/");
  EXPECT_EQ(AppendSlash("dir/"), "dir/");
  EXPECT_EQ(AppendSlash("dir\\"), "dir\\");
  EXPECT_EQ(AppendSlash(""), "");
  EXPECT_EQ(RemoveTrailingSlash("dir/"), "dir");
  EXPECT_EQ(RemoveTrailingSlash("dir\\"), "dir");
  EXPECT_EQ(RemoveTrailingSlash("dir//"), "dir/");
  EXPECT_EQ(RemoveTrailingSlash("dir"), "dir");
  EXPECT_EQ(RemoveTrailingSlash("/"), "/");
  EXPECT_EQ(JoinPath("a", "b"), "a/b");
  EXPECT_EQ(JoinPath("a/", "b"), "a/b");
  EXPECT_EQ(JoinPath("a/", "/b"), "a/b");
  EXPECT_EQ(JoinPath("a\\", "\\b"), "a\\b");
  EXPECT_EQ(JoinPath("/", "b"), "/b");
  EXPECT_EQ(JoinPath("", "b"), "b");

  EXPECT_TRUE(IsUncPath("\\\\srv\\x"));
  EXPECT_TRUE(IsUncPath("//srv/x"));
  EXPECT_TRUE(IsUncPath("\\\\s"));
  EXPECT_FALSE(IsUncPath("\\\\"));
  EXPECT_FALSE(IsUncPath("/srv/x"));
  EXPECT_FALSE(IsUncPath("c:\\x"));
}

TEST(Paths, TextHelpers) {
  EXPECT_EQ(BackupName("data.zip"), "data.~zi");
  EXPECT_EQ(BackupName("notes.txt"), "notes.~tx");
  EXPECT_EQ(BackupName("page.html"), "page.~htm");
  EXPECT_EQ(BackupName("main.c"), "main.~c");
  EXPECT_EQ(BackupName("x.gz"), "x.~gz");
  EXPECT_EQ(BackupName("README"), "README.~");
  EXPECT_EQ(BackupName("a."), "a.~");
  EXPECT_EQ(BackupName("dir.d/file"), "dir.d/file.~");
  EXPECT_EQ(BackupName("/tmp/x.y/a.tar.gz"), "/tmp/x.y/a.tar.~gz");

  std::string t = "one;two;;three";
  EXPECT_EQ(SplitAt(t, ";"), "one");
  EXPECT_EQ(t, "two;;three");
  EXPECT_EQ(SplitAt(t, ";"), "two");
  EXPECT_EQ(SplitAt(t, ";"), "");
  EXPECT_EQ(SplitAt(t, ";"), "three");
  EXPECT_EQ(t, "");
  t = "a::b";
  EXPECT_EQ(SplitAt(t, "::"), "a");
  EXPECT_EQ(t, "b");

  EXPECT_TRUE(IsAllDigits(""));
  EXPECT_TRUE(IsAllDigits("0123456789"));
  EXPECT_FALSE(IsAllDigits("12a"));
  EXPECT_FALSE(IsAllDigits("-1"));

  for (Byte b : {0x8B, 0x9E, 0x9D, 0xA0, 0x1E}) {
    EXPECT_TRUE(IsGzipMagic(0x1F, b)) << int(b);
    EXPECT_TRUE(IsGzipMagic(static_cast<UInt16>(0x1F | (b << 8)))) << int(b);
  }
  EXPECT_FALSE(IsGzipMagic(0x1F, 0x8C));
  EXPECT_FALSE(IsGzipMagic(0x8B, 0x1F));
  EXPECT_FALSE(IsGzipMagic(UInt16{0x1F8B}));

  EXPECT_EQ(ShiftText(false, "abz", 1), "bc{");
  EXPECT_EQ(ShiftText(true, "bc{", 1), "abz");
  EXPECT_EQ(ShiftText(false, "\xFF", 2), "\x01");
  EXPECT_EQ(ShiftText(true, std::string("\x01", 1), 2), "\xFF");
  EXPECT_EQ(ShiftText(true, ShiftText(false, "pass", 300), 300), "pass");

  EXPECT_EQ(KnownAttributes(0xFFFF), 0xBF);
  EXPECT_EQ(KnownAttributes(0x40 | 0x100 | 0x21), 0x21);
}

TEST(Paths, StreamStrings) {
  TMemoryStream32 s;
  const std::string data = std::string("first\0second\0", 13) + std::string(300, 'x');
  s.WriteBuffer(data.data(), static_cast<Int64>(data.size()));
  Int64 pos = 0;
  EXPECT_EQ(ReadZString(s, pos), "first");
  EXPECT_EQ(pos, 6);
  EXPECT_EQ(ReadZString(s, pos), "second");
  EXPECT_EQ(pos, 13);
  // No zero within the 256 bytes read: the text is those 256 bytes.
  EXPECT_EQ(ReadZString(s, pos), std::string(256, 'x'));
  EXPECT_EQ(pos, 13 + 257);
  EXPECT_EQ(ReadZString(s, pos), std::string(300 - 257, 'x'));
  Int64 past = 10000;
  EXPECT_EQ(ReadZString(s, past), "");
  EXPECT_EQ(past, 10001);

  pos = 6;
  EXPECT_EQ(ReadFixedString(s, pos, 6), "second");
  EXPECT_EQ(pos, 12);
  pos = static_cast<Int64>(data.size()) - 2;
  EXPECT_EQ(ReadFixedString(s, pos, 0x7FFFFFFF), "xx");  // a huge length does not allocate
  EXPECT_EQ(pos, static_cast<Int64>(data.size()) - 2 + 0x7FFFFFFF);
  pos = 3;
  EXPECT_EQ(ReadFixedString(s, pos, -4), "");
  EXPECT_EQ(pos, 3);
}

TEST(Paths, FileSystemQueries) {
  vsktest::TempDir dir;
  const fs::path d = dir.path();
  vsktest::WriteFile(d / "plain.txt", "12345");
  vsktest::WriteFile(d / ".hidden", "h");
  vsktest::WriteFile(d / "ro.txt", "r");
  fs::permissions(d / "ro.txt", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  fs::create_directory(d / "sub");
  fs::create_directory(d / "empty");
  ASSERT_EQ(mkfifo((d / "fifo").c_str(), 0644), 0);

  EXPECT_EQ(FileDosAttributes((d / "plain.txt").string()), faArchive);
  EXPECT_EQ(FileDosAttributes((d / ".hidden").string()), faArchive | faHidden);
  EXPECT_EQ(FileDosAttributes((d / "ro.txt").string()), faArchive | faReadOnly);
  EXPECT_EQ(FileDosAttributes((d / "sub").string()), faDirectory);
  EXPECT_EQ(FileDosAttributes((d / "sub/").string()), faDirectory);
  EXPECT_EQ(FileDosAttributes((d / "fifo").string()), faSysFile);
  EXPECT_EQ(FileDosAttributes((d / "missing").string()), -1);
  EXPECT_EQ(FileDosAttributes((d / "sub/..").string()), faDirectory);

  EXPECT_TRUE(IsPlainFile((d / "plain.txt").string()));
  EXPECT_FALSE(IsPlainFile((d / ".hidden").string()));
  EXPECT_FALSE(IsPlainFile((d / "ro.txt").string()));
  EXPECT_FALSE(IsPlainFile((d / "sub").string()));
  EXPECT_FALSE(IsPlainFile((d / "fifo").string()));
  EXPECT_FALSE(IsPlainFile((d / "missing").string()));

  EXPECT_TRUE(DirectoryExists(d.string()));
  EXPECT_TRUE(DirectoryExists((d / "sub").string()));
  EXPECT_FALSE(DirectoryExists((d / "plain.txt").string()));
  EXPECT_FALSE(DirectoryExists(""));

  EXPECT_TRUE(DirHasEntries(d.string()));
  EXPECT_FALSE(DirHasEntries((d / "empty").string()));
  EXPECT_FALSE(DirHasEntries((d / "missing").string()));
  vsktest::WriteFile(d / "empty/.dot", "");
  EXPECT_TRUE(DirHasEntries((d / "empty").string()));  // hidden entries count too

  EXPECT_TRUE(ForceDirectories((d / "a/b\\c/d/").string()));
  EXPECT_TRUE(fs::is_directory(d / "a/b/c/d"));
  EXPECT_TRUE(ForceDirectories((d / "a/b").string()));
  EXPECT_FALSE(ForceDirectories((d / "plain.txt/x").string()));
  EXPECT_FALSE(ForceDirectories(""));

  {
    vsktest::ScopedEnv tmp("TMPDIR", d.string());
    EXPECT_EQ(GetTempPath(), d.string() + "/");
  }
  {
    vsktest::ScopedEnv tmp("TMPDIR", (d / "missing").string());
    EXPECT_EQ(GetTempPath(), "/tmp/");
  }
}

std::set<std::string> List(const std::string& path, Int32 attr) {
  std::set<std::string> names;
  TSearchRec f;
  for (int r = FindFirst(path, attr, f); r == 0; r = FindNext(f)) names.insert(f.Name);
  FindClose(f);
  return names;
}

TEST(Paths, FindFirstListsByMaskAndAttributes) {
  vsktest::IsolatedEnvironment env;
  ScopedZone tz("Europe/Berlin");
  vsktest::TempDir dir;
  const fs::path d = dir.path();
  vsktest::WriteFile(d / "a.txt", "12345");
  vsktest::WriteFile(d / "b.TXT", "1");
  vsktest::WriteFile(d / "c.dat", "1");
  vsktest::WriteFile(d / "\xC3\xA9.txt", "1");
  vsktest::WriteFile(d / ".secret", "1");
  fs::create_directory(d / "sub");

  using S = std::set<std::string>;
  EXPECT_EQ(List((d / "*").string(), 0), (S{"a.txt", "b.TXT", "c.dat", "\xC3\xA9.txt"}));
  EXPECT_EQ(List((d / "*.*").string(), faAnyFile),
            (S{"a.txt", "b.TXT", "c.dat", "\xC3\xA9.txt", ".secret", "sub"}));
  EXPECT_EQ(List((d / "*").string(), faDirectory), (S{"a.txt", "b.TXT", "c.dat", "\xC3\xA9.txt", "sub"}));
  EXPECT_EQ(List((d / "*").string(), faHidden), (S{"a.txt", "b.TXT", "c.dat", "\xC3\xA9.txt", ".secret"}));
  EXPECT_EQ(List((d / "*.txt").string(), 0), (S{"a.txt", "\xC3\xA9.txt"}));
  EXPECT_EQ(List((d / "?.txt").string(), 0), (S{"a.txt", "\xC3\xA9.txt"}));
  EXPECT_EQ(List((d / "*.t?t").string(), 0), (S{"a.txt", "\xC3\xA9.txt"}));
  EXPECT_EQ(List((d / "c.dat").string(), 0), (S{"c.dat"}));
  EXPECT_EQ(List((d / "*a*").string(), 0), (S{"a.txt", "c.dat"}));
  EXPECT_EQ(List((d / "x*").string(), 0), S{});

  // The record carries size, attributes and the local DOS time.
  const Int64 mtime = 1688205600;  // 2023-07-01 10:00:00 UTC, 12:00 in Berlin
  fs::last_write_time(d / "a.txt", fs::file_time_type::clock::from_sys(
                                       std::chrono::system_clock::from_time_t(static_cast<time_t>(mtime))));
  TSearchRec f;
  ASSERT_EQ(FindFirst((d / "a.txt").string(), 0, f), 0);
  EXPECT_EQ(f.Name, "a.txt");
  EXPECT_EQ(f.Size, 5);
  EXPECT_EQ(f.Attr, faArchive);
  EXPECT_EQ(f.Time, DateTimeToDosDateTime(ComposeDateTime(EncodeDate(2023, 7, 1), EncodeTime(12, 0, 0, 0))));
  EXPECT_EQ(FindNext(f), ENOENT);
  FindClose(f);
  EXPECT_EQ(FindNext(f), EBADF);

  EXPECT_NE(FindFirst((d / "missing/*").string(), faAnyFile, f), 0);
  EXPECT_NE(FindFirst((d / "nothing*").string(), faAnyFile, f), 0);
  EXPECT_EQ(FindFirst(d.string() + "/", faAnyFile, f), ENOENT);
  // The record can be moved and still go on listing.
  ASSERT_EQ(FindFirst((d / "*").string(), 0, f), 0);
  TSearchRec g = std::move(f);
  int more = 0;
  while (FindNext(g) == 0) ++more;
  EXPECT_EQ(more, 3);
}

TEST(Paths, DeleteFileEx) {
  vsktest::IsolatedEnvironment env;
  vsktest::TempDir dir;
  const fs::path d = dir.path();
  vsktest::WriteFile(d / "final.txt", "f");
  vsktest::WriteFile(d / "undo.txt", "u");
  EXPECT_TRUE(DeleteFileEx((d / "final.txt").string(), doFinal));
  EXPECT_FALSE(fs::exists(d / "final.txt"));
  EXPECT_FALSE(DeleteFileEx((d / "final.txt").string(), doFinal));

  EXPECT_TRUE(DeleteFileEx((d / "undo.txt").string(), doAllowUndo));
  EXPECT_FALSE(fs::exists(d / "undo.txt"));
  const fs::path trash = env.root() / "home/.local/share/Trash";
  EXPECT_EQ(vsktest::ReadFile(trash / "files/undo.txt"), "u");
  EXPECT_TRUE(fs::exists(trash / "info/undo.txt.trashinfo"));
  EXPECT_FALSE(DeleteFileEx((d / "undo.txt").string(), doAllowUndo));
  EXPECT_FALSE(fs::exists(trash / "files/final.txt"));

  fs::create_directory(d / "sub");
  EXPECT_FALSE(DeleteFileEx((d / "sub").string(), doFinal));
  EXPECT_TRUE(fs::is_directory(d / "sub"));
}

}  // namespace
}  // namespace vsk
