#include "archive/formats/uu/uudecode.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "base/dates.h"
#include "archive/core/fileprims.h"
#include "archive/formats/uu/mimeheaders.h"
#include "archive/formats/uu/uuheader.h"

namespace vsk {

namespace {

constexpr int kNoBeginLine = 25123;
constexpr int kEolNotFound = 25178;
constexpr int kLineBeforeBegin = 25241;

constexpr Int32 kReadBlock = 32768;
constexpr std::size_t kOutBlock = 32768;
// Lines before the data are taken 80 characters at a time: the rest of a
// longer line is read as the next line.
constexpr std::size_t kHeaderLineSize = 80;
// A begin line is read whole, so that long names survive.
constexpr std::size_t kBeginLineSize = 1024;
// UU and XX data lines need at most 85 characters; more are passed over.
constexpr std::size_t kDataLineSize = 1024;
// MIME header lines are joined from their 80-character pieces up to this.
constexpr std::size_t kMimeLineSize = 1024;
// Base64 lines of any length are decoded piece by piece.
constexpr std::size_t kBase64Piece = 4096;
// Unpadded Base64 leaves up to two bytes of the last group in doubt until
// the byte count that may follow the data settles them.
constexpr std::size_t kBase64Doubt = 2;

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool FileExists(const std::string& Name) {
  struct stat st;
  return stat(Name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A decimal number of at most 15 digits at the start of Text; -1 when none.
Int64 LeadingNumber(std::string_view Text) {
  Int64 v = 0;
  std::size_t i = 0;
  for (; i < Text.size() && i < 15 && Text[i] >= '0' && Text[i] <= '9'; ++i) v = v * 10 + (Text[i] - '0');
  return i == 0 ? -1 : v;
}

// The count of a line "<number> bytes"; -1 for any other line.
Int64 ByteCountLine(std::string_view Line) {
  const Int64 n = LeadingNumber(Line);
  const std::size_t digits = Line.find_first_not_of("0123456789");
  if (n < 0 || digits == std::string_view::npos || TrimRight(Line.substr(digits)) != " bytes") return -1;
  return n;
}

bool IsBase64Line(std::string_view Line) {
  if (Line.size() < 4) return false;
  for (char c : Line) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
                    c == '/' || c == '=';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

// The text of the current part, read in blocks through the read routine and
// handed out line by line.
class TUUDecode::TTextSource {
 public:
  explicit TTextSource(TUUDecode& Owner) : O(Owner), FBuf(kReadBlock + 2) {}

  void Reset() {
    FPos = FLen = 0;
    FEnd = false;
    FRead = 0;
  }

  // The next piece of a line: up to Max characters before its line feed.
  // Complete: the line ended within the piece (by its line feed or by the
  // end of the input); LineFeed: it ended by a line feed. A CR before the
  // line feed is dropped. False at the end of the input.
  bool Next(std::string& Out, std::size_t Max, bool& Complete, bool& LineFeed) {
    Out.clear();
    Complete = LineFeed = false;
    bool any = false;
    while (Out.size() < Max) {
      if (FPos == FLen && !Fill()) {
        Complete = true;
        break;
      }
      any = true;
      const std::size_t n = std::min(FLen - FPos, Max - Out.size());
      const Byte* p = FBuf.data() + FPos;
      if (const void* lf = std::memchr(p, '\n', n)) {
        const std::size_t k = static_cast<std::size_t>(static_cast<const Byte*>(lf) - p);
        Out.append(reinterpret_cast<const char*>(p), k);
        FPos += k + 1;
        Complete = LineFeed = true;
        break;
      }
      Out.append(reinterpret_cast<const char*>(p), n);
      FPos += n;
    }
    if (!Complete) {
      // The piece is full: a line end right after it still belongs to it.
      const int c = Peek(0);
      if (c < 0) {
        Complete = true;
      } else if (c == '\n') {
        FPos += 1;
        Complete = LineFeed = true;
      } else if (c == '\r' && Peek(1) == '\n') {
        FPos += 2;
        Complete = LineFeed = true;
      }
    }
    if (Complete && !Out.empty() && Out.back() == '\r') Out.pop_back();
    return any;
  }

  // Reads the rest of a line whose piece was not complete, appending to Out
  // up to Max characters in all; returns whether it ended by a line feed.
  bool ReadRest(std::string& Out, std::size_t Max) {
    std::string piece;
    bool complete = false, lf = false;
    while (!complete && Next(piece, kBase64Piece, complete, lf))
      if (Out.size() < Max) Out.append(piece, 0, Max - Out.size());
    return lf;
  }

  // A whole line, of which Max characters are kept; false at the end of the input.
  bool ReadLine(TLine& Line, std::size_t Max) {
    bool complete = false;
    if (!Next(Line.Text, Max, complete, Line.LineFeed)) return false;
    if (!complete) Line.LineFeed = ReadRest(Line.Text, Max);
    return true;
  }

 private:
  // Reads the next block behind what is left; false at the end of the input.
  bool Fill() {
    if (FEnd) return false;
    if (FPos > 0) {
      std::memmove(FBuf.data(), FBuf.data() + FPos, FLen - FPos);
      FLen -= FPos;
      FPos = 0;
    }
    const Int32 want = static_cast<Int32>(std::min<std::size_t>(kReadBlock, FBuf.size() - FLen));
    const Int32 n = want > 0 ? O.ReadRoutine(-1, O.ArchiveStream.get(), FBuf.data() + FLen, want, kCrcNone, false) : 0;
    if (n <= 0) {
      FEnd = true;
      return false;
    }
    FLen += static_cast<std::size_t>(n);
    FRead += n;
    O.ProgressBytesLeft = std::max(0.0, O.ProgressBytesLeft - n);
    O.ProgressRoutine(FRead);
    return true;
  }

  int Peek(std::size_t k) {
    while (FLen - FPos <= k)
      if (!Fill()) return -1;
    return FBuf[FPos + k];
  }

  TUUDecode& O;
  std::vector<Byte> FBuf;
  std::size_t FPos = 0, FLen = 0;
  bool FEnd = false;
  Int64 FRead = 0;
};

// The decoded bytes on their way to the output routine. Hold bytes stay in
// the buffer at each flush but the last, so they can still be dropped.
class TUUDecode::TOutput {
 public:
  TOutput(TUUDecode& Owner, int Handle, std::size_t Hold)
      : O(Owner), FHandle(Handle), FHold(Hold), FBuf(kOutBlock) {}

  void Put(const Byte* Data, std::size_t Count) {
    while (Count > 0) {
      if (FFill == FBuf.size()) Flush(FHold);
      const std::size_t n = std::min(Count, FBuf.size() - FFill);
      std::memcpy(FBuf.data() + FFill, Data, n);
      FFill += n;
      FTotal += static_cast<Int64>(n);
      Data += n;
      Count -= n;
    }
  }

  // Writes all but Keep bytes; a short write raises in the write routine.
  void Flush(std::size_t Keep) {
    if (FFill <= Keep) return;
    const std::size_t n = FFill - Keep;
    O.DecryptWriteRoutine(FHandle, FBuf.data(), true, static_cast<Int32>(n), kCrc32, nullptr, false);
    std::memmove(FBuf.data(), FBuf.data() + n, Keep);
    FFill = Keep;
  }
  void FlushPart() { Flush(FHold); }

  // Drops the last Count bytes when they were not written yet.
  void DropTail(std::size_t Count) {
    if (Count > FFill) return;
    FFill -= Count;
    FTotal -= static_cast<Int64>(Count);
  }

  Int64 Total() const { return FTotal; }

 private:
  TUUDecode& O;
  int FHandle;
  std::size_t FHold;
  std::vector<Byte> FBuf;
  std::size_t FFill = 0;
  Int64 FTotal = 0;
};

TUUDecode::TUUDecode() = default;

std::string TUUDecode::PartName(int Part) const {
  return NumberedName(ArchiveFile(), Part, NextVolumeName, !VolumeLongFilenames);
}

void TUUDecode::NoteParts() {
  // Part numbers stop at 999 (the names repeat after it), and the text's own
  // name is passed over as NextPart passes it over.
  for (int part = FVolumeStartNum + 1; part < kMaxVolumes; ++part) {
    std::string name = PartName(part);
    if (name == ArchiveFile()) continue;
    if (!FindVolumeAnyCase(name)) break;
    NoteArchiveVolume(name);
  }
}

void TUUDecode::ExtractArchive() {
  FPart = FVolumeStartNum;
  FPartName = ArchiveFile();
  FDeclaredSize = -1;
  FAlphabet = TUuAlphabet(kXxAlphabet);
  if (!ArchiveStream) return;
  const Int64 size = ArchiveStream->GetSize();
  ProgressEntryTotal = size;
  ProgressArchiveTotal = ProgressBytesLeft = static_cast<double>(size);
  ArchiveStream->Seek(0, soBeginning);

  TTextSource source(*this);
  std::string name;
  TLine first;
  bool haveFirst = false;
  const TForm form = SearchHeader(source, name, first, haveFirst);
  if (form == TForm::None) {
    if (!GetCancel()) ReportError(ArchiveFile(), kNoBeginLine);
    return;
  }

  TEntryInfo info;
  info.Name = OemToAnsiName(name, TranslateOemChar);
  info.UnpackedSize = std::max<Int64>(FDeclaredSize, 0);
  // The text keeps no date: the file is dated when it is made.
  info.DosDateTime = DateTimeToDosDateTime(Now());
  if (info.Name.empty()) {
    ReportError(ArchiveFile(), msg::InvalidFileName);
    return;
  }
  if (!Testing()) NoteParts();
  TReaderEntry entry = StartEntry(info);
  if (!entry) return;
  int handle = kInvalidHandle;
  if (!entry.Open(handle)) return;  // reported there

  Crc->Reset();
  ResetTranslation();
  bool complete = false;
  {
    TOutput out(*this, handle, form == TForm::Base64Mime ? kBase64Doubt : 0);
    complete = form == TForm::Uu ? DecodeUu(source, out, first, haveFirst) : DecodeBase64(source, out, form);
    out.Flush(0);
  }
  if (!complete && !GetCancel()) ReportError(FPartName, kEolNotFound);
  entry.Close(handle, EntryDosDateTime, faArchive);
  // There is no checksum: data that stop short of their end line fail.
  entry.End(complete, false);
}

TUUDecode::TForm TUUDecode::SearchHeader(TTextSource& Source, std::string& Name, TLine& First, bool& HaveFirst) {
  std::string piece, line;
  bool complete = false, lf = false;
  bool tableGiven = false;
  std::string table(kXxAlphabet);
  TMimePartHeaders mime;
  for (int lines = 0; lines < MaxHeaderLines && !GetCancel(); ++lines) {
    if (!Source.Next(piece, kHeaderLineSize, complete, lf)) break;
    if (line.size() < kMimeLineSize) line.append(piece, 0, kMimeLineSize - line.size());

    TUuBeginLine begin;
    if (begin.Parse(piece, true)) {
      if (!complete) {
        Source.ReadRest(piece, kBeginLineSize);
        begin.Parse(piece, true);
      }
      Name = begin.Name;
      if (begin.Base64) return TForm::Base64Begin;
      HaveFirst = Source.ReadLine(First, kDataLineSize);
      if (tableGiven) {
        FAlphabet = TUuAlphabet(table);
        return TForm::Uu;
      }
      switch (ChooseUuAlphabet(HaveFirst ? First.Text : std::string())) {
        case TUuAlphabetChoice::Uu:
          FAlphabet = TUuAlphabet(kUuAlphabet);
          break;
        case TUuAlphabetChoice::Xx:
          FAlphabet = TUuAlphabet(kXxAlphabet);
          break;
        case TUuAlphabetChoice::None:
          RaiseError(ArchiveFile(), "", "0", msg::UnsupportedMethod);
      }
      return TForm::Uu;
    }
    if (TrimRight(piece) == "table") {
      // The alphabet in two lines of 32 characters.
      for (std::size_t half = 0; half < 2 && lines + 1 < MaxHeaderLines; ++half) {
        if (!Source.Next(piece, kHeaderLineSize, complete, lf)) break;
        ++lines;
        if (!complete) Source.ReadRest(piece, 0);
        piece.resize(std::min<std::size_t>(piece.size(), kUuAlphabetSize / 2));
        table.replace(half * kUuAlphabetSize / 2, piece.size(), piece);
      }
      tableGiven = true;
      line.clear();
      continue;
    }
    if (StartsWith(piece, "charmap") && piece.size() >= 8 + kUuAlphabetSize) {
      table = piece.substr(8, kUuAlphabetSize);
      tableGiven = true;
    } else if (StartsWith(piece, "size ")) {
      FDeclaredSize = LeadingNumber(std::string_view(piece).substr(5));
    }
    if (complete) {
      const bool start = mime.Feed(line);
      line.clear();
      if (start) {
        Name = mime.FileName();
        return TForm::Base64Mime;
      }
    }
  }
  return TForm::None;
}

bool TUUDecode::DecodeUu(TTextSource& Source, TOutput& Out, TLine& First, bool HaveFirst) {
  TLine line;
  bool pending = HaveFirst;
  if (pending) line = First;
  Byte bytes[kUuMaxLineBytes];
  for (;;) {
    if (GetCancel()) return false;
    const bool got = pending || Source.ReadLine(line, kDataLineSize);
    pending = false;
    // The end of the part's text or an empty line ends the part's data.
    if (!got || line.Text.empty()) {
      if (!NextPart(Source, Out, false, line, pending)) return false;
      continue;
    }
    if (IsUuEndLine(FAlphabet, line.Text)) return true;
    const Byte count = FAlphabet.Index(line.Text[0]);
    if (count == kNotInAlphabet) continue;
    // A line cut off by the end of the text does not hold all its bytes.
    if (!line.LineFeed && line.Text.size() - 1 < UuCharsForBytes(count)) continue;
    Out.Put(bytes, DecodeUuLine(FAlphabet, line.Text, bytes));
  }
}

bool TUUDecode::DecodeBase64(TTextSource& Source, TOutput& Out, TForm Form) {
  const bool mime = Form == TForm::Base64Mime;
  TBase64Decoder decoder;
  std::vector<Byte> bytes(kBase64Piece / 4 * 3 + 3);
  std::string piece;
  TLine first;
  bool pending = false, lineStart = true, complete = false, lf = false;
  auto finish = [&] { Out.Put(bytes.data(), decoder.Finish(bytes.data())); };
  for (;;) {
    if (GetCancel()) return false;
    if (pending) {
      piece = first.Text;
      complete = first.LineFeed;
      pending = false;
    } else if (!Source.Next(piece, kBase64Piece, complete, lf)) {
      // A MIME part may simply stop at the end of the text; it goes on in
      // a next part only when one lies beside it.
      if (mime && (decoder.Padded() || decoder.Pending() == 0) && !FileExists(PartName(FPart + 1))) return true;
      if (!NextPart(Source, Out, true, first, pending)) return false;
      lineStart = true;
      continue;
    }
    if (lineStart) {
      if (!mime && StartsWith(piece, "====")) {
        finish();
        return true;
      }
      if (mime && StartsWith(piece, "--")) {
        finish();
        return true;
      }
      if (piece.empty()) {
        if (!mime) {
          if (!NextPart(Source, Out, true, first, pending)) return false;
          continue;
        }
        finish();
        // Texts without padding may follow the data with "end" and the
        // byte count, which settles the last group.
        TLine end, count;
        if (!decoder.Padded() && Source.ReadLine(end, kHeaderLineSize) && TrimRight(end.Text) == "end" &&
            Source.ReadLine(count, kHeaderLineSize)) {
          const Int64 n = ByteCountLine(count.Text);
          if (n >= 0 && n <= Out.Total() && Out.Total() - n <= static_cast<Int64>(kBase64Doubt))
            Out.DropTail(static_cast<std::size_t>(Out.Total() - n));
        }
        return true;
      }
    }
    lineStart = complete;
    if (!decoder.Padded()) Out.Put(bytes.data(), decoder.Feed(piece, bytes.data()));
  }
}

bool TUUDecode::IsDataStart(const std::string& Line, bool Base64) const {
  if (Base64) return IsBase64Line(Line);
  return (!Line.empty() && Line[0] == FAlphabet.FullLineChar()) || IsUuDataLine(FAlphabet, Line) ||
         IsUuEndLine(FAlphabet, Line);
}

bool TUUDecode::NextPart(TTextSource& Source, TOutput& Out, bool Base64, TLine& First, bool& HaveFirst) {
  HaveFirst = false;
  Out.FlushPart();
  ++FPart;
  // A text opened at a later part (x.uu1) must not be read again as its own next part.
  if (PartName(FPart) == FPartName) ++FPart;
  std::string name = PartName(FPart);
  if (!OpenNextVolume(name, FPart)) return false;
  Byte err = 0;
  auto stream = std::make_unique<TFileStream32>(name, fmOpenRead | fmShareDenyNone, err);
  if (err != 0) {
    ReportError(name, msg::ErrorOpeningFile);
    return false;
  }
  ArchiveStream = std::move(stream);
  FPartName = name;
  const Int64 size = ArchiveStream->GetSize();
  ProgressEntryTotal = size;
  ProgressArchiveTotal += static_cast<double>(size);
  ProgressBytesLeft += static_cast<double>(size);
  Source.Reset();

  // Lines before the data (a part line, a mail header) are passed over.
  std::string piece;
  bool complete = false, lf = false;
  while (!GetCancel() && Source.Next(piece, kHeaderLineSize, complete, lf)) {
    if (StartsWith(piece, "begin")) {
      if (!complete) Source.ReadRest(piece, 0);
      return true;
    }
    if (IsDataStart(piece, Base64)) {
      First.Text = piece;
      // A Base64 line of any length goes on in the pieces that follow;
      // LineFeed then tells whether the piece ended its line.
      if (Base64)
        First.LineFeed = complete;
      else
        First.LineFeed = complete ? lf : Source.ReadRest(First.Text, kDataLineSize);
      HaveFirst = true;
      ReportError(name, "line starting with " + std::to_string(static_cast<Byte>(piece[0])) + " found before \"begin\"",
                  "0", kLineBeforeBegin);
      return true;
    }
    if (!complete) Source.ReadRest(piece, 0);
  }
  return !GetCancel();
}

}  // namespace vsk
