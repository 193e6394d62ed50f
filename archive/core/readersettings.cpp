// Handing a reader the options of its run in one step.

#include "archive/core/unbase.h"

namespace vsk {

namespace {

template <class T, class TSet>
void Put(const std::optional<T>& Value, TSet Set) {
  if (Value) Set(*Value);
}

}  // namespace

TReaderSettings TReaderSettings::Shared(TZipCommon& Source) {
  TReaderSettings s;
  s.TranslateOemChar = Source.TranslateOemChar;
  s.TempDir = Source.TempDir();
  s.Passwords = Source.Passwords;
  s.PasswordAttempts = Source.PasswordAttempts;
  s.ThreadCount = Source.ThreadCount;
  return s;
}

TReaderSettings TReaderSettings::Extraction(TUnBase& Source) {
  TReaderSettings s = Shared(Source);
  s.ExtractDir = Source.ExtractDir();
  s.UseStoredDirs = Source.UseStoredDirs;
  s.CreateStoredDirs = Source.CreateStoredDirs;
  s.ConfirmOverwrites = Source.ConfirmOverwrites;
  s.OverwriteMode = Source.OverwriteMode;
  s.DateAttribute = Source.DateAttribute;
  s.RestoreFileAttr = Source.RestoreFileAttr;
  return s;
}

void TReaderSettings::ApplyTo(TUnBase& R) const {
  // An empty folder would make the reader pick one of its own.
  if (ExtractDir && !ExtractDir->empty()) R.SetExtractDir(*ExtractDir);
  if (TempDir && !TempDir->empty()) R.SetTempDir(*TempDir);
  Put(UseStoredDirs, [&](bool V) { R.UseStoredDirs = V; });
  Put(CreateStoredDirs, [&](bool V) { R.CreateStoredDirs = V; });
  Put(ConfirmOverwrites, [&](bool V) { R.ConfirmOverwrites = V; });
  Put(OverwriteMode, [&](TOverwriteMode V) { R.OverwriteMode = V; });
  Put(RestoreFileAttr, [&](bool V) { R.RestoreFileAttr = V; });
  Put(DateAttribute, [&](TDateAttribute V) { R.DateAttribute = V; });
  Put(TranslateOemChar, [&](bool V) { R.TranslateOemChar = V; });
  Put(AsciiTranslation, [&](bool V) { R.AsciiTranslation = V; });
  Put(Passwords, [&](const std::vector<std::string>& V) { R.Passwords = V; });
  Put(PasswordAttempts, [&](int V) { R.PasswordAttempts = V; });
  Put(FileSpec, [&](const std::vector<std::string>& V) { R.FileSpec = V; });
  Put(RecurseDirs, [&](bool V) { R.RecurseDirs = V; });
  Put(ThreadCount, [&](int V) { R.ThreadCount = V; });
}

}  // namespace vsk
