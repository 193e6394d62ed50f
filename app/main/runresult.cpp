#include "app/main/runresult.h"

#include <sys/stat.h>

#include "app/main/messages.h"
#include "base/messages.h"

namespace brevane {

namespace {

std::string CodeText(int Code) {
  const char* text = vsk::MessageText(Code);
  return text && *text ? std::string(text) : "Error " + std::to_string(Code);
}

// The reason shown for an entry that ended so without an error of its own
// (a later encrypted entry after a refused password is skipped unasked).
std::string DefaultReason(vsk::TEntryOutcome Outcome) {
  switch (Outcome) {
    case vsk::eoEncrypted: return CodeText(vsk::msg::InvalidPassword);
    case vsk::eoCannotWrite: return CodeText(vsk::msg::ErrorWritingToFile);
    case vsk::eoRefusedName: return CodeText(vsk::msg::InvalidFileName);
    case vsk::eoRefusedVolume: return CodeText(vsk::msg::SameInputOutput);
    case vsk::eoUnsupported: return CodeText(vsk::msg::UnsupportedMethod);
    case vsk::eoRefusedLink: return vsk::kSymbolicLinkReason;
    case vsk::eoFailedCheck: return CodeText(vsk::msg::CrcFailed);
    default: return {};
  }
}

bool LeftOut(vsk::TEntryOutcome Outcome) {
  return Outcome != vsk::eoWritten && Outcome != vsk::eoSkipped && Outcome != vsk::eoCancelled &&
         Outcome != vsk::eoPending;
}

const vsk::TUnBase* ReaderOf(const vsk::TZipCommon& Sender) { return dynamic_cast<const vsk::TUnBase*>(&Sender); }

// The entry an event is about, by its stored name; the output's name when
// the sender keeps none.
std::string EntryKeyName(const vsk::TZipCommon& Sender, const std::string& FileName, const std::string& ExtendedMsg,
                         int Code) {
  const vsk::TUnBase* reader = ReaderOf(Sender);
  if (reader && !reader->EntryName.empty()) return reader->EntryName;
  if (Code == vsk::msg::InvalidFileName && !ExtendedMsg.empty()) return ExtendedMsg;
  return FileName;
}

// The outcome the sender gives the entry, where it decides about one.
vsk::TEntryOutcome ReaderOutcome(const vsk::TZipCommon& Sender) {
  const vsk::TUnBase* reader = ReaderOf(Sender);
  return reader ? reader->EntryOutcome : vsk::eoPending;
}

bool IsFolder(const std::string& Name) {
  struct stat st;
  return !Name.empty() && Name[0] == '/' && ::lstat(Name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

vsk::TEntryOutcome OutcomeOfCode(int Code) {
  switch (Code) {
    case vsk::msg::InvalidPassword:
    case vsk::msg::EncryptedNotSupported: return vsk::eoEncrypted;
    case vsk::msg::InvalidFileName:
    case vsk::msg::UnknownFileType: return vsk::eoRefusedName;
    case vsk::msg::SameInputOutput: return vsk::eoRefusedVolume;
    case vsk::msg::UnsupportedMethod: return vsk::eoUnsupported;
    case vsk::msg::CrcFailed: return vsk::eoFailedCheck;
    case vsk::msg::ErrorOpeningFile:
    case vsk::msg::ErrorCreatingFile:
    case vsk::msg::ErrorWritingToFile:
    case vsk::msg::DiskFull:
    case vsk::msg::ErrorCreatingDir:
      return vsk::eoCannotWrite;
    default: return vsk::eoPending;
  }
}

void TRunResult::NoteError(const vsk::TZipCommon& Sender, const std::string& FileName,
                           const std::string& ExtendedMsg, int Code) {
  if (Code == vsk::msg::UserCanceled) {
    Cancelled = true;
    return;
  }
  const TKey key{ReaderOf(Sender), EntryKeyName(Sender, FileName, ExtendedMsg, Code)};
  const std::string text = CodeText(Code) + (ExtendedMsg.empty() ? std::string() : " (" + ExtendedMsg + ")");
  // About the archive itself, or after the last entry ended: the run's.
  const bool aboutArchive = FileName == Sender.ArchiveFile() && Code != vsk::msg::InvalidFileName;
  if (key == FLastKey && !(FHaveOpen && FOpenKey == key) && !aboutArchive && !FFailures.empty() &&
      FFailures.back().Name == key.Name) {
    // Told after the verdict of the entry that failed.
    if (FFailures.back().Reason.find(text) == std::string::npos) FFailures.back().Reason += "; " + text;
    return;
  }
  if (aboutArchive || key.Name.empty() || (key == FLastKey && !(FHaveOpen && FOpenKey == key))) {
    Commit();
    FRunErrors.push_back(text);
    return;
  }
  if (FHaveOpen && !(FOpenKey == key)) Commit();
  if (!FHaveOpen) {
    FHaveOpen = true;
    FOpenKey = key;
    FOpen = TEntryResult();
    FOpen.Name = key.Name;
  }
  // What the reader has decided stands; before it decides, the code tells.
  vsk::TEntryOutcome outcome = ReaderOutcome(Sender);
  if (outcome == vsk::eoPending || outcome == vsk::eoWritten || outcome == vsk::eoSkipped)
    outcome = OutcomeOfCode(Code);
  if (outcome == vsk::eoPending && FOpen.Outcome != vsk::eoPending) return;
  FOpen.Outcome = outcome;
  FOpen.Code = Code;
  const vsk::TUnBase* reader = ReaderOf(Sender);
  // Where the reader knows why (the system's reason, the kind of link), that is the reason.
  FOpen.Reason = (outcome == vsk::eoCannotWrite || outcome == vsk::eoRefusedLink) && reader &&
                         !reader->EntryOutcomeReason.empty()
                     ? reader->EntryOutcomeReason
                     : CodeText(Code);
}

void TRunResult::NoteEnd(const vsk::TZipCommon& Sender, const std::string& FileName, bool Pass) {
  const TKey key{ReaderOf(Sender), EntryKeyName(Sender, FileName, {}, 0)};
  if (FHaveOpen && !(FOpenKey == key)) Commit();
  // A folder entry is no file extracted.
  if (Pass && ((!key.Name.empty() && (key.Name.back() == '/' || key.Name.back() == '\\')) || IsFolder(FileName))) {
    FHaveOpen = false;
    FLastKey = key;
    return;
  }
  const vsk::TUnBase* reader = ReaderOf(Sender);
  TEntryResult entry = FHaveOpen ? FOpen : TEntryResult();
  if (!FHaveOpen) entry.Name = key.Name;
  FHaveOpen = false;
  vsk::TEntryOutcome outcome = ReaderOutcome(Sender);
  if (outcome == vsk::eoPending || outcome == vsk::eoSkipped || (outcome == vsk::eoWritten && !Pass))
    outcome = Pass                               ? vsk::eoWritten
              : entry.Outcome != vsk::eoPending    ? entry.Outcome
              : reader && reader->EntryEncrypted && reader->PasswordFailed ? vsk::eoEncrypted
                                                   : vsk::eoFailedCheck;
  if (outcome != entry.Outcome && entry.Code != 0 && OutcomeOfCode(entry.Code) != outcome &&
      OutcomeOfCode(entry.Code) != vsk::eoPending)
    entry.Reason.clear();
  entry.Outcome = outcome;
  if ((outcome == vsk::eoCannotWrite || outcome == vsk::eoRefusedLink) && reader &&
      !reader->EntryOutcomeReason.empty())
    entry.Reason = reader->EntryOutcomeReason;
  if (entry.Reason.empty()) entry.Reason = DefaultReason(outcome);
  Record(entry);
  FLastKey = key;
}

void TRunResult::NoteRunError(const std::string& Text) {
  Commit();
  FRunErrors.push_back(Text);
}

void TRunResult::Finish(bool WasCancelled) {
  Commit();
  Ran = true;
  if (WasCancelled) Cancelled = true;
}

void TRunResult::Commit() {
  if (!FHaveOpen) return;
  FHaveOpen = false;
  FLastKey = FOpenKey;
  if (FOpen.Outcome == vsk::eoPending)
    FRunErrors.push_back(FOpen.Reason + " (" + FOpen.Name + ")");
  else
    Record(FOpen);
}

void TRunResult::Record(const TEntryResult& Entry) {
  ++FCounts[Entry.Outcome];
  if (LeftOut(Entry.Outcome)) FFailures.push_back(Entry);
}

std::string OutcomeLines(const TRunResult& Result) {
  static const std::pair<vsk::TEntryOutcome, const char*> kLines[] = {
      {vsk::eoEncrypted, msgtext::kLeftOutEncrypted},         {vsk::eoCannotWrite, msgtext::kLeftOutCannotWrite},
      {vsk::eoRefusedName, msgtext::kLeftOutRefusedName},     {vsk::eoRefusedVolume, msgtext::kLeftOutRefusedVolume},
      {vsk::eoUnsupported, msgtext::kLeftOutUnsupported},     {vsk::eoFailedCheck, msgtext::kLeftOutFailedCheck},
      {vsk::eoRefusedLink, msgtext::kLeftOutLinks},
  };
  std::string text;
  const auto line = [&text](const std::string& Line) { text += (text.empty() ? "" : "\r\n") + Line; };
  for (const auto& [outcome, label] : kLines) {
    int n = 0;
    std::string reason;
    for (const TEntryResult& e : Result.Failures())
      if (e.Outcome == outcome && n++ == 0) reason = e.Reason;
    if (n > 0) line(label + std::to_string(n) + (reason.empty() ? std::string() : " (" + reason + ")"));
  }
  for (const std::string& e : Result.RunErrors()) line(e);
  return text;
}

namespace {

// The count of files on the disk, and the kept files by name.
std::string LandedText(const TRunResult& Result) {
  std::string text = std::to_string(Result.Landed());
  for (const std::string& kept : Result.Kept()) text += std::string("\r\n") + msgtext::kKeptFile + kept;
  return text;
}

}  // namespace

std::string ExtractResultText(const TRunResult& Result, bool ConfirmDecompress, bool& IsError) {
  const std::string written = LandedText(Result);
  IsError = false;
  if (Result.Cancelled) return msgtext::kExtractCancelled + written;
  if (!Result.Failed()) return ConfirmDecompress ? msgtext::kExtractCompleted + written : std::string();
  IsError = true;
  // The program's own messages where one kind of failure is all there is.
  bool passwords = Result.RunErrors().empty(), checks = Result.RunErrors().empty();
  for (const TEntryResult& e : Result.Failures()) {
    passwords = passwords && e.Outcome == vsk::eoEncrypted && e.Code != vsk::msg::EncryptedNotSupported;
    checks = checks && e.Outcome == vsk::eoFailedCheck;
  }
  if (passwords) return msgtext::kExtractPasswordError + written;
  if (checks) return msgtext::kExtractCrcError + written;
  return std::string(Result.Written() == 0 ? msgtext::kExtractNothing : msgtext::kExtractIncomplete) + "\r\n\r\n" +
         OutcomeLines(Result) + "\r\n\r\n" + msgtext::kFilesExtracted + written;
}

std::string LeftOutNames(const TRunResult& Result, const std::string& Separator, std::size_t Limit) {
  std::string text;
  const auto add = [&](const std::string& Part) { text += (text.empty() ? "" : Separator) + Part; };
  const std::vector<TEntryResult>& failures = Result.Failures();
  for (std::size_t i = 0; i < failures.size() && i < Limit; ++i)
    add(failures[i].Name + " (" + failures[i].Reason + ")");
  if (failures.size() > Limit) add(msgtext::kAndMore + std::to_string(failures.size() - Limit));
  for (const std::string& e : Result.RunErrors()) add(e);
  return text;
}

std::string ScanResultText(const TRunResult& Result, bool Scanned, bool& IsError) {
  IsError = true;
  const std::string why =
      Result.Cancelled ? std::string(vsk::MessageText(vsk::msg::UserCanceled)) : OutcomeLines(Result);
  if (!Scanned) return std::string(msgtext::kScanNotDone) + "\r\n\r\n" + why;
  if (Result.Failed() || Result.Cancelled)
    return std::string(msgtext::kScanIncomplete) + "\r\n\r\n" + why + "\r\n\r\n" + msgtext::kFilesScanned +
           std::to_string(Result.Written());
  IsError = false;
  return msgtext::kScanCompleted;
}

std::vector<std::string> FailureListing(const TRunResult& Result, const std::string& Title) {
  std::vector<std::string> lines{Title};
  for (const TEntryResult& e : Result.Failures()) lines.push_back("> " + e.Name + " ... " + e.Reason);
  for (const std::string& e : Result.RunErrors()) lines.push_back("> " + e);
  return lines;
}

}  // namespace brevane
