// The stub of a self-extracting program. The archive is appended to this
// program; the library's detection finds it behind the program's own image
// and the reader of its format lists, tests or extracts it, keeping every
// name inside the destination folder. Questions (replacing a file, a
// password) are asked on the terminal: prompts on standard error, answers
// from standard input; with no answer (the input ends) an existing file is
// kept. The exit status is 0 only when everything asked for was done
// without an error and, when extracting, something was extracted or
// nothing had to be skipped.
//
// A reader that drives an outside library loaded by name has its stub carry
// that library linked in and register it (ownlib_<word>.cpp), so the
// program runs wherever it is copied.

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "archive/core/arctype.h"
#include "base/messages.h"
#include "sfx/ownlib.h"
// The reader class of the stub's row, and its header.
#include SFX_READER_HEADER

// Last: its speed macros (B0, B50, ...) would clash with the library's names.
#include <termios.h>

namespace {

using namespace vsk;

using TReader = SFX_READER;

// The types whose RunByStub column names this stub.
constexpr TArcTypes OwnTypes() {
  TArcTypes s;
  for (const TArcTypeRow& r : arcflag::kRows)
    if (arcflag::HasWord(r.RunByStub, SFX_STUB)) s.Include(r.Type);
  return s;
}
constexpr TArcTypes kOwnTypes = OwnTypes();
static_assert(!kOwnTypes.Empty(), "no row of the table is run by this stub");

// A wrong password is said at once but is no failure by itself: the entry
// fails only when no password fits (its verdict says so).
constexpr int kWrongPassword = 26517;

enum class TMode { Extract, Test, List };

struct TOptions {
  TMode Mode = TMode::Extract;
  std::string Folder;
  bool Overwrite = false;
  bool Never = false;
};

bool ParseOptions(int argc, char** argv, TOptions& O) {
  bool test = false, list = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-d" && i + 1 < argc && argv[i + 1][0] != '\0' && O.Folder.empty())
      O.Folder = argv[++i];
    else if (a == "-t")
      test = true;
    else if (a == "-l")
      list = true;
    else if (a == "-o")
      O.Overwrite = true;
    else if (a == "-n")
      O.Never = true;
    else
      return false;
  }
  if ((test && list) || (O.Overwrite && O.Never)) return false;
  O.Mode = test ? TMode::Test : list ? TMode::List : TMode::Extract;
  return true;
}

std::string BaseName(const char* Path) {
  const char* slash = std::strrchr(Path, '/');
  return slash ? slash + 1 : Path;
}

// One line from standard input; false at its end. With Hidden the terminal
// does not echo it.
bool ReadAnswer(const std::string& Prompt, std::string& Answer, bool Hidden) {
  // What was said before comes first, and the question stands before the
  // answer is read, wherever the two outputs go.
  std::fflush(stdout);
  std::fputs(Prompt.c_str(), stderr);
  std::fflush(stderr);
  termios saved{};
  const bool quiet = Hidden && isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
  if (quiet) {
    termios t = saved;
    t.c_lflag &= static_cast<tcflag_t>(~ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &t);
  }
  Answer.clear();
  int c = 0;
  while ((c = std::fgetc(stdin)) != EOF && c != '\n') Answer.push_back(static_cast<char>(c));
  // A hidden answer, or none at all, left the line of the question open.
  if (quiet) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  if (quiet || c == EOF) std::fputc('\n', stderr);
  if (!Answer.empty() && Answer.back() == '\r') Answer.pop_back();
  return c != EOF || !Answer.empty();
}

// "1 file", "2 files".
std::string Files(int Count) { return std::to_string(Count) + (Count == 1 ? " file" : " files"); }

std::string DosDateText(UInt32 DosDateTime) {
  const unsigned d = DosDateTime >> 16, t = DosDateTime & 0xFFFF;
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", (d >> 9) + 1980, (d >> 5) & 15, d & 31, t >> 11,
                (t >> 5) & 63);
  return text;
}

class TStub {
 public:
  TStub(const std::string& Name, const TOptions& Options) : FName(Name), FOptions(Options) {}

  int Run(const std::string& Self) {
    try {
      FReader.SetArchiveFile(Self);
    } catch (const std::exception&) {
      return Fail("cannot read " + Self);
    }
    if (!kOwnTypes.Contains(FReader.ArcType())) return Fail("no archive found in " + Self);
    Prepare();
    const int count = FOptions.Mode == TMode::Extract ? FReader.Extract() : FReader.TestArchive();
    if (FOptions.Mode == TMode::Test && !FFailed) std::printf("No errors in %s.\n", Files(count).c_str());
    if (FOptions.Mode == TMode::Extract && !FFailed) {
      if (FSkipped > 0)
        std::printf("%s extracted, %d skipped.\n", Files(count).c_str(), FSkipped);
      else
        std::printf("%s extracted.\n", Files(count).c_str());
    }
    // Nothing extracted because every file was skipped is no success.
    return FFailed || (FOptions.Mode == TMode::Extract && count == 0 && FSkipped > 0) ? 1 : 0;
  }

 private:
  int Fail(const std::string& Text) {
    std::fprintf(stderr, "%s: %s\n", FName.c_str(), Text.c_str());
    return 1;
  }

  void Prepare() {
    TReader& r = FReader;
    r.FileSpec = {"*.*"};
    r.RecurseDirs = true;
    r.UseStoredDirs = true;
    r.CreateStoredDirs = true;
    r.DateAttribute = daFileDate;
    if (!FOptions.Folder.empty()) {
      r.SetExtractDir(FOptions.Folder);
    } else {
      std::vector<char> cwd(4096);
      r.SetExtractDir(getcwd(cwd.data(), cwd.size()) ? cwd.data() : ".");
    }
    // -o writes over existing files without asking; otherwise each one is
    // asked about (-n answers no to all).
    r.ConfirmOverwrites = !FOptions.Overwrite;
    r.OverwriteMode = omOverwrite;
    FAnswerAll = FOptions.Never ? -1 : 0;

    r.OnError = [this](TZipCommon&, const std::string& FileName, const std::string& Extended, const std::string&,
                       int Code) {
      if (Code != kWrongPassword) FFailed = true;
      const char* text = MessageText(Code);
      std::string line = text && *text ? text : "error " + std::to_string(Code);
      if (!FileName.empty()) line += ": " + FileName;
      if (!Extended.empty() && Extended != FileName) line += " (" + Extended + ")";
      Fail(line);
    };
    r.OnBegin = [this](TZipCommon&, const std::string& FileName, int, bool& Extract) {
      if (FOptions.Mode == TMode::List) {
        std::printf("%12lld  %s  %s\n", static_cast<long long>(FReader.EntryUnpackedSize),
                    DosDateText(FReader.EntryDosDateTime).c_str(), FileName.c_str());
        Extract = false;
      }
    };
    r.OnEnd = [this](TZipCommon&, const std::string& FileName, bool Pass) {
      if (!Pass) FFailed = true;
      if (FOptions.Mode == TMode::List) return;
      const std::string name = Shown(FileName);
      if (FOptions.Mode == TMode::Test)
        std::printf("  testing: %s  %s\n", name.c_str(), Pass ? "OK" : "FAILED");
      else if (Pass)
        std::printf("  extracted: %s\n", name.c_str());
      else
        Fail("failed: " + name);
    };
    r.OnFileExists = [this](TZipCommon&, const std::string& FileName, std::string&, TOverwriteMode& Mode) {
      Mode = AskReplace(Shown(FileName)) ? omOverwrite : omSkip;
      if (Mode == omSkip) {
        ++FSkipped;
        std::printf("  skipped: %s\n", Shown(FileName).c_str());
      }
    };
    r.OnGetPassword = [this](TZipCommon&, const std::string& FileName, std::string& Password, bool& TryAgain) {
      TryAgain = ReadAnswer(Shown(FileName) + " password: ", Password, true) && !Password.empty();
    };
  }

  // A name as stored: below the destination folder when it is there.
  std::string Shown(const std::string& FileName) const {
    const std::string& root = FReader.ExtractDir();
    return FileName.compare(0, root.size(), root) == 0 ? FileName.substr(root.size()) : FileName;
  }

  bool AskReplace(const std::string& FileName) {
    while (FAnswerAll == 0) {
      std::string a;
      if (!ReadAnswer("replace " + FileName + "? [y]es, [n]o, [A]ll, [N]one: ", a, false)) {
        // Nobody to answer: nothing is written over.
        FAnswerAll = -1;
        break;
      }
      if (a == "y" || a == "yes") return true;
      if (a == "n" || a == "no") return false;
      if (a == "A" || a == "all") FAnswerAll = 1;
      if (a == "N" || a == "none") FAnswerAll = -1;
    }
    return FAnswerAll > 0;
  }

  std::string FName;
  TOptions FOptions;
  TReader FReader;
  bool FFailed = false;
  int FAnswerAll = 0;  // 1 replace all, -1 replace none, 0 ask
  int FSkipped = 0;    // existing files left as they were
};

}  // namespace

int main(int argc, char** argv) {
  const std::string name = BaseName(argc > 0 ? argv[0] : "sfx");
  TOptions options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: %s [-d folder] [-t | -l] [-o | -n]\n", name.c_str());
    return 2;
  }
  sfx::RegisterOwnLibrary();
  return TStub(name, options).Run(ProgramFile());
}
