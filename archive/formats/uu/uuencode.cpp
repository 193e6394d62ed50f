#include "archive/formats/uu/uuencode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "base/dates.h"
#include "base/tempstream.h"
#include "archive/formats/uu/uucodec.h"
#include "archive/core/paths.h"
#include "base/textcase.h"

namespace vsk {

namespace {

constexpr Int32 kReadBlock = 32768;
constexpr std::size_t kOutBlock = 32768;
constexpr Int64 kLinesPerKByte = 16;
// The lines before the data count as three, in the first file and in every part.
constexpr Int64 kHeaderLines = 3;
// Part numbers are written with at most three digits.
constexpr int kMaxPart = 999;
constexpr std::size_t kBase64LineBytes = 57;
constexpr const char* kCrLf = "\r\n";
constexpr const char* kProductName = "Brevane";
constexpr const char* kProductAddress = "https://brevane.example/";

struct TMode {
  const char* Label;  // 9 characters
  const char* Ext;
  std::string_view Alphabet;
  std::size_t LineBytes;
  bool Base64;
};

const TMode& ModeOf(TCompressMethod Method) {
  static const TMode uu{"UUEncode ", ".UUE", kUuAlphabet, kUuFullLineBytes, false};
  static const TMode xx{"XXEncode ", ".XXE", kXxAlphabet, kUuFullLineBytes, false};
  static const TMode b64{"B64Encode", ".MIM", kBase64Alphabet, kBase64LineBytes, true};
  return Method == cmXXEncode ? xx : Method == cmBase64 ? b64 : uu;
}

// Where the extension of the file part begins; npos when it has none (a
// leading dot marks a hidden name, not an extension).
std::size_t ExtensionAt(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  const auto dot = path.find_last_of('.');
  return dot == std::string::npos || dot <= start ? std::string::npos : dot;
}

std::string UpperExt(const std::string& name) {
  const auto at = ExtensionAt(name);
  return at == std::string::npos ? std::string() : AsciiUpperCase(name.substr(at));
}

std::string ContentType(const std::string& Name) {
  const std::string ext = UpperExt(Name);
  if (ext == ".HTM") return "text/html";
  if (ext == ".TXT") return "text/plain; Charset=US-ASCII";
  if (ext == ".GIF") return "image/gif";
  if (ext == ".JPG") return "image/jpeg";
  if (ext == ".AIF") return "audio/aiff";
  if (ext == ".AU" || ext == ".SND") return "audio/basic";
  if (ext == ".AVI") return "video/avi";
  if (ext == ".RTF") return "text/rtf";
  return "application/octet-stream";
}

// Count bytes as groups of four characters; a short group is filled with
// zero bits. Padded: the characters that stand for no byte are "=", as
// Base64 decoders need to restore the exact length.
void AppendGroups(std::string& Out, std::string_view A, const Byte* Data, std::size_t Count, bool Padded) {
  for (std::size_t i = 0; i < Count; i += 3) {
    const std::size_t n = std::min<std::size_t>(3, Count - i);
    const unsigned b1 = Data[i], b2 = n > 1 ? Data[i + 1] : 0, b3 = n > 2 ? Data[i + 2] : 0;
    Out += A[b1 >> 2];
    Out += A[(b1 << 4 | b2 >> 4) & 63];
    Out += Padded && n < 2 ? '=' : A[(b2 << 2 | b3 >> 6) & 63];
    Out += Padded && n < 3 ? '=' : A[b3 & 63];
  }
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

// The files of one text: lines are gathered in a buffer that goes through
// the write routine when it fills and when a file ends.
class TUUEncode::TTextWriter {
 public:
  explicit TTextWriter(TUUEncode& Owner) : O(Owner) { FBuf.reserve(kOutBlock + 128); }

  // Starts the next file; raises 25235 when it cannot be made.
  void Open(const std::string& Name) {
    auto f = std::make_unique<TParkableTempFile>(Name);
    if (f->Handle() < 0) O.RaiseError(Name, "", "0", msg::ErrorOpeningFile);
    FFiles.push_back(std::move(f));
    FNames.push_back(Name);
  }

  void Put(std::string_view Text) {
    FBuf.append(Text);
    if (FBuf.size() >= kOutBlock) Flush();
  }

  // Writes out the buffer and closes the current file, dated Date when
  // Date is not negative.
  void Close(Int64 Date) {
    Flush();
    TParkableTempFile& f = *FFiles.back();
    if (Date >= 0) {
      struct timespec times[2];
      times[0].tv_sec = 0;
      times[0].tv_nsec = UTIME_NOW;
      times[1].tv_sec = static_cast<time_t>(Date);
      times[1].tv_nsec = 0;
      futimens(f.Handle(), times);
    }
    f.Park();
  }

  // Every file takes its name; the later parts first, so that a failure
  // leaves the first file, the one the owner named, as it was. Placing is
  // called with each file's name just before it is placed.
  void Commit(const std::function<void(const std::string&)>& Placing) {
    for (std::size_t i = FFiles.size(); i-- > 0;) {
      if (Placing) Placing(FNames[i]);
      if (!FFiles[i]->Resume()) throw EWriteError(msg::ErrorWritingToFile);
      FFiles[i]->Commit();
    }
  }

  std::size_t Count() const { return FFiles.size(); }
  const std::string& Name(std::size_t i) const { return FNames[i]; }

 private:
  void Flush() {
    if (FBuf.empty()) return;
    O.WriteBlock(-1, FBuf.data(), false, static_cast<Int32>(FBuf.size()), kCrcNone, FFiles.back().get());
    O.PackedTotal += static_cast<double>(FBuf.size());
    FBuf.clear();
  }

  TUUEncode& O;
  std::vector<std::unique_ptr<TParkableTempFile>> FFiles;
  std::vector<std::string> FNames;
  std::string FBuf;
};

TUUEncode::TUUEncode() {
  FOwnExt = FDefaultExt = ".UUE";
  FSupportedMethods = {cmUUEncode, cmXXEncode, cmBase64};
  FCompressMethod = cmUUEncode;
  FArcType = atNA;
}

TUUEncode::~TUUEncode() = default;

void TUUEncode::SetArchiveFile(const std::string& Value) {
  *CancelRef() = false;
  ArcSize = 0;
  if (Value.empty()) {
    FArchiveFile.clear();
    FArcType = atNA;
    return;
  }
  FArchiveFile = ForwardSlashes(Value);
  const auto at = ExtensionAt(FArchiveFile);
  FOutFilename = (at == std::string::npos ? FArchiveFile : FArchiveFile.substr(0, at)) + FDefaultExt;
  FArcType = atUUE;
}

void TUUEncode::SetArcType(TArcType) { FArcType = FArchiveFile.empty() ? atNA : atUUE; }

void TUUEncode::SetOutFilename(const std::string& Value) {
  if (Value == ".") {
    FOutFilename.clear();
    return;
  }
  std::string name = ForwardSlashes(Value);
  if (!name.empty() && ExtensionAt(name) == std::string::npos) name += FDefaultExt;
  FOutFilename = name;
}

int TUUEncode::Compress() {
  FFilesWritten = 0;
  FilesProcessed = 0;
  PackedTotal = UnpackedTotal = 0;
  InputMode = kIoGivenStream;
  OutputMode = kIoGivenStream;
  *CancelRef() = false;
  TRunScope run(*this);
  try {
    RunJob(run);
  } catch (const ECancelUnwind&) {
  } catch (...) {
    // Reported where it was raised.
  }
  run.End();
  return FFilesWritten > 0 ? 1 : 0;
}

void TUUEncode::RunJob(TRunScope& Run) {
  if (FOutFilename.empty()) RaiseError(ArchiveFile(), "OutFile", "0", msg::InvalidFileName);
  if (Switch == swDelete) RaiseError(ArchiveFile(), "", "0", msg::UnsupportedArcType);

  struct stat in;
  const bool haveInput = !ArchiveFile().empty() && stat(ArchiveFile().c_str(), &in) == 0;
  struct stat out;
  FAsking = OverwriteMode;
  if (lstat(FOutFilename.c_str(), &out) == 0 &&
      !MayReplaceOutput(FOutFilename, haveInput ? static_cast<Int64>(in.st_dev) : -1,
                        haveInput ? static_cast<Int64>(in.st_ino) : -1))
    return;
  if (GetCancel()) return;

  Run.Activate();
  const std::string name = PathFilePart(ArchiveFile());
  CurrentFileName = name;
  bool take = true;
  Fire(OnBegin, name, 0, take);
  if (!take || GetCancel()) return;
  FilesProcessed = 1;
  const bool done = Encode();
  Fire(OnEnd, name, done && !GetCancel());
}

bool TUUEncode::MayReplaceOutput(const std::string& Name, Int64 InputDev, Int64 InputIno) {
  struct stat st;
  if (stat(Name.c_str(), &st) == 0 && static_cast<Int64>(st.st_dev) == InputDev &&
      static_cast<Int64>(st.st_ino) == InputIno) {
    ReportError(ArchiveFile(), Name, "0", msg::SameInputOutput);
    return false;
  }
  OverwriteMode = FAsking;
  if (OverwriteMode != omOverwrite) {
    if (!OnFileExists) {
      ReportError(Name, "OnFileExists", "0", msg::RequiredEventNotAssigned);
      return false;
    }
    struct stat ost;
    const Int64 date = lstat(Name.c_str(), &ost) == 0 ? static_cast<Int64>(ost.st_mtime) : 0;
    Fire(OnFileExists, Name, UnixTimeToDateTime(date), OverwriteMode);
    if (GetCancel() || OverwriteMode != omOverwrite) return false;
  }
  // A read-only file, a folder or a special file is replaced only when the
  // owner says so, and folders and special files not even then.
  const Int32 attr = FileDosAttributes(Name);
  if (attr < 0 || (attr & (faReadOnly | faSysFile | faDirectory)) == 0) return true;
  if (!OnNonWriteableArchive) {
    ReportError(Name, "OnNonWriteableArchive", "0", msg::RequiredEventNotAssigned);
    return false;
  }
  bool write = false;
  Fire(OnNonWriteableArchive, Name, write);
  if (!write || GetCancel()) return false;
  if (attr & (faDirectory | faSysFile)) {
    ReportError(Name, attr & faDirectory ? 25107 : 25106);
    return false;
  }
  return true;
}

bool TUUEncode::Encode() {
  // The encoded file has no size limit; its failed open ends the run.
  TSourceFile source;
  if (!OpenSourceFile(ArchiveFile(), source, UINT64_MAX, "")) {
    if (GetCancel()) throw ECancelUnwind{};
    throw E_RAISE(msg::ErrorOpeningFile);
  }
  TFileStream32& in = *source.Stream;
  const struct stat& ist = source.St;
  const Int64 size = ist.st_size;
  ArcSize = size;
  ProgressEntryTotal = size;
  ProgressArchiveTotal = ProgressBytesLeft = static_cast<double>(size);
  UnpackedTotal = static_cast<double>(size);
  const TMode& mode = ModeOf(FCompressMethod);
  FDefaultExt = mode.Ext;
  const std::string_view A = mode.Alphabet;
  const Int64 date = DateAttribute == daFileDate ? static_cast<Int64>(ist.st_mtime) : -1;

  // The names of the run that stood as regular files when they were agreed to.
  std::set<std::string> replacing;
  struct stat ost;
  if (lstat(FOutFilename.c_str(), &ost) == 0 && S_ISREG(ost.st_mode)) replacing.insert(FOutFilename);
  TTextWriter text(*this);
  text.Open(FOutFilename);
  std::set<std::string> names{FOutFilename};
  const std::string name = PathFilePart(ArchiveFile());

  text.Put(std::string(mode.Label) + " " + std::to_string(VersionMajor) + "." + std::to_string(VersionMinor) + " (" +
           kProductName + " - " + kProductAddress + ")" + kCrLf + kCrLf);
  if (WriteTableToFile)
    text.Put("table" + std::string(kCrLf) + std::string(A.substr(0, 32)) + kCrLf + std::string(A.substr(32, 32)) +
             kCrLf);
  if (mode.Base64) {
    text.Put("Content-Type: " + ContentType(name) + "; name=\"" + name + "\";" + kCrLf +
             "Content-Transfer-Encoding: base64" + kCrLf + "Content-Disposition: attachment; filename=\"" + name +
             "\"" + kCrLf + kCrLf);
  } else {
    text.Put("begin 644 " + name + kCrLf);
  }

  // Whole lines per read: the reads stay within kReadBlock bytes.
  const std::size_t capacity = static_cast<std::size_t>(kReadBlock) / mode.LineBytes * mode.LineBytes;
  std::vector<Byte> buf(capacity);
  std::size_t pos = 0, len = 0;
  bool eof = false;
  Int64 total = 0, lines = kHeaderLines;
  const Int64 limit = KBytesPerVolume > 0 ? static_cast<Int64>(KBytesPerVolume) * kLinesPerKByte : 0;
  int part = 0;
  std::string line;
  for (;;) {
    if (GetCancel()) return false;
    if (len - pos < mode.LineBytes && !eof) {
      std::memmove(buf.data(), buf.data() + pos, len - pos);
      len -= pos;
      pos = 0;
      while (len < capacity) {
        const Int32 n = ReadBlock(-1, &in, buf.data() + len, static_cast<Int32>(capacity - len), kCrcNone, false);
        if (in.LastOSError() != 0) RaiseError(ArchiveFile(), "", "0", msg::ErrorReadingFile);
        if (n <= 0) {
          eof = true;
          break;
        }
        len += static_cast<std::size_t>(n);
        ProgressBytesLeft = std::max(0.0, ProgressBytesLeft - n);
        ProgressRoutine(total + static_cast<Int64>(len));
      }
    }
    const std::size_t n = std::min(mode.LineBytes, len - pos);

    if (limit > 0 && lines >= limit) {
      text.Close(date);
      ++part;
      const std::string partName = NumberedName(FOutFilename, part, nvChangeExt, true);
      if (part > kMaxPart || !names.insert(partName).second)
        RaiseError(partName, "more than " + std::to_string(part - 1) + " parts", "0", msg::ErrorOpeningFile);
      struct stat pst;
      if (stat(partName.c_str(), &pst) == 0 && SameFile(pst, ist))
        RaiseError(ArchiveFile(), partName, "0", msg::SameInputOutput);
      // A part's name is confirmed as the first one's was.
      if (lstat(partName.c_str(), &pst) == 0) {
        if (!MayReplaceOutput(partName, static_cast<Int64>(ist.st_dev), static_cast<Int64>(ist.st_ino)) ||
            GetCancel())
          return false;
        if (S_ISREG(pst.st_mode)) replacing.insert(partName);
      }
      text.Open(partName);
      text.Put("part " + std::to_string(part) + kCrLf + "begin 644 " + name + kCrLf);
      lines = kHeaderLines;
    }

    line.clear();
    if (!mode.Base64) line += A[n];
    AppendGroups(line, A, buf.data() + pos, n, mode.Base64);
    line += kCrLf;
    text.Put(line);
    ++lines;
    pos += n;
    total += static_cast<Int64>(n);
    if (n == 0) break;
  }
  text.Put("end" + std::string(kCrLf) + std::to_string(total) + " bytes" + kCrLf);
  if (part > 0) text.Put("encoded into " + std::to_string(part) + " file(s)" + kCrLf);
  text.Close(date);
  if (GetCancel()) return false;

  try {
    text.Commit([&](const std::string& Name) {
      // A replaced file goes to the trash first when it may be wanted back.
      if (replacing.count(Name) && DeleteOptions == doAllowUndo) DeleteFileEx(Name, doAllowUndo);
    });
  } catch (const EVskError& e) {
    ReportError(FOutFilename, e.Code == msg::DiskFull ? msg::DiskFull : msg::ErrorWritingToFile);
    return false;
  }
  // A read-only text the owner let us replace keeps its mode, but its owner may write it again.
  struct stat made;
  if (stat(FOutFilename.c_str(), &made) == 0 && (made.st_mode & S_IWUSR) == 0)
    chmod(FOutFilename.c_str(), (made.st_mode & 07777) | S_IWUSR);
  FFilesWritten = static_cast<int>(text.Count());
  return true;
}

}  // namespace vsk
