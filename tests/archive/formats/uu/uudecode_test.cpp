// Decoding uuencoded, xxencoded and Base64 texts: those uuencode writes,
// compared byte for byte with the input and with what uudecode restores,
// and texts built here by the format's rules for the forms no Debian tool
// writes (XX, alphabet tables, the library's own encoder forms).

#include "archive/formats/uu/uudecode.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "archive/formats/uu/mimeheaders.h"
#include "archive/formats/uu/uucodec.h"
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

struct DecodeLog {
  int result = -1;
  std::vector<int> errors;
  std::vector<std::string> extended;
  std::vector<std::string> errorFiles;
  std::map<std::string, bool> verdicts;
  std::vector<std::string> begun;
  std::vector<std::string> volumes;
  Int64 sizeAtBegin = -1;
  bool Has(int code) const { return std::count(errors.begin(), errors.end(), code) > 0; }
};

using RunSetup = std::function<void(TUUDecode&, DecodeLog&)>;

DecodeLog Decode(const fs::path& text, const fs::path& dest, const RunSetup& setup = {}, bool test = false) {
  TUUDecode u;
  DecodeLog r;
  u.OnError = [&r](TZipCommon&, const std::string& file, const std::string& ext, const std::string&, int code) {
    r.errors.push_back(code);
    r.extended.push_back(ext);
    r.errorFiles.push_back(file);
  };
  u.OnEnd = [&r](TZipCommon&, const std::string& name, bool pass) { r.verdicts[name] = pass; };
  u.OnBegin = [&r](TZipCommon& s, const std::string& name, int, bool&) {
    r.begun.push_back(name);
    r.sizeAtBegin = static_cast<TUnBase&>(s).EntryUnpackedSize;
  };
  u.SetArchiveFile(text.string());
  u.SetExtractDir(dest.string());
  if (setup) setup(u, r);
  r.result = test ? u.TestArchive() : u.Extract();
  return r;
}

// Accepts every next part that exists.
void FollowParts(TUUDecode& u, DecodeLog& r) {
  u.OnNextVolume = [&r](TZipCommon&, std::string& name, const std::string&, bool exists, bool& cancel) {
    r.volumes.push_back(fs::path(name).filename().string());
    cancel = !exists;
  };
}

// What uudecode restores from Text (it must accept it).
std::string Uudecoded(const fs::path& text) {
  const auto out = text.string() + ".ref";
  const auto r = RunTool("uudecode -o " + ShellQuote(out) + " " + ShellQuote(text.string()));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return ReadFile(out);
}

void ExpectWhole(const DecodeLog& r, const fs::path& out, const std::string& want, const std::string& what) {
  EXPECT_EQ(r.result, 1) << what;
  EXPECT_TRUE(r.errors.empty()) << what << " first error " << (r.errors.empty() ? 0 : r.errors[0]);
  ASSERT_EQ(r.verdicts.size(), 1u) << what;
  EXPECT_TRUE(r.verdicts.begin()->second) << what;
  ASSERT_TRUE(fs::exists(out)) << what;
  EXPECT_TRUE(ReadFile(out) == want) << what << ": " << ReadFile(out).size() << " of " << want.size() << " bytes";
}

std::string WithCrLf(const std::string& text) {
  std::string s;
  for (char c : text) {
    if (c == '\n') s += '\r';
    s += c;
  }
  return s;
}

// A text by the encoding rules: lines of PerLine bytes, each the count
// character (UU and XX) and groups of four characters for three bytes, a
// short group padded with zero bits; the empty read still writes its line.
std::string EncodeLines(const std::string& data, std::string_view alphabet, std::size_t perLine, bool countChar,
                        const std::string& eol = "\n") {
  std::string out;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t n = std::min(perLine, data.size() - pos);
    if (countChar) out += alphabet[n];
    for (std::size_t i = 0; i < n; i += 3) {
      Byte b[3] = {0, 0, 0};
      for (std::size_t k = 0; k < 3 && i + k < n; ++k) b[k] = static_cast<Byte>(data[pos + i + k]);
      out += alphabet[b[0] >> 2];
      out += alphabet[(b[0] << 4 | b[1] >> 4) & 63];
      out += alphabet[(b[1] << 2 | b[2] >> 6) & 63];
      out += alphabet[b[2] & 63];
    }
    out += eol;
    pos += n;
    if (n == 0) break;
  }
  return out;
}

std::string XxText(const std::string& data, const std::string& name, std::string_view alphabet = kXxAlphabet) {
  return "begin 644 " + name + "\n" + EncodeLines(data, alphabet, 45, true) + "end\n";
}

TEST(UUDecode, TextsOfUuencodeAtAwkwardSizes) {
  ASSERT_TRUE(vsktest::HaveTool("uuencode") && vsktest::HaveTool("uudecode"));
  TempDir dir;
  for (const std::size_t size : {0u, 1u, 2u, 3u, 4u, 44u, 45u, 46u, 89u, 90u, 91u, 135u, 1000u, 70001u}) {
    const std::string data = size == 1000 ? vsktest::TextBytes(size, 4) : RandomBytes(size, static_cast<unsigned>(size));
    const std::string tag = std::to_string(size);
    WriteFile(dir / ("in" + tag), data);
    ASSERT_EQ(RunTool("uuencode in" + tag + " d" + tag + ".bin > u" + tag + ".uue && uuencode -m in" + tag + " d" + tag +
                          ".b64 > m" + tag + ".txt",
                      dir.path())
                  .exitCode,
              0);
    for (const std::string& text : {"u" + tag + ".uue", "m" + tag + ".txt"}) {
      const bool base64 = text[0] == 'm';
      const std::string stored = "d" + tag + (base64 ? ".b64" : ".bin");
      const auto out = dir / ("out-" + text);
      const auto r = Decode(dir / text, out);
      ExpectWhole(r, out / stored, data, text);
      EXPECT_EQ(Uudecoded(dir / text), ReadFile(out / stored)) << text;

      // The same text with CR LF line ends.
      WriteFile(dir / ("crlf-" + text), WithCrLf(ReadFile(dir / text)));
      const auto outCrLf = dir / ("out-crlf-" + text);
      ExpectWhole(Decode(dir / ("crlf-" + text), outCrLf), outCrLf / stored, data, "crlf " + text);
      if (!base64) {
        EXPECT_EQ(Uudecoded(dir / ("crlf-" + text)), data);
      }

      // Testing writes nothing and passes.
      const auto t = Decode(dir / text, dir / "never", {}, true);
      EXPECT_EQ(t.result, 1) << text;
      EXPECT_TRUE(t.errors.empty()) << text;
      ASSERT_EQ(t.verdicts.count(stored), 1u) << text;
      EXPECT_TRUE(t.verdicts.at(stored)) << text;
    }
  }
  EXPECT_FALSE(fs::exists(dir / "never"));
}

TEST(UUDecode, LargeTextsStreamThrough) {
  TempDir dir;
  const std::string data = RandomBytes(3 * 1024 * 1024 + 17, 77);
  WriteFile(dir / "big.bin", data);
  ASSERT_EQ(RunTool("uuencode big.bin big.bin > big.uue && uuencode -m big.bin big.b64 > big.txt", dir.path()).exitCode,
            0);
  int progress = 0;
  Byte last = 0;
  const auto r = Decode(dir / "big.uue", dir / "out", [&](TUUDecode& u, DecodeLog&) {
    u.OnProgress = [&](TZipCommon&, Byte file, Byte) {
      ++progress;
      last = file;
    };
  });
  ExpectWhole(r, dir / "out/big.bin", data, "uu");
  // One report per block read, the last one at the end of the text.
  EXPECT_GT(progress, 100);
  EXPECT_EQ(last, 100);
  ExpectWhole(Decode(dir / "big.txt", dir / "out"), dir / "out/big.b64", data, "base64");
}

TEST(UUDecode, MailAroundTheEncodedBlock) {
  TempDir dir;
  const std::string data = RandomBytes(5000, 3);
  WriteFile(dir / "f.bin", data);
  ASSERT_EQ(RunTool("uuencode f.bin report.pdf > u.txt && uuencode -m f.bin report64.pdf > m.txt", dir.path()).exitCode,
            0);
  const std::string head =
      "From: someone@example.org\nTo: other@example.org\nSubject: the report\nDate: Mon, 1 Jan 2001\n\n"
      "Hello,\n\nhere is the report you wanted; the table begins below.\n\n";
  const std::string tail = "\nRegards,\n-- \nsomeone\n";
  WriteFile(dir / "mail-u.txt", head + ReadFile(dir / "u.txt") + tail);
  WriteFile(dir / "mail-m.txt", WithCrLf(head + ReadFile(dir / "m.txt") + tail));
  ExpectWhole(Decode(dir / "mail-u.txt", dir / "o1"), dir / "o1/report.pdf", data, "uu mail");
  EXPECT_EQ(Uudecoded(dir / "mail-u.txt"), data);
  ExpectWhole(Decode(dir / "mail-m.txt", dir / "o2"), dir / "o2/report64.pdf", data, "base64 mail");

  // A MIME message: a Base64 text body without a name is passed over; the
  // attachment's name comes from its folded headers.
  ASSERT_EQ(RunTool("base64 f.bin > body.b64", dir.path()).exitCode, 0);
  const std::string mime =
      "From: a@example.org\nMIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"XYZ\"\n\n"
      "This is a multi-part message in MIME format.\n--XYZ\nContent-Type: text/plain; charset=utf-8\n"
      "Content-Transfer-Encoding: base64\n\nSGVsbG8gdGhlcmU=\n\n--XYZ\n"
      "Content-Type: application/octet-stream;\n\tname=\"fallback.bin\"\n"
      "Content-Transfer-Encoding: BASE64\nContent-Disposition: attachment;\n filename=\"attached file.bin\"\n\n" +
      ReadFile(dir / "body.b64") + "--XYZ--\n";
  WriteFile(dir / "mime.eml", mime);
  ExpectWhole(Decode(dir / "mime.eml", dir / "o3"), dir / "o3/attached file.bin", data, "mime");
  WriteFile(dir / "mime-crlf.eml", WithCrLf(mime));
  ExpectWhole(Decode(dir / "mime-crlf.eml", dir / "o4"), dir / "o4/attached file.bin", data, "mime crlf");
}

TEST(UUDecode, OnlyTheFirstOfSeveralFilesComesOut) {
  TempDir dir;
  const std::string a = RandomBytes(3000, 1), b = RandomBytes(2000, 2);
  WriteFile(dir / "a", a);
  WriteFile(dir / "b", b);
  ASSERT_EQ(RunTool("(uuencode a first.bin; echo; uuencode b second.bin) > two.uue", dir.path()).exitCode, 0);
  const auto r = Decode(dir / "two.uue", dir / "out");
  ExpectWhole(r, dir / "out/first.bin", a, "two files");
  EXPECT_FALSE(fs::exists(dir / "out/second.bin"));
  EXPECT_EQ(r.begun.size(), 1u);
  // uudecode restores the same first file.
  ASSERT_EQ(RunTool("mkdir ud && cd ud && uudecode ../two.uue", dir.path()).exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "ud/first.bin"), a);
}

TEST(UUDecode, CutTextsFailAndKeepOnlyWholeData) {
  TempDir dir;
  const std::string data = RandomBytes(10000, 5);
  WriteFile(dir / "d", data);
  ASSERT_EQ(RunTool("uuencode d d.bin > d.uue && uuencode -m d d.bin > d.b64", dir.path()).exitCode, 0);
  for (const std::string name : {"d.uue", "d.b64"}) {
    const std::string text = ReadFile(dir / name);
    const std::size_t endLine = text.rfind(name == "d.uue" ? "`\nend" : "====");
    // Within a line, right after a line, and just before the end lines.
    for (const std::size_t cut : {std::size_t{1000}, std::size_t{1029}, text.find('\n', 4000) + 1, endLine}) {
      const std::string what = name + " cut at " + std::to_string(cut);
      WriteFile(dir / ("cut-" + name), text.substr(0, cut));
      const auto out = dir / ("out-" + std::to_string(cut) + name);
      const auto r = Decode(dir / ("cut-" + name), out);
      EXPECT_EQ(r.result, 0) << what;  // a failed file does not count
      EXPECT_TRUE(r.Has(25178)) << what;
      // Without OnNextVolume no further part can be asked for.
      EXPECT_TRUE(r.Has(25270)) << what;
      ASSERT_EQ(r.verdicts.size(), 1u) << what;
      EXPECT_FALSE(r.verdicts.begin()->second) << what;
      const std::string got = ReadFile(out / "d.bin");
      EXPECT_LE(got.size(), data.size()) << what;
      EXPECT_TRUE(data.compare(0, got.size(), got) == 0) << what << ": wrong bytes written";
      if (name == "d.uue" && cut != endLine) {
        EXPECT_EQ(got.size() % 45, 0u) << what;
      }
      if (cut == endLine) {
        EXPECT_EQ(got.size(), data.size()) << what;
      }
      EXPECT_GT(got.size(), 0u) << what;

      // Testing fails the same text.
      const auto t = Decode(dir / ("cut-" + name), dir / "never", {}, true);
      ASSERT_EQ(t.verdicts.size(), 1u) << what;
      EXPECT_FALSE(t.verdicts.begin()->second) << what;
    }
  }
  // A declined next part cancels: no "EOL not found" after the cancel.
  WriteFile(dir / "cut.uue", ReadFile(dir / "d.uue").substr(0, 3000));
  const auto r = Decode(dir / "cut.uue", dir / "declined", [](TUUDecode& u, DecodeLog& log) {
    u.OnNextVolume = [&log](TZipCommon&, std::string& name, const std::string&, bool, bool& cancel) {
      log.volumes.push_back(fs::path(name).filename().string());
      cancel = true;
    };
  });
  EXPECT_EQ(r.volumes, std::vector<std::string>{"cut.uu1"});
  EXPECT_TRUE(r.Has(25443));
  EXPECT_FALSE(r.Has(25178));
  EXPECT_FALSE(r.verdicts.begin()->second);
  EXPECT_FALSE(fs::exists(dir / "never"));
}

TEST(UUDecode, HostileNamesStayInsideTheDestination) {
  TempDir dir;
  const std::string data = RandomBytes(500, 8);
  WriteFile(dir / "d", data);
  fs::create_directories(dir / "dest");
  fs::create_directories(dir / "outside");
  int n = 0;
  for (const std::string name : {"../x", "../../x", "a/../../x", "..\\x", "sub/..", "/etc/uu-hostile", "//srv/share/y",
                                 "C:\\temp\\z", "link/escaped", "filelink"}) {
    fs::remove_all(dir / "dest");
    fs::create_directories(dir / "dest");
    fs::create_directory_symlink(dir / "outside", dir / "dest/link");
    fs::create_symlink(dir / "outside/target", dir / "dest/filelink");
    const std::string text = "t" + std::to_string(++n) + ".uue";
    ASSERT_EQ(RunTool("uuencode d " + ShellQuote(name) + " > " + text, dir.path()).exitCode, 0);
    const auto r = Decode(dir / text, dir / "dest");
    EXPECT_TRUE(fs::is_empty(dir / "outside")) << name;
    EXPECT_FALSE(fs::exists(dir / "x")) << name;
    EXPECT_FALSE(fs::exists(fs::path("/etc/uu-hostile"))) << name;
    if (name == "/etc/uu-hostile") {
      ExpectWhole(r, dir / "dest/etc/uu-hostile", data, name);
    } else if (name == "//srv/share/y") {
      ExpectWhole(r, dir / "dest/y", data, name);
    } else if (name == "C:\\temp\\z") {
      ExpectWhole(r, dir / "dest/temp/z", data, name);
    } else if (name == "link/escaped" || name == "filelink") {
      // Refused when it opens: not counted, and one failed verdict.
      EXPECT_TRUE(r.Has(25235)) << name;
      EXPECT_EQ(r.result, 0) << name;
      EXPECT_EQ(r.verdicts.size(), 1u) << name;
      EXPECT_FALSE(r.verdicts.empty() || r.verdicts.begin()->second) << name;
    } else {
      EXPECT_EQ(r.result, 0) << name;
      EXPECT_TRUE(r.Has(25244)) << name;
      EXPECT_TRUE(r.begun.empty()) << name;
    }
  }
}

TEST(UUDecode, XxTextsBuiltByTheFormatRules) {
  TempDir dir;
  for (const std::size_t size : {0u, 1u, 2u, 10u, 24u, 44u, 45u, 46u, 1000u, 20000u}) {
    const std::string data = RandomBytes(size, static_cast<unsigned>(size) + 100);
    const std::string tag = std::to_string(size);
    WriteFile(dir / ("x" + tag + ".xxe"), XxText(data, "x" + tag + ".bin"));
    ExpectWhole(Decode(dir / ("x" + tag + ".xxe"), dir / "out"), dir / ("out/x" + tag + ".bin"), data, "xx " + tag);
    WriteFile(dir / ("c" + tag + ".xxe"), WithCrLf("XXEncode 4.8\n\n" + XxText(data, "c" + tag + ".bin")));
    ExpectWhole(Decode(dir / ("c" + tag + ".xxe"), dir / "out"), dir / ("out/c" + tag + ".bin"), data, "xx crlf " + tag);
  }

  // A 42-byte XX line may begin with "end": it is data, not the end line.
  std::string tricky = RandomBytes(87, 9);
  tricky[45] = static_cast<char>(0xCE);
  tricky[46] = static_cast<char>(0x95);
  const std::string text = XxText(tricky, "tricky.bin");
  ASSERT_NE(text.find("\nend"), text.rfind("\nend"));
  WriteFile(dir / "tricky.xxe", text);
  ExpectWhole(Decode(dir / "tricky.xxe", dir / "out"), dir / "out/tricky.bin", tricky, "xx end-like line");
}

TEST(UUDecode, AlphabetTablesAndCharmaps) {
  TempDir dir;
  const std::string data = RandomBytes(3000, 21);
  std::string shuffled(kXxAlphabet);
  std::reverse(shuffled.begin(), shuffled.end());
  std::rotate(shuffled.begin(), shuffled.begin() + 7, shuffled.end());
  const std::string body = "begin 644 t.bin\n" + EncodeLines(data, shuffled, 45, true) + "end\n";
  WriteFile(dir / "table.txt",
            "some words\ntable\n" + shuffled.substr(0, 32) + "\n" + shuffled.substr(32) + "\n" + body);
  ExpectWhole(Decode(dir / "table.txt", dir / "o1"), dir / "o1/t.bin", data, "table");
  WriteFile(dir / "charmap.txt", "charmap:" + shuffled + "\nsize 3000\n" + body);
  const auto r = Decode(dir / "charmap.txt", dir / "o2");
  ExpectWhole(r, dir / "o2/t.bin", data, "charmap");
  EXPECT_EQ(r.sizeAtBegin, 3000);

  // The UU alphabet given as a table, as the library's encoder writes it.
  WriteFile(dir / "uutable.txt", WithCrLf("table\n" + std::string(kUuAlphabet.substr(0, 32)) + "\n" +
                                          std::string(kUuAlphabet.substr(32)) + "\nbegin 644 u.bin\n" +
                                          EncodeLines(data.substr(0, 20), kUuAlphabet, 45, true) + "end\n"));
  ExpectWhole(Decode(dir / "uutable.txt", dir / "o3"), dir / "o3/u.bin", data.substr(0, 20), "uu table");
}

TEST(UUDecode, TheLibraryEncodersForms) {
  TempDir dir;
  for (const std::size_t size : {0u, 1u, 2u, 3u, 44u, 45u, 46u, 56u, 57u, 58u, 1000u}) {
    const std::string data = RandomBytes(size, static_cast<unsigned>(size) + 7);
    const std::string tag = std::to_string(size);
    const std::string trailer = "end\r\n" + tag + " bytes\r\n";
    const std::string uu = "UUEncode  4.8 (Brevane - www.example.org)\r\n\r\ntable\r\n" +
                           std::string(kUuAlphabet.substr(0, 32)) + "\r\n" + std::string(kUuAlphabet.substr(32)) +
                           "\r\nbegin 644 u" + tag + ".bin\r\n" + EncodeLines(data, kUuAlphabet, 45, true, "\r\n") +
                           trailer;
    WriteFile(dir / ("u" + tag + ".uue"), uu);
    ExpectWhole(Decode(dir / ("u" + tag + ".uue"), dir / "out"), dir / ("out/u" + tag + ".bin"), data, "uu " + tag);
    EXPECT_EQ(Uudecoded(dir / ("u" + tag + ".uue")), data) << tag;

    // Base64 without padding: the byte count after "end" settles the last group.
    const std::string name = "m" + tag + ".txt";
    const std::string mim = "B64Encode 4.8 (Brevane - www.example.org)\r\n\r\n"
                            "Content-Type: text/plain; Charset=US-ASCII; name=\"" + name +
                            "\";\r\nContent-Transfer-Encoding: base64\r\n"
                            "Content-Disposition: attachment; filename=\"" + name + "\"\r\n\r\n" +
                            EncodeLines(data, kBase64Alphabet, 57, false, "\r\n") + trailer;
    WriteFile(dir / ("m" + tag + ".mim"), mim);
    ExpectWhole(Decode(dir / ("m" + tag + ".mim"), dir / "out"), dir / ("out/" + name), data, "mime " + tag);
  }
}

// Splits an encoded text after every LinesPerPart lines into Base, Base
// with the extension's last character replaced by 1, 2, ...; later parts
// start with Prefix.
std::vector<std::string> SplitText(const fs::path& dir, const std::string& text, const std::string& base,
                                   std::size_t linesPerPart, const std::function<std::string(int)>& prefix) {
  std::vector<std::string> names;
  std::size_t pos = 0;
  int part = 0;
  while (pos < text.size()) {
    std::size_t end = pos;
    for (std::size_t i = 0; i < linesPerPart && end < text.size(); ++i) end = text.find('\n', end) + 1;
    std::string name = base;
    if (part > 0) name.back() = static_cast<char>('0' + part);
    WriteFile(dir / name, (part > 0 ? prefix(part) : std::string()) + text.substr(pos, end - pos));
    names.push_back(name);
    pos = end;
    ++part;
  }
  return names;
}

TEST(UUDecode, TextsSplitIntoParts) {
  TempDir dir;
  const std::string data = RandomBytes(20000, 31);
  WriteFile(dir / "d", data);
  ASSERT_EQ(RunTool("uuencode d whole.bin > text", dir.path()).exitCode, 0);
  const std::string text = ReadFile(dir / "text");

  // Later parts as the library's encoder starts them.
  auto names = SplitText(dir.path(), text, "p.uue", 200, [](int n) {
    return "part " + std::to_string(n) + "\r\nbegin 644 whole.bin\r\n";
  });
  ASSERT_EQ(names.size(), 3u);
  auto r = Decode(dir / "p.uue", dir / "o1", FollowParts);
  ExpectWhole(r, dir / "o1/whole.bin", data, "parts with begin lines");
  EXPECT_EQ(r.volumes, (std::vector<std::string>{"p.uu1", "p.uu2"}));

  // Opened at its second part: that part is not read again as its own next one.
  r = Decode(dir / "p.uu1", dir / "o1b", FollowParts);
  EXPECT_EQ(r.volumes, std::vector<std::string>{"p.uu2"});
  const std::string tailPart = ReadFile(dir / "o1b/whole.bin");
  EXPECT_EQ(tailPart.size(), data.size() - 199 * 45);
  EXPECT_TRUE(data.compare(199 * 45, std::string::npos, tailPart) == 0);

  // Parts cut from one text: each later part starts with data, a warning.
  SplitText(dir.path(), text, "c.uue", 150, [](int) { return std::string(); });
  r = Decode(dir / "c.uue", dir / "o2", FollowParts);
  EXPECT_EQ(ReadFile(dir / "o2/whole.bin"), data);
  EXPECT_EQ(r.errors, (std::vector<int>{25241, 25241}));
  EXPECT_EQ(r.extended[0], "line starting with 77 found before \"begin\"");
  EXPECT_EQ(r.errorFiles[0], (dir / "c.uu1").string());
  EXPECT_TRUE(r.verdicts.begin()->second);

  // Part names by the file name, numbered from VolumeStartNum.
  const std::string half = text.substr(0, text.find('\n', text.size() / 2) + 1);
  WriteFile(dir / "name.uue", half);
  WriteFile(dir / "name4.uue", "mail header\nSubject: part two\n\nbegin 644 whole.bin\n" + text.substr(half.size()));
  r = Decode(dir / "name.uue", dir / "o3", [](TUUDecode& u, DecodeLog& log) {
    FollowParts(u, log);
    u.NextVolumeName = nvChangeFilename;
    u.SetVolumeStartNum(3);
  });
  ExpectWhole(r, dir / "o3/whole.bin", data, "named parts");
  EXPECT_EQ(r.volumes, std::vector<std::string>{"name4.uue"});

  // Base64 parts of the library's encoder: the next part lies beside the first.
  std::string mime = "Content-Type: application/octet-stream; name=\"m.bin\";\r\nContent-Transfer-Encoding: "
                     "base64\r\nContent-Disposition: attachment; filename=\"m.bin\"\r\n\r\n" +
                     EncodeLines(data, kBase64Alphabet, 57, false, "\r\n") + "end\r\n20000 bytes\r\n";
  names = SplitText(dir.path(), mime, "m.mim", 150, [](int n) {
    return "part " + std::to_string(n) + "\r\nbegin 644 m.bin\r\n";
  });
  ASSERT_EQ(names.size(), 3u);
  r = Decode(dir / "m.mim", dir / "o5", FollowParts);
  ExpectWhole(r, dir / "o5/m.bin", data, "mime parts");
  EXPECT_EQ(r.volumes, (std::vector<std::string>{"m.mi1", "m.mi2"}));
}

// An output named like a later part of its text is refused before anything
// is written: every part stays as it was.
TEST(UUDecode, APartIsNeverTheOutput) {
  TempDir dir;
  WriteFile(dir / "d", RandomBytes(20000, 32));
  ASSERT_EQ(RunTool("uuencode d s.uu2 > text", dir.path()).exitCode, 0);
  const auto names = SplitText(dir.path(), ReadFile(dir / "text"), "s.uue", 150, [](int) { return std::string(); });
  ASSERT_EQ(names, (std::vector<std::string>{"s.uue", "s.uu1", "s.uu2"}));
  std::vector<std::string> before;
  for (const auto& n : names) before.push_back(ReadFile(dir / n));
  const auto r = Decode(dir / "s.uue", dir.path(), FollowParts);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.errors, std::vector<int>{msg::SameInputOutput});
  EXPECT_EQ(r.errorFiles, std::vector<std::string>{(dir / "s.uu2").string()});
  EXPECT_TRUE(r.volumes.empty());
  // The refusal after OnBegin gives the entry its failed verdict.
  EXPECT_EQ(r.verdicts, (std::map<std::string, bool>{{(dir / "s.uu2").string(), false}}));
  for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(ReadFile(dir / names[i]), before[i]) << names[i];
}

TEST(UUDecode, HeaderSearchAndLineRules) {
  TempDir dir;
  const std::string abc = "#86)C\n";  // "abc"
  auto decodeText = [&](const std::string& name, const std::string& text, const RunSetup& setup = {}) {
    WriteFile(dir / name, text);
    return Decode(dir / name, dir / ("out-" + name), setup);
  };

  // The begin line is searched in MaxHeaderLines lines.
  std::string junk;
  for (int i = 0; i < 150; ++i) junk += "line " + std::to_string(i) + "\n";
  auto r = decodeText("far.uue", junk + "begin 644 far.bin\n" + abc + "`\nend\n");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.errors, std::vector<int>{25123});
  r = decodeText("far2.uue", junk + "begin 644 far.bin\n" + abc + "`\nend\n",
                 [](TUUDecode& u, DecodeLog&) { u.MaxHeaderLines = 151; });
  ExpectWhole(r, dir / "out-far2.uue/far.bin", "abc", "MaxHeaderLines");
  r = decodeText("none.uue", "no encoded data here\n");
  EXPECT_EQ(r.errors, std::vector<int>{25123});
  EXPECT_TRUE(r.verdicts.empty());

  // A text detected as another type (here a cabinet in front) is read all the same.
  ASSERT_EQ(RunTool("printf abc > c.txt && gcab -c c.cab c.txt", dir.path()).exitCode, 0);
  r = decodeText("cab.uue", vsktest::ReadFile(dir / "c.cab") + "\nbegin 644 c.bin\n" + abc + "`\nend\n",
                 [](TUUDecode& u, DecodeLog&) { EXPECT_EQ(u.ArcType(), atCab); });
  ExpectWhole(r, dir / "out-cab.uue/c.bin", "abc", "behind a cabinet");

  // Lines before the data are read 80 characters at a time.
  r = decodeText("long.uue", std::string(80, 'x') + "begin 644 hidden.bin\n" + abc + "`\nend\n");
  ExpectWhole(r, dir / "out-long.uue/hidden.bin", "abc", "long line");

  // Names keep their blanks; a four-digit mode is a mode; a long name survives.
  r = decodeText("blank.uue", "begin 644 my file.txt\n" + abc + "`\nend\n");
  ExpectWhole(r, dir / "out-blank.uue/my file.txt", "abc", "blank in name");
  r = decodeText("mode.uue", "begin 0644 x\n" + abc + "`\nend\n");
  ExpectWhole(r, dir / "out-mode.uue/x", "abc", "4-digit mode");
  const std::string longName(200, 'n');
  r = decodeText("longname.uue", "begin 644 " + longName + "\r\n" + abc + "`\nend\n");
  ExpectWhole(r, dir / ("out-longname.uue/" + longName), "abc", "long name");
  r = decodeText("noname.uue", "begin 644 \n" + abc + "`\nend\n");
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(r.Has(25244));

  // A short first line chooses the alphabet by its characters.
  r = decodeText("short.uue", "begin 644 s\n" + abc + "`\nend\n");
  ExpectWhole(r, dir / "out-short.uue/s", "abc", "short UU");
  // A first line that fits no alphabet is refused before anything is made.
  r = decodeText("bad.uue", "begin 644 bad\n{|}~{|}~\nend\n");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.errors, std::vector<int>{25326});
  EXPECT_FALSE(fs::exists(dir / "out-bad.uue/bad"));

  // A data line starting with a blank gives no bytes; lines outside the
  // alphabet are passed over.
  r = decodeText("blankline.uue", "begin 644 b\n" + abc + " junk\n{not data}\n" + abc + "`\nend\n");
  ExpectWhole(r, dir / "out-blankline.uue/b", "abcabc", "blank count");
  // An empty line ends the data: without a further part the end is missing.
  r = decodeText("empty.uue", "begin 644 e\n" + abc + "\n" + abc + "`\nend\n");
  EXPECT_TRUE(r.Has(25178));
  EXPECT_EQ(ReadFile(dir / "out-empty.uue/e"), "abc");
  EXPECT_FALSE(r.verdicts.begin()->second);

  // Encoders of old wrote blanks for zero, and mailers dropped trailing blanks.
  std::string oldAlphabet(kUuAlphabet);
  oldAlphabet[0] = ' ';
  std::string zeros(200, '\0');
  zeros[50] = 'z';
  const std::string lines = EncodeLines(zeros, oldAlphabet, 45, true);
  std::string old;
  for (std::size_t p = 0, e; (e = lines.find('\n', p)) != std::string::npos; p = e + 1) {
    std::string l = lines.substr(p, e - p);
    while (l.size() > 1 && l.back() == ' ') l.pop_back();
    old += l + "\n";
  }
  ASSERT_LT(old.size(), lines.size());
  r = decodeText("old.uue", "begin 644 old\n" + lines + "end\n");
  ExpectWhole(r, dir / "out-old.uue/old", zeros, "blanks for zeros");
  EXPECT_EQ(Uudecoded(dir / "old.uue"), zeros);
  // uudecode does not restore the stripped lines; the missing blanks are zeros.
  r = decodeText("stripped.uue", "begin 644 stripped\n" + old + "end\n");
  ExpectWhole(r, dir / "out-stripped.uue/stripped", zeros, "stripped blanks");

  // The part numbering start is kept within 10.
  TUUDecode u;
  u.SetVolumeStartNum(50);
  EXPECT_EQ(u.VolumeStartNum(), 10);
  u.SetVolumeStartNum(4);
  EXPECT_EQ(u.VolumeStartNum(), 4);
  EXPECT_EQ(u.MaxHeaderLines, 100);
  EXPECT_EQ(u.NextVolumeName, nvChangeExt);
  EXPECT_FALSE(u.VolumeLongFilenames);
}

TEST(UUDecode, ExistingFilesAndCancel) {
  TempDir dir;
  const std::string data = RandomBytes(400000, 41);
  WriteFile(dir / "d", data);
  ASSERT_EQ(RunTool("uuencode d d.bin > d.uue", dir.path()).exitCode, 0);
  WriteFile(dir / "out/d.bin", "keep me");
  int asked = 0;
  auto r = Decode(dir / "d.uue", dir / "out", [&](TUUDecode& u, DecodeLog&) {
    u.ConfirmOverwrites = true;
    u.OnFileExists = [&](TZipCommon&, const std::string&, std::string&, TOverwriteMode& mode) {
      ++asked;
      mode = omSkip;
    };
  });
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(ReadFile(dir / "out/d.bin"), "keep me");

  // Cancelling while decoding: the verdict fails, the run ends at once, and
  // the file the output was to replace is back.
  r = Decode(dir / "d.uue", dir / "out", [](TUUDecode& u, DecodeLog&) {
    u.OnProgress = [&u](TZipCommon&, Byte file, Byte) {
      if (file >= 25) u.SetCancel(true);
    };
  });
  EXPECT_TRUE(r.Has(25443));
  ASSERT_EQ(r.verdicts.size(), 1u);
  EXPECT_FALSE(r.verdicts.begin()->second);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(ReadFile(dir / "out/d.bin"), "keep me");
}

TEST(UUDecode, CodecPieces) {
  const TUuAlphabet uu(kUuAlphabet), xx(kXxAlphabet);
  Byte out[kUuMaxLineBytes];
  ASSERT_EQ(DecodeUuLine(uu, "#86)C", out), 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), "abc");
  // Missing characters at the line end count as zero.
  ASSERT_EQ(DecodeUuLine(uu, "#86", out), 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), std::string("a`\0", 3));
  EXPECT_EQ(DecodeUuLine(uu, " 86)C", out), 0u);
  EXPECT_EQ(uu.FullLineChar(), 'M');
  EXPECT_EQ(xx.FullLineChar(), 'h');
  EXPECT_EQ(uu.Index(' '), 0);
  EXPECT_EQ(xx.Index(' '), 0);
  EXPECT_EQ(xx.Index('!'), kNotInAlphabet);
  // A doubled character keeps its first index.
  const TUuAlphabet twice("AA" + std::string(kXxAlphabet.substr(2)));
  EXPECT_EQ(twice.Index('A'), 0);

  EXPECT_EQ(ChooseUuAlphabet("M" + std::string(60, '!')), TUuAlphabetChoice::Uu);
  EXPECT_EQ(ChooseUuAlphabet("h" + std::string(60, '+')), TUuAlphabetChoice::Xx);
  EXPECT_EQ(ChooseUuAlphabet("`"), TUuAlphabetChoice::Uu);
  EXPECT_EQ(ChooseUuAlphabet("+"), TUuAlphabetChoice::Xx);
  // "M" is 24 bytes in XX: 32 characters follow.
  EXPECT_EQ(ChooseUuAlphabet("M" + std::string(32, 'a')), TUuAlphabetChoice::Xx);
  EXPECT_EQ(ChooseUuAlphabet("end"), TUuAlphabetChoice::Uu);
  EXPECT_EQ(ChooseUuAlphabet("{}|~"), TUuAlphabetChoice::None);

  EXPECT_TRUE(IsUuEndLine(uu, "end"));
  EXPECT_TRUE(IsUuEndLine(uu, "endless"));
  EXPECT_TRUE(IsUuEndLine(xx, "end size 12"));
  EXPECT_FALSE(IsUuEndLine(xx, "endAbc"));
  EXPECT_FALSE(IsUuEndLine(uu, "en"));

  TBase64Decoder b;
  Byte o[64];
  std::size_t n = b.Feed("aGVs", o);
  n += b.Feed(" bG8\t=", o + n);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(o), n), "hello");
  EXPECT_TRUE(b.Padded());
  EXPECT_EQ(b.Feed("QUJD", o), 0u);
  TBase64Decoder c;
  n = c.Feed("aGVsbG8", o);
  EXPECT_EQ(c.Pending(), 3);
  n += c.Finish(o + n);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(o), n), "hello");

  EXPECT_EQ(MimeParameter("attachment; filename=\"a;b c\"; size=3", "FileName"), "a;b c");
  EXPECT_EQ(MimeParameter("text/plain; name=x.txt; charset=utf-8", "name"), "x.txt");
  EXPECT_EQ(MimeParameter("attachment; filename=\"x\"", "name"), "");
  TMimePartHeaders h;
  EXPECT_FALSE(h.Feed("Content-Transfer-Encoding: base64"));
  EXPECT_FALSE(h.Feed("Content-Type: image/png; name=\"p.png\""));
  EXPECT_TRUE(h.Feed(""));
  EXPECT_EQ(h.FileName(), "p.png");
  EXPECT_FALSE(h.Feed("Content-Transfer-Encoding: quoted-printable"));
  EXPECT_FALSE(h.Feed("Content-Disposition: attachment; filename=q.txt"));
  EXPECT_FALSE(h.Feed(""));
}

}  // namespace
}  // namespace vsk
