// The lister's walk of uuencoded and xxencoded texts: one pseudo-entry for
// the file the text holds, named by its begin line, without a mask test.

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/dates.h"
#include "archive/formats/lister/vorsk.h"
#include "archive/formats/lister/walker.h"
#include "archive/formats/uu/uucodec.h"
#include "archive/formats/uu/uuheader.h"

namespace vsk {

namespace {

constexpr Int32 kLineBlock = 1 << 16;

// The lines of the text from From on, without their line ends (a carriage
// return before the line feed dropped), to Take until it returns false.
// LineFeed says whether the line ended by one (the last may not).
template <class TTake>
void ForEachLine(TVorsk& L, Int64 From, TTake Take) {
  std::vector<Byte> buf(kLineBlock);
  std::string line;
  for (Int64 at = From; at < L.EndOffset;) {
    const Int32 got = L.ReadAt(at, buf.data(), static_cast<Int32>(std::min<Int64>(kLineBlock, L.EndOffset - at)));
    if (got <= 0) break;
    at += got;
    for (Int32 i = 0; i < got; ++i) {
      if (buf[i] != '\n') {
        line.push_back(static_cast<char>(buf[i]));
        continue;
      }
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!Take(std::string_view(line), true)) return;
      line.clear();
    }
  }
  if (!line.empty()) {
    if (line.back() == '\r') line.pop_back();
    Take(std::string_view(line), false);
  }
}

// The bytes a UU or XX text decodes to, from the count character of each
// data line as the decoder takes them: up to the "end" line or the empty
// line that ends the data; a line whose count character is not in the
// alphabet is passed over, and so is a last line cut short.
Int64 UuDecodedSize(TVorsk& L, Int64 From, const std::string& Table) {
  std::optional<TUuAlphabet> alphabet;
  if (!Table.empty()) alphabet.emplace(Table);
  Int64 size = 0;
  ForEachLine(L, From, [&](std::string_view Line, bool LineFeed) {
    if (!alphabet) {
      switch (ChooseUuAlphabet(Line)) {
        case TUuAlphabetChoice::Uu: alphabet.emplace(kUuAlphabet); break;
        case TUuAlphabetChoice::Xx: alphabet.emplace(kXxAlphabet); break;
        case TUuAlphabetChoice::None: return false;
      }
    }
    if (Line.empty() || IsUuEndLine(*alphabet, Line)) return false;
    const Byte count = alphabet->Index(Line[0]);
    if (count == kNotInAlphabet || (!LineFeed && Line.size() - 1 < UuCharsForBytes(count))) return true;
    size += count;
    return true;
  });
  return size;
}

// The bytes a "begin-base64" text decodes to: its alphabet characters up
// to the "====" line or the first "=", six bits each.
Int64 Base64DecodedSize(TVorsk& L, Int64 From) {
  Int64 chars = 0;
  ForEachLine(L, From, [&](std::string_view Line, bool) {
    if (Line.starts_with("====")) return false;
    for (char c : Line) {
      if (c == '=') return false;
      if (kBase64Alphabet.find(c) != std::string_view::npos) ++chars;
    }
    return true;
  });
  return chars * 6 / 8;
}

// The alphabet a "table" of two lines before the begin line gives; empty
// when there is none.
std::string TableBefore(const Byte* Text, std::size_t Count) {
  std::string table;
  std::string_view text(reinterpret_cast<const char*>(Text), Count);
  int half = -1;
  for (std::size_t i = 0; i < text.size() && half < 2;) {
    const std::size_t lf = std::min(text.find('\n', i), text.size());
    std::string_view line = text.substr(i, lf - i);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    i = lf + 1;
    if (half >= 0) {
      table += std::string(line.substr(0, kUuAlphabetSize / 2));
      ++half;
    } else if (line == "table") {
      half = 0;
    }
  }
  return half == 2 ? table : std::string();
}

class TUueListWalker : public TListWalker {
 public:
  // The whole walk: the text has no headers to step through.
  Int64 FirstHeader(TVorsk& L) override {
    const Int64 size = L.EndOffset;
    std::vector<Byte> text(static_cast<std::size_t>(std::min<Int64>(size, kUuBeginSearchSize)));
    const Int32 got = L.ReadAt(0, text.data(), static_cast<Int32>(text.size()));
    TUuBeginLine begin;
    if (got <= 0 || !begin.Find(text.data(), static_cast<std::size_t>(got))) return -1;

    L.TakeName(begin.Name);
    // The data start on the line after the begin line.
    const auto* lf = static_cast<const Byte*>(std::memchr(text.data() + begin.Offset, '\n', static_cast<std::size_t>(got) - begin.Offset));
    const Int64 dataAt = lf ? lf - text.data() + 1 : size;
    const Int64 unpacked = begin.Base64 ? Base64DecodedSize(L, dataAt)
                                        : UuDecodedSize(L, dataAt, TableBefore(text.data(), begin.Offset));
    struct stat st;
    L.FileDate = stat(L.ArchiveFile().c_str(), &st) == 0 ? L.ConvertDosDate(FileTimeToLocalDos(st.st_mtim))
                                                          : kDefaultDateTime;
    L.PackedSize = size;
    L.UnpackedSize = unpacked;
    L.CRC = 0;
    L.Encrypted = false;
    L.MethodNumber = 0;
    L.MethodText.clear();
    L.ExternalAttr = 0x20;
    L.InternalAttr = 0x20;
    L.VersionMadeBy = L.VersionNeeded = 0;
    L.CountEntry(size, unpacked);
    L.FillEntry(0);
    return -1;
  }

  Int32 FixedSize(TVorsk&) override { return 0; }

  Int64 Step(TVorsk& L, const Byte*, Int32) override { return L.EndOffset; }
};

}  // namespace

std::unique_ptr<TListWalker> MakeUueListWalker() { return std::make_unique<TUueListWalker>(); }

}  // namespace vsk
