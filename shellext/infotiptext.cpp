#include "shellext/infotiptext.h"

#include <sys/stat.h>

#include <clocale>
#include <cmath>
#include <ctime>

#include "archive/core/arctype.h"
#include "base/messages.h"
#include "archive/core/numbers.h"
#include "platform/registry.h"

namespace hovelin {

namespace {

std::string Trimmed(std::string_view Text) {
  std::size_t a = 0, b = Text.size();
  while (a < b && static_cast<unsigned char>(Text[a]) <= ' ') ++a;
  while (b > a && static_cast<unsigned char>(Text[b - 1]) <= ' ') --b;
  return std::string(Text.substr(a, b - a));
}

// The locale's separator; "," where the locale has none.
std::string ThousandsSeparator() {
  const std::lconv* lc = std::localeconv();
  return lc && lc->thousands_sep && *lc->thousands_sep ? std::string(lc->thousands_sep) : std::string(",");
}

// The file's last change in the user's short date and long time forms.
std::string ModifiedText(const std::string& FileName) {
  struct stat st;
  if (stat(FileName.c_str(), &st) != 0) return {};
  std::tm local{};
  const std::time_t t = st.st_mtime;
  if (!localtime_r(&t, &local)) return {};
  char text[128];
  const std::size_t n = std::strftime(text, sizeof text, "%x %X", &local);
  return std::string(text, n);
}

vsk::Int64 FileSize(const std::string& FileName) {
  struct stat st;
  return stat(FileName.c_str(), &st) == 0 ? static_cast<vsk::Int64>(st.st_size) : 0;
}

}  // namespace

bool ReadTipSetting(const std::string& Name) {
  try {
    vsk::TRegistry reg(vsk::HKEY_CURRENT_USER);
    if (!reg.OpenKeyReadOnly(kSettingsKey)) return false;
    return reg.ReadBool(Name);
  } catch (const std::exception&) {
    // A value missing or of another type reads as switched off.
    return false;
  }
}

int ReadTipInteger(const std::string& Name) {
  try {
    vsk::TRegistry reg(vsk::HKEY_CURRENT_USER);
    if (!reg.OpenKeyReadOnly(kSettingsKey)) return -1;
    return reg.ReadInteger(Name);
  } catch (const std::exception&) {
    return -1;
  }
}

std::string FormatSize(double Value, const std::string& Separator) {
  if (!std::isfinite(Value)) return "0";
  const bool negative = Value < 0;
  // Fifteen significant digits, as far as a double carries them.
  char digits[64];
  std::snprintf(digits, sizeof digits, "%.0f", std::fabs(std::round(Value)));
  const std::string d = digits;
  std::string out = negative ? "-" : "";
  for (std::size_t i = 0; i < d.size(); ++i) {
    if (i > 0 && (d.size() - i) % 3 == 0) out += Separator;
    out += d[i];
  }
  return out;
}

TZipEventHandlers::TZipEventHandlers() {
  ShowListing = ReadTipSetting("itShowListingInfo");
  MaxFiles = ReadTipInteger("MaxFilesInfo");
}

void TZipEventHandlers::Attach(vsk::TVorsk& Lister) {
  Lister.OnRead = [this](vsk::TZipCommon& Sender, vsk::Int64, int Filenum) {
    OnRead(static_cast<vsk::TVorsk&>(Sender), Filenum);
  };
  Lister.OnTotals = [this](vsk::TZipCommon& Sender, double Unpack, double Pack, int Ratio, int NumFiles) {
    OnTotals(static_cast<vsk::TVorsk&>(Sender), Unpack, Pack, Ratio, NumFiles);
  };
  Lister.OnError = [this](vsk::TZipCommon&, const std::string&, const std::string&, const std::string&,
                          int ECode) { OnError(ECode); };
  Lister.OnNextVolume = [this](vsk::TZipCommon&, std::string&, const std::string&, bool, bool& Cancel) {
    OnNextVolume(Cancel);
  };
  Lister.OnCorruptZipHeader = [this](vsk::TZipCommon&, vsk::Byte, bool&) { OnCorruptZipHeader(); };
}

void TZipEventHandlers::OnCorruptZipHeader() {
  Text = kDoubleClickToView;
  Stop = true;
}

void TZipEventHandlers::OnError(int ECode) {
  if (VolumeCancelled && ECode == vsk::msg::UserCanceled) return;
  Text = kDoubleClickToView;
  Stop = true;
}

void TZipEventHandlers::OnNextVolume(bool& Cancel) {
  Text += "\r\n";
  Text += kMultiVolume;
  Cancel = true;
  VolumeCancelled = true;
}

void TZipEventHandlers::OnRead(vsk::TVorsk& Sender, int Filenum) {
  if (!vsk::IsValidArcType(Sender.ArcType())) {
    Text = kBadArchiveType;
    return;
  }
  if (!ShowListing) return;
  if (Filenum == 1) Text += kFilesListing;
  if (Filenum <= MaxFiles) {
    const auto slash = Sender.FileName.find_last_of('/');
    Text += "\r\n- " + (slash == std::string::npos ? Sender.FileName : Sender.FileName.substr(slash + 1));
  } else if (static_cast<vsk::Int64>(Filenum) == static_cast<vsk::Int64>(MaxFiles) + 1) {
    Text += "\r\n";
    Text += kMoreFiles;
  }
}

void TZipEventHandlers::OnTotals(vsk::TVorsk& Sender, double UnpackSize, double PackSize, int Ratio, int NumFiles) {
  if (Stop) return;
  // A file of no archive type lists nothing: a summary of zeros would
  // describe an archive that is not there.
  if (!vsk::IsValidArcType(Sender.ArcType())) {
    Text = kBadArchiveType;
    return;
  }
  const std::string sep = ThousandsSeparator();
  const std::string archive = Trimmed(Sender.ArchiveFile());
  const bool byArchive = vsk::ArcTypeRow(Sender.ArcType()).PackedByArchive;
  std::string summary;
  const auto line = [&summary](const std::string& Line) {
    if (!summary.empty()) summary += "\r\n";
    summary += Line;
  };
  if (ReadTipSetting("itArcTypeInfo")) line("Archive Type: " + Trimmed(vsk::ArcTypeName(Sender.ArcType())));
  if (ReadTipSetting("itDateInfo")) line("Modified Date: " + ModifiedText(archive));
  if (ReadTipSetting("itPackedSizeInfo")) {
    // The archive's own size stands for its packed size when its entries have none.
    const double packed = byArchive ? static_cast<double>(static_cast<vsk::UInt32>(FileSize(archive))) : PackSize;
    line("Packed Size: " + FormatSize(packed, sep) + " bytes");
  }
  if (ReadTipSetting("itUnpackedSizeInfo")) line("Unpacked Size: " + FormatSize(UnpackSize, sep) + " bytes");
  if (ReadTipSetting("itNumFilesInfo")) line("Files in Archive: " + std::to_string(NumFiles));
  if (ReadTipSetting("itRatioInfo")) {
    const int ratio =
        byArchive ? vsk::CompressRatio(static_cast<double>(FileSize(archive)), Sender.UnpackedTotal) : Ratio;
    line("Compression Ratio: " + std::to_string(ratio) + "%");
  }
  if (!summary.empty() && !Text.empty()) summary += "\r\n";
  Text = summary + Text;
}

std::string BuildTipText(const std::string& FileName, vsk::TVorsk& Lister) {
  if (FileName.empty()) return {};
  TZipEventHandlers handlers;
  try {
    try {
      Lister.SetArchiveFile(FileName);
    } catch (const std::exception&) {
      // An unreadable file: the listing below reports it.
    }
    Lister.FileSpec.clear();
    Lister.FileSpec.push_back("*.*");
    handlers.Attach(Lister);
    // A missing file reaches OnError from here too.
    Lister.Activate();
  } catch (...) {
    // Nothing may leave the text builder.
  }
  // The handlers die with this build: the lister must not keep them.
  Lister.OnRead = nullptr;
  Lister.OnTotals = nullptr;
  Lister.OnError = nullptr;
  Lister.OnNextVolume = nullptr;
  Lister.OnCorruptZipHeader = nullptr;
  return handlers.Text;
}

}  // namespace hovelin
