#include "app/main/viewtexts.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "app/main/formatsettings.h"
#include "app/main/wildcard.h"
#include "archive/core/compbase.h"
#include "archive/core/numbers.h"
#include "archive/formats/lister/vorsk.h"
#include "base/textcase.h"

namespace brevane {

namespace {

constexpr std::array<TColumnDef, kViewColumnCount> kColumns{{
    {vcFileName, "File Name", 120, false, nullptr, "File Name"},
    {vcDate, "Date", 100, false, &TOptions::ColDate, "Date"},
    {vcPacked, "Packed", 75, true, &TOptions::ColPacked, "Packed"},
    {vcUnpacked, "Unpacked", 75, true, &TOptions::ColUnpacked, "Unpacked"},
    {vcRatio, "Ratio", 70, true, &TOptions::ColRatio, "Ratio"},
    {vcMethod, "Method", 90, false, &TOptions::ColMethod, "Method"},
    {vcAttr, "Attr", 60, false, &TOptions::ColAttributes, "Attributes"},
    {vcFolder, "Folder", 150, false, &TOptions::ColPath, "Folder"},
    {vcFileType, "File Type", 120, false, &TOptions::ColFileType, "File Type"},
    {vcCRC, "CRC", 90, false, &TOptions::ColCRC, "CRC"},
    {vcFileOffset, "File Offset", 90, true, &TOptions::ColFileOffset, "File Offset"},
    {vcEncrypted, "Encrypted", 60, false, &TOptions::ColEncrypted, "Encrypted"},
    {vcVolumeID, "Volume ID", 120, false, &TOptions::ColVolumeID, "Volume ID"},
    {vcFileComment, "File Comment", 120, false, &TOptions::ColFileComment, "File Comment"},
}};

std::string DropLast(const std::string& s) { return s.empty() ? s : s.substr(0, s.size() - 1); }

int Sign(vsk::Int64 v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

}  // namespace

const std::array<TColumnDef, kViewColumnCount>& ColumnDefs() { return kColumns; }

const TColumnDef& ColumnDef(TViewColumn Column) { return kColumns[static_cast<std::size_t>(Column)]; }

std::vector<TViewColumn> ShownColumns(const TOptions& Options) {
  std::vector<TViewColumn> shown;
  for (const auto& c : kColumns)
    if (!c.Setting || Options.*c.Setting) shown.push_back(c.Column);
  return shown;
}

TItemData MakeItemData(const vsk::TVorsk& Vorsk) {
  TItemData d;
  d.Date = DateTimeToStr(Vorsk.FileDate);
  d.Packed = std::to_string(Vorsk.PackedSize);
  d.Unpacked = std::to_string(Vorsk.UnpackedSize);
  d.Ratio = std::to_string(static_cast<int>(Vorsk.Ratio)) + "%";
  d.Folder = vsk::PathFolderPart(Vorsk.FileName);
  return d;
}

std::string CellText(TViewColumn Column, const vsk::TVorsk& Vorsk, const TItemData& Data, vsk::Int64 Offset,
                     const std::string& TypeName) {
  switch (Column) {
    case vcFileName:
      return vsk::PathFilePart(Vorsk.FileName);
    case vcDate:
      return Data.Date;
    case vcPacked:
      return Data.Packed;
    case vcUnpacked:
      return Data.Unpacked;
    case vcRatio:
      return Data.Ratio;
    case vcMethod:
      return Vorsk.MethodText;
    case vcAttr:
      return Vorsk.AttrToString(Vorsk.ExternalAttr, '_', Vorsk.HostSystem) + " (" + std::to_string(Vorsk.ExternalAttr) +
             ")";
    case vcFolder:
      return Data.Folder;
    case vcFileType:
      return TypeName;
    case vcCRC: {
      char buf[9];
      std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(Vorsk.CRC));
      return buf;
    }
    case vcFileOffset:
      return std::to_string(Offset);
    case vcEncrypted:
      return Vorsk.Encrypted ? "Yes" : "No";
    case vcVolumeID:
      return Vorsk.VolumeName;
    case vcFileComment:
      return Vorsk.FileComment;
  }
  return {};
}

void NoteSetupFile(std::string& SetupFile, const std::string& Name, const std::string& Folder) {
  if (!Folder.empty()) return;
  const std::string up = vsk::AsciiUpperCase(Name);
  if (up != "SETUP.EXE" && up != "INSTALL.EXE") return;
  if (SetupFile.empty())
    SetupFile = Name;
  else if (vsk::AsciiUpperCase(SetupFile) == "INSTALL.EXE" && up == "SETUP.EXE")
    SetupFile = Name;
}

TSortRule SortRuleFor(const std::string& Caption) {
  if (Caption == "File Name") return srCaption;
  if (Caption == "Date") return srDate;
  if (Caption == "Packed" || Caption == "Unpacked" || Caption == "File Offset") return srInteger;
  if (Caption == "Ratio") return srRatio;
  if (Caption == "Folder") return srFolder;
  return srText;
}

vsk::Int64 CellNumber(const std::string& Text) {
  vsk::Int64 v = 0;
  const char* b = Text.data();
  const char* e = b + Text.size();
  while (b < e && *b == ' ') ++b;
  const auto r = std::from_chars(b, e, v);
  return r.ec == std::errc() ? v : 0;
}

TSortKey MakeSortKey(TSortRule Rule, const std::string& Text) {
  TSortKey k;
  switch (Rule) {
    case srDate: {
      vsk::TDateTime d = 0;
      if (TryStrToDateTime(Text, d)) k.Date = d;
      break;
    }
    case srInteger:
      k.Number = CellNumber(Text);
      break;
    case srRatio:
      k.Number = CellNumber(DropLast(Text));
      break;
    case srFolder:
      k.Text = vsk::AsciiUpperCase(DropLast(Text));
      break;
    case srCaption:
    case srText:
      k.Text = vsk::AsciiUpperCase(Text);
      break;
  }
  return k;
}

int CompareKeys(TSortRule Rule, const TSortKey& A, const TSortKey& B) {
  switch (Rule) {
    case srDate: {
      constexpr double kMillisecond = 1.0 / 86400000.0;
      const double diff = A.Date - B.Date;
      if (std::fabs(diff) < kMillisecond) return 0;
      return diff < 0 ? -1 : 1;
    }
    case srInteger:
    case srRatio:
      return A.Number < B.Number ? -1 : A.Number > B.Number ? 1 : 0;
    case srCaption:
    case srFolder:
    case srText:
      return Sign(A.Text.compare(B.Text));
  }
  return 0;
}

int CompareCells(TSortRule Rule, const std::string& A, const std::string& B) {
  return CompareKeys(Rule, MakeSortKey(Rule, A), MakeSortKey(Rule, B));
}

std::string FilesText(vsk::Int64 Count) { return std::to_string(Count) + (Count > 1 ? " files" : " file"); }

std::string MegabytesText(vsk::Int64 Bytes) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(Bytes) / 1048576.0);
  return std::string(buf) + " MB";
}

std::string TypeNameText(vsk::TArcType Type) {
  std::string name(vsk::ArcTypeName(Type));
  while (!name.empty() && static_cast<unsigned char>(name.back()) <= ' ') name.pop_back();
  while (!name.empty() && static_cast<unsigned char>(name.front()) <= ' ') name.erase(name.begin());
  return name;
}

TTotalsTexts MakeTotalsTexts(vsk::TArcType Type, vsk::Int64 Count, vsk::Int64 Packed, vsk::Int64 Unpacked) {
  TTotalsTexts t;
  t.ArcType = TypeNameText(Type);
  t.RatioPosition = vsk::CompressRatio(static_cast<double>(Packed), static_cast<double>(Unpacked));
  t.Ratio = "Ratio: " + std::to_string(t.RatioPosition) + "%";
  t.Files = FilesText(Count);
  t.Packed = "Packed: " + MegabytesText(Packed);
  t.Unpacked = "Unpacked: " + MegabytesText(Unpacked);
  return t;
}

std::vector<std::pair<std::string, bool>> EnableMenusTable(vsk::TArcType Type, bool HaveSetupFile) {
  using namespace vsk;
  const bool valid = IsValidArcType(Type);
  std::vector<std::pair<std::string, bool>> t;
  for (const char* name :
       {"acCloseArchive", "acMoveArchive",       "acCopyArchive", "acRenameArchive", "acDeleteArchive", "acProperties",
        "acPrint",        "miExportContentList", "acMailArchive", "acRefresh",       "acViewSelected",  "acSelectAll",
        "acDeselectAll",  "acInvertSelection",   "acSelectGroup", "acDeselectGroup", "miSort",          "acSearch",
        "acVirusScan",    "acCheckOut",          "sbProperties"})
    t.emplace_back(name, valid);
  t.emplace_back("acInstall", valid && HaveSetupFile);
  t.emplace_back("acMakeSFX", !ArcTypeRow(Type).SfxStub.empty());
  t.emplace_back("acPassword", ArcTypeCanEncrypt(Type));
  // Files are added to a cabinet by rebuilding it. Its writer refuses to
  // delete entries, and the window says so when asked.
  const bool writable = ArcTypeHasWriter(Type);
  t.emplace_back("acAdd", writable);
  t.emplace_back("acDelete", writable);
  t.emplace_back("acTest", ArcTypeCanTest(Type));
  t.emplace_back("acExtract", ArcTypeHasExtractor(Type));
  const bool comment = ArcTypeRow(Type).CommentShown;
  t.emplace_back("acViewComment", comment);
  t.emplace_back("sbViewComments", comment);
  return t;
}

TLVExtendedStyles ExtendedStylesFor(const TOptions& Options) {
  TLVExtendedStyles s;
  if (Options.FullRowSelect) s.Include(lvxFullRowSelect);
  if (Options.ShowGridLines) s.Include(lvxGridLines);
  if (Options.DoubleClickSel) {
    s.Include(lvxHeaderDragDrop).Include(lvxInfoTip);
  } else if (Options.MouseSelection >= 1 && Options.MouseSelection <= 3) {
    s.Include(lvxTrackSelect).Include(lvxHeaderDragDrop).Include(lvxOneClickActivate).Include(lvxInfoTip);
    if (Options.MouseSelection == 1 || Options.MouseSelection == 3) s.Include(lvxUnderlineHot);
    if (Options.MouseSelection == 3) s.Include(lvxUnderlineCold);
  }
  return s;
}

unsigned ExtendedStyleBits(const TLVExtendedStyles& Styles) {
  unsigned bits = 0;
  for (int i = lvxGridLines; i <= lvxUnderlineCold; ++i)
    if (Styles.Contains(static_cast<TLVExtendedStyle>(i))) bits |= 1u << i;
  return bits;
}

std::vector<TToolbarButton> ToolbarButtons(const TOptions& o) {
  const std::pair<bool, TToolbarButton> all[] = {
      {o.BtnNewArchive, {"New", "acNewArchive"}},
      {o.BtnOpenArchive, {"Open", "acOpenArchive"}},
      {o.BtnCloseArchive, {"Close", "acCloseArchive"}},
      {o.BtnExtractFiles, {"Extract", "acExtract"}},
      {o.BtnAddFiles, {"Add", "acAdd"}},
      {o.BtnDeleteFiles, {"Delete", "acDelete"}},
      {o.BtnViewFiles, {"View", "acViewSelected"}},
      {o.BtnCheckOut, {"CheckOut", "acCheckOut"}},
      {o.BtnInstall, {"Install", "acInstall"}},
      {o.BtnWizard, {"Wizard", "acWizard"}},
      {o.BtnTestArchive, {"Test", "acTest"}},
      {o.BtnVirusScan, {"Scan", "acVirusScan"}},
      {o.BtnMakeExe, {"Make .Exe", "acMakeSFX"}},
      {o.BtnExplorer, {"Explorer", "acExplorerView"}},
      {o.BtnFilter, {"Filter", "acShowFilter"}},
      {o.BtnProperties, {"Properties", "acProperties"}},
      {o.BtnComment, {"Comment", "acViewComment"}},
      {o.BtnPrintContentList, {"Print", "acPrint"}},
      {o.BtnConfiguration, {"Config", "acConfiguration"}},
      {o.BtnHelp, {"Help", "acHelpContents"}},
      {o.BtnExit, {"Exit", "acExit"}},
  };
  std::vector<TToolbarButton> r;
  for (const auto& [on, b] : all)
    if (on) r.push_back(b);
  return r;
}

bool GroupMaskMatches(const std::string& Caption, const std::string& Mask) {
  return WildcardMatch(vsk::AsciiUpperCase(Caption), vsk::AsciiUpperCase(Mask));
}

}  // namespace brevane
