// Encoding files as UU, XX and MIME Base64 texts: what the encoder writes is
// restored byte for byte by uudecode and base64 (UU and Base64) and by our
// own decoder (all three forms, also split into parts); the questions about
// an existing output, read-only targets and cancelled runs leave what exists
// as it was.

#include "archive/formats/uu/uuencode.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "base/dates.h"
#include "archive/formats/uu/uucodec.h"
#include "archive/formats/uu/uudecode.h"
#include "tests/support/testutil.h"

namespace vsk {
namespace {

namespace fs = std::filesystem;
using vsktest::RandomBytes;
using vsktest::ReadFile;
using vsktest::RunTool;
using vsktest::ShellQuote;
using vsktest::TempDir;
using vsktest::WriteFile;

const std::string kFirstLineTail = " 4.8 (Brevane - https://brevane.example/)\r\n\r\n";

struct EncodeLog {
  int result = -1;
  std::vector<int> errors;
  std::vector<std::string> extended;
  std::vector<std::string> errorFiles;
  std::vector<std::string> events;
  std::map<std::string, bool> verdicts;
  bool Has(int code) const { return std::count(errors.begin(), errors.end(), code) > 0; }
};

using EncodeSetup = std::function<void(TUUEncode&, EncodeLog&)>;

EncodeLog Encode(const fs::path& input, const fs::path& output, TCompressMethod method,
                 const EncodeSetup& setup = {}) {
  TUUEncode e;
  EncodeLog r;
  e.OnError = [&r](TZipCommon&, const std::string& file, const std::string& ext, const std::string&, int code) {
    r.errors.push_back(code);
    r.extended.push_back(ext);
    r.errorFiles.push_back(file);
  };
  e.OnActivate = [&r](TZipCommon&) { r.events.push_back("activate"); };
  e.OnDeactivate = [&r](TZipCommon&) { r.events.push_back("deactivate"); };
  e.OnBegin = [&r](TZipCommon&, const std::string& name, int, bool&) { r.events.push_back("begin " + name); };
  e.OnEnd = [&r](TZipCommon&, const std::string& name, bool pass) {
    r.events.push_back("end " + name);
    r.verdicts[name] = pass;
  };
  e.SetArchiveFile(input.string());
  if (!output.empty()) e.SetOutFilename(output.string());
  EXPECT_TRUE(e.SetCompressMethod(method));
  if (setup) setup(e, r);
  r.result = e.Compress();
  return r;
}

void ExpectClean(const EncodeLog& r, const std::string& what) {
  EXPECT_EQ(r.result, 1) << what;
  EXPECT_TRUE(r.errors.empty()) << what << " first error " << (r.errors.empty() ? 0 : r.errors[0]);
  ASSERT_EQ(r.verdicts.size(), 1u) << what;
  EXPECT_TRUE(r.verdicts.begin()->second) << what;
}

// What our decoder restores from Text, following its parts.
std::string OurDecoded(const fs::path& text, const fs::path& dest, const std::string& name,
                       std::vector<std::string>* volumes = nullptr) {
  TUUDecode u;
  std::vector<int> errors;
  bool pass = false;
  u.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int code) {
    errors.push_back(code);
  };
  u.OnEnd = [&](TZipCommon&, const std::string&, bool ok) { pass = ok; };
  u.OnNextVolume = [&](TZipCommon&, std::string& vol, const std::string&, bool exists, bool& cancel) {
    if (volumes) volumes->push_back(fs::path(vol).filename().string());
    cancel = !exists;
  };
  u.SetArchiveFile(text.string());
  u.SetExtractDir(dest.string());
  EXPECT_EQ(u.Extract(), 1) << text;
  EXPECT_TRUE(errors.empty()) << text << " first error " << (errors.empty() ? 0 : errors[0]);
  EXPECT_TRUE(pass) << text;
  return ReadFile(dest / name);
}

std::string Uudecoded(const fs::path& text) {
  const auto out = text.string() + ".ref";
  const auto r = RunTool("uudecode -o " + ShellQuote(out) + " " + ShellQuote(text.string()));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return ReadFile(out);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto end = text.find("\r\n", pos);
    EXPECT_NE(end, std::string::npos) << "a line without CR LF";
    if (end == std::string::npos) break;
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

// The Base64 body of a MIME text: the lines after the headers' empty line
// up to the next empty line.
std::string MimeBody(const std::string& text) {
  const auto lines = Lines(text);
  std::size_t i = 0;
  while (i < lines.size() && lines[i].rfind("Content-Disposition:", 0) != 0) ++i;
  std::string body;
  for (i += 2; i < lines.size() && !lines[i].empty(); ++i) body += lines[i] + "\n";
  return body;
}

std::string Base64Decoded(const fs::path& dir, const std::string& body, const std::string& tag) {
  WriteFile(dir / ("body" + tag), body);
  const auto r = RunTool("base64 -d body" + tag + " > plain" + tag, dir);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return ReadFile(dir / ("plain" + tag));
}

std::string InputOfSize(std::size_t size) {
  return size == 1000 ? vsktest::TextBytes(size, 3) : RandomBytes(size, static_cast<std::uint32_t>(size) + 11);
}

const std::size_t kSizes[] = {0, 1, 2, 44, 45, 46, 57, 58, 1000, 3 * 1024 * 1024 + 7};

TEST(UUEncode, UuTextsRestoredByUudecodeAndOurDecoder) {
  ASSERT_TRUE(vsktest::HaveTool("uudecode"));
  TempDir dir;
  for (const bool table : {false, true}) {
    for (const std::size_t size : kSizes) {
      const std::string tag = std::to_string(size) + (table ? "t" : "");
      const std::string data = InputOfSize(size);
      WriteFile(dir / ("u" + tag + ".bin"), data);
      const auto r = Encode(dir / ("u" + tag + ".bin"), dir / ("u" + tag + ".uue"), cmUUEncode,
                            [table](TUUEncode& e, EncodeLog&) { e.WriteTableToFile = table; });
      ExpectClean(r, tag);
      const std::string text = ReadFile(dir / ("u" + tag + ".uue"));
      EXPECT_EQ(text.rfind("UUEncode " + kFirstLineTail, 0), 0u) << tag;
      EXPECT_EQ(text.find("table\r\n") != std::string::npos, table) << tag;
      EXPECT_TRUE(Uudecoded(dir / ("u" + tag + ".uue")) == data) << tag;
      EXPECT_TRUE(OurDecoded(dir / ("u" + tag + ".uue"), dir / ("o" + tag), "u" + tag + ".bin") == data) << tag;
      // Full lines hold 45 bytes in 60 characters after "M".
      const auto lines = Lines(text);
      for (const auto& l : lines)
        if (!l.empty() && l[0] == 'M' && l.size() > 1) {
          EXPECT_EQ(l.size(), 61u) << tag;
        }
      EXPECT_EQ(lines.back(), std::to_string(size) + " bytes") << tag;
    }
  }
}

TEST(UUEncode, UuLayoutAtTheEdges) {
  TempDir dir;
  WriteFile(dir / "empty.bin", "");
  ExpectClean(Encode(dir / "empty.bin", {}, cmUUEncode), "empty");
  // The output is named after the input.
  EXPECT_EQ(ReadFile(dir / "empty.UUE"),
            "UUEncode " + kFirstLineTail + "begin 644 empty.bin\r\n`\r\nend\r\n0 bytes\r\n");

  const std::string data = RandomBytes(45, 5);
  WriteFile(dir / "full.bin", data);
  ExpectClean(Encode(dir / "full.bin", dir / "full.uue", cmUUEncode), "45");
  const auto lines = Lines(ReadFile(dir / "full.uue"));
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[2], "begin 644 full.bin");
  EXPECT_EQ(lines[3][0], 'M');
  EXPECT_EQ(lines[3].size(), 61u);
  EXPECT_EQ(lines[4], "`");
  EXPECT_EQ(lines[5], "end");
  EXPECT_EQ(lines[6], "45 bytes");

  // One byte: the count character "!" and one group whose last two
  // characters stand for zero bits.
  WriteFile(dir / "one.bin", "A");
  ExpectClean(Encode(dir / "one.bin", dir / "one.uue", cmUUEncode), "1");
  EXPECT_EQ(Lines(ReadFile(dir / "one.uue"))[3], "!00``");

  // The data lines are those uuencode writes for the same bytes.
  ASSERT_TRUE(vsktest::HaveTool("uuencode"));
  WriteFile(dir / "prose.bin", vsktest::TextBytes(1000, 8) + RandomBytes(1000, 8));
  ExpectClean(Encode(dir / "prose.bin", dir / "prose.uue", cmUUEncode), "prose");
  const auto ref = RunTool("uuencode prose.bin prose.bin", dir.path());
  ASSERT_EQ(ref.exitCode, 0) << ref.output;
  std::string ours = ReadFile(dir / "prose.uue");
  ours = ours.substr(ours.find("begin 644"));
  ours = ours.substr(0, ours.find("end\r\n") + 5);
  std::string oursLf;
  for (const auto& l : Lines(ours)) oursLf += l + "\n";
  EXPECT_EQ(oursLf.substr(oursLf.find('\n')), ref.output.substr(ref.output.find('\n')));

  // The table block comes between the first line and "begin".
  ExpectClean(Encode(dir / "one.bin", dir / "tab.uue", cmUUEncode,
                     [](TUUEncode& e, EncodeLog&) { e.WriteTableToFile = true; }),
              "table");
  EXPECT_EQ(ReadFile(dir / "tab.uue"), "UUEncode " + kFirstLineTail + "table\r\n" +
                                           std::string(kUuAlphabet.substr(0, 32)) + "\r\n" +
                                           std::string(kUuAlphabet.substr(32)) +
                                           "\r\nbegin 644 one.bin\r\n!00``\r\n`\r\nend\r\n1 bytes\r\n");
}

TEST(UUEncode, XxTextsRestoredByOurDecoder) {
  TempDir dir;
  for (const bool table : {false, true}) {
    for (const std::size_t size : kSizes) {
      const std::string tag = std::to_string(size) + (table ? "t" : "");
      const std::string data = InputOfSize(size);
      WriteFile(dir / ("x" + tag + ".dat"), data);
      const auto r = Encode(dir / ("x" + tag + ".dat"), {}, cmXXEncode,
                            [table](TUUEncode& e, EncodeLog&) { e.WriteTableToFile = table; });
      ExpectClean(r, tag);
      // The output name was derived when the input was set, before the run
      // took the mode's extension.
      const fs::path text = dir / ("x" + tag + ".UUE");
      ASSERT_TRUE(fs::exists(text)) << tag;
      const std::string body = ReadFile(text);
      EXPECT_EQ(body.rfind("XXEncode " + kFirstLineTail, 0), 0u) << tag;
      EXPECT_NE(body.find("\r\nbegin 644 x" + tag + ".dat\r\n"), std::string::npos) << tag;
      // The last data line is the alphabet's zero character alone.
      EXPECT_NE(body.find("\r\n+\r\nend\r\n"), std::string::npos) << tag;
      if (size >= 45) {
        EXPECT_NE(body.find("\r\nh"), std::string::npos) << tag;
      }
      EXPECT_TRUE(OurDecoded(text, dir / ("o" + tag), "x" + tag + ".dat") == data) << tag;
    }
  }
  // Data lines use the XX alphabet only.
  const std::string data = RandomBytes(200, 9);
  WriteFile(dir / "plain.dat", data);
  ExpectClean(Encode(dir / "plain.dat", dir / "plain.xxe", cmXXEncode), "plain");
  const auto lines = Lines(ReadFile(dir / "plain.xxe"));
  for (std::size_t i = 3; i + 3 < lines.size(); ++i)
    for (char c : lines[i]) EXPECT_NE(kXxAlphabet.find(c), std::string_view::npos) << lines[i];
}

TEST(UUEncode, Base64TextsRestoredByBase64UudecodeAndOurDecoder) {
  ASSERT_TRUE(vsktest::HaveTool("base64") && vsktest::HaveTool("uudecode"));
  TempDir dir;
  for (const std::size_t size : kSizes) {
    const std::string tag = std::to_string(size);
    const std::string data = InputOfSize(size);
    const std::string name = "m" + tag + ".bin";
    WriteFile(dir / name, data);
    ExpectClean(Encode(dir / name, dir / ("m" + tag + ".mim"), cmBase64), tag);
    const std::string text = ReadFile(dir / ("m" + tag + ".mim"));
    EXPECT_EQ(text.rfind("B64Encode" + kFirstLineTail +
                             "Content-Type: application/octet-stream; name=\"" + name +
                             "\";\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; "
                             "filename=\"" + name + "\"\r\n\r\n",
                         0),
              0u)
        << tag;
    const std::string tail = "\r\n\r\nend\r\n" + tag + " bytes\r\n";
    ASSERT_GT(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail) << tag;
    const std::string body = MimeBody(text);
    for (const auto& l : Lines(text))
      EXPECT_LE(l.size(), 76u) << tag;
    EXPECT_TRUE(Base64Decoded(dir.path(), body, tag) == data) << tag;
    // The same body in the form uudecode reads.
    WriteFile(dir / ("b" + tag + ".txt"), "begin-base64 644 ref\n" + body + "====\n");
    EXPECT_TRUE(Uudecoded(dir / ("b" + tag + ".txt")) == data) << tag;
    EXPECT_TRUE(OurDecoded(dir / ("m" + tag + ".mim"), dir / ("o" + tag), name) == data) << tag;
  }
  // A short last group is completed with "=", so the length comes out exact.
  WriteFile(dir / "a.bin", "A");
  ExpectClean(Encode(dir / "a.bin", dir / "a.mim", cmBase64), "A");
  EXPECT_EQ(MimeBody(ReadFile(dir / "a.mim")), "QQ==\n");
  WriteFile(dir / "ab.bin", "AB");
  ExpectClean(Encode(dir / "ab.bin", dir / "ab.mim", cmBase64), "AB");
  EXPECT_EQ(MimeBody(ReadFile(dir / "ab.mim")), "QUI=\n");
}

TEST(UUEncode, Base64ContentTypesByExtension) {
  TempDir dir;
  const std::pair<std::string, std::string> cases[] = {
      {"page.htm", "text/html"},          {"HTML.HTML", "application/octet-stream"},
      {"read.me.TXT", "text/plain; Charset=US-ASCII"}, {"p.gif", "image/gif"},
      {"p.Jpg", "image/jpeg"},            {"s.aif", "audio/aiff"},
      {"s.au", "audio/basic"},            {"s.snd", "audio/basic"},
      {"v.avi", "video/avi"},             {"d.rtf", "text/rtf"},
      {"noext", "application/octet-stream"}, {"p.jpeg", "application/octet-stream"},
  };
  for (const auto& [name, type] : cases) {
    WriteFile(dir / name, "x");
    ExpectClean(Encode(dir / name, dir / "out.mim", cmBase64), name);
    const auto lines = Lines(ReadFile(dir / "out.mim"));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], "Content-Type: " + type + "; name=\"" + name + "\";") << name;
  }
}

// The part files of a split text: OutFilename, then the numbered names.
std::vector<fs::path> PartFiles(const fs::path& first) {
  std::vector<fs::path> parts{first};
  for (int n = 1;; ++n) {
    const fs::path p = NumberedName(first.string(), n, nvChangeExt, true);
    if (!fs::exists(p)) break;
    parts.push_back(p);
  }
  return parts;
}

TEST(UUEncode, SplitTextsAreReadPartAfterPart) {
  TempDir dir;
  // One kilobyte per part: 16 lines, the three lines before the data included.
  const std::string data = RandomBytes(13 * 45 * 3 + 100, 21);
  WriteFile(dir / "s.bin", data);
  auto r = Encode(dir / "s.bin", dir / "s.uue", cmUUEncode, [](TUUEncode& e, EncodeLog&) { e.KBytesPerVolume = 1; });
  ExpectClean(r, "split");
  auto parts = PartFiles(dir / "s.uue");
  ASSERT_EQ(parts.size(), 4u);
  EXPECT_EQ(parts[1].filename(), "s.uu1");
  EXPECT_EQ(parts[3].filename(), "s.uu3");
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const auto lines = Lines(ReadFile(parts[i]));
    const std::size_t head = i == 0 ? 3 : 2;
    ASSERT_GE(lines.size(), head) << i;
    if (i > 0) {
      EXPECT_EQ(lines[0], "part " + std::to_string(i));
      EXPECT_EQ(lines[1], "begin 644 s.bin");
    }
    if (i + 1 < parts.size()) {
      EXPECT_EQ(lines.size(), head + 13) << i;
    } else {
      // 100 bytes: two full lines and one of 10 bytes, the empty line, the end.
      ASSERT_EQ(lines.size(), head + 3 + 1 + 3);
      EXPECT_EQ(lines[head + 4], "end");
      EXPECT_EQ(lines[head + 5], std::to_string(data.size()) + " bytes");
      EXPECT_EQ(lines[head + 6], "encoded into 3 file(s)");
    }
  }
  std::vector<std::string> volumes;
  EXPECT_TRUE(OurDecoded(dir / "s.uue", dir / "o1", "s.bin", &volumes) == data);
  EXPECT_EQ(volumes, (std::vector<std::string>{"s.uu1", "s.uu2", "s.uu3"}));

  // The table lines do not count: the first file still holds 13 data lines.
  r = Encode(dir / "s.bin", dir / "t.uue", cmUUEncode, [](TUUEncode& e, EncodeLog&) {
    e.KBytesPerVolume = 1;
    e.WriteTableToFile = true;
  });
  ExpectClean(r, "split table");
  EXPECT_EQ(Lines(ReadFile(dir / "t.uue")).size(), 6u + 13u);
  EXPECT_TRUE(OurDecoded(dir / "t.uue", dir / "o2", "s.bin") == data);

  // Larger parts of every form, with the part count of the last line.
  const std::string big = RandomBytes(700000, 22);
  WriteFile(dir / "big.bin", big);
  for (const auto method : {cmUUEncode, cmXXEncode, cmBase64}) {
    const std::string tag = std::to_string(static_cast<int>(method));
    const fs::path first = dir / ("big" + tag + ".txt");
    r = Encode(dir / "big.bin", first, method, [](TUUEncode& e, EncodeLog&) { e.KBytesPerVolume = 100; });
    ExpectClean(r, tag);
    parts = PartFiles(first);
    ASSERT_GT(parts.size(), 2u) << tag;
    EXPECT_NE(ReadFile(parts.back()).find("encoded into " + std::to_string(parts.size() - 1) + " file(s)\r\n"),
              std::string::npos);
    // The MIME headers count as the three lines before the data, whatever
    // their number.
    const std::size_t firstLines = method == cmBase64 ? 1603 : 1600;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i)
      EXPECT_EQ(Lines(ReadFile(parts[i])).size(), i == 0 ? firstLines : 1599u) << tag << " part " << i;
    EXPECT_TRUE(OurDecoded(first, dir / ("ob" + tag), "big.bin") == big) << tag;
  }

  // An even split: the last part holds only the zero line and the end.
  const std::string even = RandomBytes(13 * 45, 23);
  WriteFile(dir / "even.bin", even);
  ExpectClean(Encode(dir / "even.bin", dir / "even.uue", cmUUEncode,
                     [](TUUEncode& e, EncodeLog&) { e.KBytesPerVolume = 1; }),
              "even");
  EXPECT_EQ(ReadFile(dir / "even.uu1"),
            "part 1\r\nbegin 644 even.bin\r\n`\r\nend\r\n585 bytes\r\nencoded into 1 file(s)\r\n");
  EXPECT_TRUE(OurDecoded(dir / "even.uue", dir / "o3", "even.bin") == even);
}

TEST(UUEncode, TooManyPartsWriteNothing) {
  TempDir dir;
  // 999 numbered parts of 13 lines hold 999 * 585 bytes.
  WriteFile(dir / "many.bin", RandomBytes(1000 * 585, 24));
  WriteFile(dir / "many.uue", "old text");
  const auto r = Encode(dir / "many.bin", dir / "many.uue", cmUUEncode,
                        [](TUUEncode& e, EncodeLog&) { e.KBytesPerVolume = 1; });
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(r.Has(25235));
  EXPECT_EQ(ReadFile(dir / "many.uue"), "old text");
  EXPECT_FALSE(fs::exists(dir / "many.uu1"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(UUEncode, AnExistingOutputIsReplacedOnlyWhenAllowed) {
  TempDir dir;
  const std::string data = RandomBytes(5000, 31);
  WriteFile(dir / "in.bin", data);
  const fs::path out = dir / "in.uue";

  // omOverwrite replaces without a question.
  WriteFile(out, "old");
  bool asked = false;
  auto r = Encode(dir / "in.bin", out, cmUUEncode, [&](TUUEncode& e, EncodeLog&) {
    e.OnFileExists = [&](TZipCommon&, const std::string&, TDateTime, TOverwriteMode&) { asked = true; };
  });
  ExpectClean(r, "overwrite");
  EXPECT_FALSE(asked);
  EXPECT_TRUE(OurDecoded(out, dir / "o1", "in.bin") == data);

  // omSkip asks; the question is required.
  WriteFile(out, "old");
  r = Encode(dir / "in.bin", out, cmUUEncode, [](TUUEncode& e, EncodeLog&) { e.OverwriteMode = omSkip; });
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.errors, std::vector<int>{25270});
  EXPECT_EQ(r.extended[0], "OnFileExists");
  EXPECT_TRUE(r.events.empty());
  EXPECT_EQ(ReadFile(out), "old");

  // Answered with skip: nothing happens.
  struct stat st;
  ASSERT_EQ(stat(out.c_str(), &st), 0);
  std::string askedName;
  TDateTime askedDate = 0;
  r = Encode(dir / "in.bin", out, cmUUEncode, [&](TUUEncode& e, EncodeLog&) {
    e.OverwriteMode = omSkip;
    e.OnFileExists = [&](TZipCommon&, const std::string& name, TDateTime date, TOverwriteMode&) {
      askedName = name;
      askedDate = date;
    };
  });
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(askedName, out.string());
  EXPECT_NEAR(askedDate, UnixTimeToDateTime(st.st_mtime), 1e-6);
  EXPECT_EQ(ReadFile(out), "old");

  // Answered with overwrite: replaced.
  TOverwriteMode after = omSkip;
  r = Encode(dir / "in.bin", out, cmUUEncode, [&](TUUEncode& e, EncodeLog&) {
    e.OverwriteMode = omSkip;
    e.OnFileExists = [](TZipCommon&, const std::string&, TDateTime, TOverwriteMode& m) { m = omOverwrite; };
    e.OnEnd = [&](TZipCommon& s, const std::string&, bool) { after = static_cast<TUUEncode&>(s).OverwriteMode; };
  });
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(after, omOverwrite);
  EXPECT_TRUE(OurDecoded(out, dir / "o2", "in.bin") == data);

  // Skipping concerns existing outputs only: a new one is written.
  r = Encode(dir / "in.bin", dir / "new.uue", cmUUEncode, [](TUUEncode& e, EncodeLog&) { e.OverwriteMode = omSkip; });
  ExpectClean(r, "new");
  EXPECT_TRUE(OurDecoded(dir / "new.uue", dir / "o3", "in.bin") == data);

  // The input is never its own output.
  r = Encode(dir / "in.bin", dir / "in.bin", cmUUEncode);
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(r.Has(25191));
  EXPECT_EQ(ReadFile(dir / "in.bin"), data);
  fs::create_hard_link(dir / "in.bin", dir / "alias.uue");
  r = Encode(dir / "in.bin", dir / "alias.uue", cmUUEncode);
  EXPECT_TRUE(r.Has(25191));
  EXPECT_EQ(ReadFile(dir / "in.bin"), data);
}

TEST(UUEncode, ReadOnlyAndFolderTargets) {
  TempDir dir;
  const std::string data = RandomBytes(3000, 41);
  WriteFile(dir / "in.bin", data);
  const fs::path out = dir / "ro.uue";
  WriteFile(out, "keep");
  chmod(out.c_str(), 0444);

  auto r = Encode(dir / "in.bin", out, cmUUEncode);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.errors, std::vector<int>{25270});
  EXPECT_EQ(r.extended[0], "OnNonWriteableArchive");
  EXPECT_EQ(ReadFile(out), "keep");

  std::string askedFor;
  r = Encode(dir / "in.bin", out, cmUUEncode, [&](TUUEncode& e, EncodeLog&) {
    e.OnNonWriteableArchive = [&](TZipCommon&, const std::string& name, bool& write) {
      askedFor = name;
      write = false;
    };
  });
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(askedFor, out.string());
  EXPECT_EQ(ReadFile(out), "keep");

  r = Encode(dir / "in.bin", out, cmUUEncode, [](TUUEncode& e, EncodeLog&) {
    e.OnNonWriteableArchive = [](TZipCommon&, const std::string&, bool& write) { write = true; };
  });
  ExpectClean(r, "allowed");
  EXPECT_EQ(Uudecoded(out), data);
  struct stat st;
  ASSERT_EQ(stat(out.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IWUSR, 0u);

  // A folder is no text file, whatever the answer.
  fs::create_directory(dir / "folder.uue");
  r = Encode(dir / "in.bin", dir / "folder.uue", cmUUEncode, [](TUUEncode& e, EncodeLog&) {
    e.OnNonWriteableArchive = [](TZipCommon&, const std::string&, bool& write) { write = true; };
  });
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(r.Has(25107));
  EXPECT_TRUE(fs::is_directory(dir / "folder.uue"));
}

TEST(UUEncode, CancelledRunsLeaveOutputsAsTheyWere) {
  TempDir dir;
  WriteFile(dir / "big.bin", RandomBytes(3 * 1024 * 1024, 51));
  WriteFile(dir / "big.uue", "old first");
  WriteFile(dir / "big.uu1", "old second");
  for (const int kb : {0, 100}) {
    int calls = 0;
    const auto r = Encode(dir / "big.bin", dir / "big.uue", cmUUEncode, [&](TUUEncode& e, EncodeLog&) {
      e.KBytesPerVolume = kb;
      e.OnProgress = [&](TZipCommon& s, Byte, Byte) {
        if (++calls == 40) s.SetCancel(true);
      };
    });
    EXPECT_EQ(r.result, 0) << kb;
    EXPECT_EQ(calls, 40) << kb;
    EXPECT_EQ(r.errors, std::vector<int>{25443}) << kb;
    ASSERT_EQ(r.verdicts.size(), 1u);
    EXPECT_FALSE(r.verdicts.begin()->second);
    EXPECT_EQ(r.events.back(), "deactivate");
    EXPECT_EQ(ReadFile(dir / "big.uue"), "old first");
    EXPECT_EQ(ReadFile(dir / "big.uu1"), "old second");
    EXPECT_FALSE(fs::exists(dir / "big.uu2"));
    // No scratch file stays behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
  }

  // Refused by OnBegin: nothing is written, the run is framed all the same.
  const auto r = Encode(dir / "big.bin", dir / "fresh.uue", cmUUEncode, [](TUUEncode& e, EncodeLog&) {
    e.OnBegin = [](TZipCommon&, const std::string&, int, bool& take) { take = false; };
  });
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.events, (std::vector<std::string>{"activate", "deactivate"}));
  EXPECT_FALSE(fs::exists(dir / "fresh.uue"));
}

TEST(UUEncode, PropertiesAndRefusedRuns) {
  TempDir dir;
  WriteFile(dir / "in.dat", "abc");
  TUUEncode e;
  EXPECT_EQ(e.ArcType(), atNA);
  EXPECT_EQ(e.CompressMethod(), cmUUEncode);
  EXPECT_EQ(e.DefaultExt(), ".UUE");
  EXPECT_FALSE(e.SetCompressMethod(cmDeflate));
  EXPECT_TRUE(e.SetCompressMethod(cmBase64));
  e.SetArchiveFile((dir / "in.dat").string());
  EXPECT_EQ(e.ArcType(), atUUE);
  e.SetArcType(atZip);
  EXPECT_EQ(e.ArcType(), atUUE);
  EXPECT_EQ(e.OutFilename(), (dir / "in.UUE").string());
  e.SetOutFilename("a\\b.txt");
  EXPECT_EQ(e.OutFilename(), "a/b.txt");
  e.SetOutFilename((dir / "named").string());
  EXPECT_EQ(e.OutFilename(), (dir / "named.UUE").string());
  e.SetArchiveFile("");
  EXPECT_EQ(e.ArcType(), atNA);
  e.SetArcType(atUUE);
  EXPECT_EQ(e.ArcType(), atNA);

  // "." clears the output name and the run is refused.
  auto r = Encode(dir / "in.dat", {}, cmUUEncode, [](TUUEncode& x, EncodeLog&) { x.SetOutFilename("."); });
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.errors, std::vector<int>{25244});
  EXPECT_EQ(r.extended[0], "OutFile");
  EXPECT_TRUE(r.events.empty());

  r = Encode(dir / "in.dat", {}, cmUUEncode, [](TUUEncode& x, EncodeLog&) { x.Switch = swDelete; });
  EXPECT_EQ(r.errors, std::vector<int>{25243});
  EXPECT_FALSE(fs::exists(dir / "in.UUE"));

  // A missing input: framed run, error, no output.
  r = Encode(dir / "missing.dat", dir / "m.uue", cmUUEncode);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.errors, std::vector<int>{25235});
  EXPECT_EQ(r.events, (std::vector<std::string>{"activate", "begin missing.dat", "deactivate"}));
  EXPECT_FALSE(fs::exists(dir / "m.uue"));

  // An output folder that does not exist cannot take the text.
  r = Encode(dir / "in.dat", dir / "nowhere/x.uue", cmUUEncode);
  EXPECT_EQ(r.errors, std::vector<int>{25235});

  // The events of a run, the default extension by the mode, the input's date.
  struct stat st;
  ASSERT_EQ(stat((dir / "in.dat").c_str(), &st), 0);
  const struct timespec old[2] = {{0, UTIME_OMIT}, {st.st_mtime - 86400 * 3, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (dir / "in.dat").c_str(), old, 0), 0);
  std::string ext;
  r = Encode(dir / "in.dat", dir / "d.xxe", cmXXEncode,
             [&](TUUEncode& x, EncodeLog&) {
               x.OnEnd = [&](TZipCommon& s, const std::string&, bool) { ext = static_cast<TUUEncode&>(s).DefaultExt(); };
             });
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.events, (std::vector<std::string>{"activate", "begin in.dat", "deactivate"}));
  EXPECT_EQ(ext, ".XXE");
  struct stat made;
  ASSERT_EQ(stat((dir / "d.xxe").c_str(), &made), 0);
  EXPECT_EQ(made.st_mtime, st.st_mtime - 86400 * 3);
  r = Encode(dir / "in.dat", dir / "now.xxe", cmXXEncode, [](TUUEncode& x, EncodeLog&) { x.DateAttribute = daSysDate; });
  ASSERT_EQ(stat((dir / "now.xxe").c_str(), &made), 0);
  EXPECT_GT(made.st_mtime, st.st_mtime - 86400);
}

}  // namespace
}  // namespace vsk
