#include "app/main/viewtexts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "app/main/formatsettings.h"
#include "base/dates.h"
#include "archive/formats/lister/vorsk.h"

namespace brevane {
namespace {

// A lister whose type and current entry a test sets directly.
struct TFakeVorsk : vsk::TVorsk {
  void SetType(vsk::TArcType T) { FArcType = T; }
};

std::vector<std::string> Captions(const std::vector<TViewColumn>& Columns) {
  std::vector<std::string> out;
  for (auto c : Columns) out.push_back(ColumnDef(c).Caption);
  return out;
}

TEST(ViewColumns, ShownByTheViewSettingsInTableOrder) {
  TOptions o;
  EXPECT_EQ(Captions(ShownColumns(o)),
            (std::vector<std::string>{"File Name", "Date", "Packed", "Unpacked", "Ratio", "Folder"}));
  for (const auto& c : ColumnDefs())
    if (c.Setting) o.*c.Setting = false;
  EXPECT_EQ(Captions(ShownColumns(o)), (std::vector<std::string>{"File Name"}));
  for (const auto& c : ColumnDefs())
    if (c.Setting) o.*c.Setting = true;
  EXPECT_EQ(Captions(ShownColumns(o)),
            (std::vector<std::string>{"File Name", "Date", "Packed", "Unpacked", "Ratio", "Method", "Attr", "Folder",
                                      "File Type", "CRC", "File Offset", "Encrypted", "Volume ID", "File Comment"}));
  o.ColDate = false;
  o.ColFileOffset = false;
  const auto shown = Captions(ShownColumns(o));
  EXPECT_EQ(std::count(shown.begin(), shown.end(), "Date"), 0);
  EXPECT_EQ(shown.size(), 12u);

  // Widths, alignment and the sort menu's texts.
  EXPECT_EQ(ColumnDef(vcFileName).Width, 120);
  EXPECT_EQ(ColumnDef(vcFolder).Width, 150);
  EXPECT_EQ(ColumnDef(vcAttr).Width, 60);
  EXPECT_TRUE(ColumnDef(vcPacked).RightAligned);
  EXPECT_TRUE(ColumnDef(vcFileOffset).RightAligned);
  EXPECT_FALSE(ColumnDef(vcCRC).RightAligned);
  EXPECT_STREQ(ColumnDef(vcAttr).SortCaption, "Attributes");
  EXPECT_STREQ(ColumnDef(vcFolder).SortCaption, "Folder");
}

TEST(ViewColumns, EntryNameAndFolder) {
  EXPECT_EQ(vsk::PathFilePart("docs/sub/a.txt"), "a.txt");
  EXPECT_EQ(vsk::PathFolderPart("docs/sub/a.txt"), "docs/sub/");
  EXPECT_EQ(vsk::PathFilePart("a.txt"), "a.txt");
  EXPECT_EQ(vsk::PathFolderPart("a.txt"), "");
  EXPECT_EQ(vsk::PathFilePart("docs/"), "");
  EXPECT_EQ(vsk::PathFolderPart("docs/"), "docs/");
}

TEST(ViewCells, RowRecordAndCellTexts) {
  const TFormatSettings saved = FormatSettings;
  FormatSettings = TFormatSettings{};
  FormatSettings.DateSeparator = '-';
  TFakeVorsk v;
  v.SetType(vsk::atZip);
  v.FileName = "docs/report.txt";
  v.FileDate = vsk::EncodeDate(2021, 6, 15) + vsk::EncodeTime(10, 30, 0, 0);
  v.PackedSize = 3000000000LL;
  v.UnpackedSize = 5000000000LL;
  v.Ratio = 40;
  v.CRC = 0x0badf00d;
  v.Encrypted = true;
  v.ExternalAttr = 0x20;
  v.MethodText = "Deflated";
  v.VolumeName = "/tmp/x.zip";
  v.FileComment = "note";
  const TItemData d = MakeItemData(v);
  EXPECT_EQ(d.Date, "2021-06-15 10:30");
  EXPECT_EQ(d.Packed, "3000000000");
  EXPECT_EQ(d.Unpacked, "5000000000");
  EXPECT_EQ(d.Ratio, "40%");
  EXPECT_EQ(d.Folder, "docs/");
  EXPECT_EQ(CellText(vcFileName, v, d, 0, ""), "report.txt");
  EXPECT_EQ(CellText(vcCRC, v, d, 0, ""), "0BADF00D");
  EXPECT_EQ(CellText(vcFileOffset, v, d, 4294967296LL, ""), "4294967296");
  EXPECT_EQ(CellText(vcEncrypted, v, d, 0, ""), "Yes");
  EXPECT_EQ(CellText(vcMethod, v, d, 0, ""), "Deflated");
  EXPECT_EQ(CellText(vcFileType, v, d, 0, "Plain text document"), "Plain text document");
  EXPECT_EQ(CellText(vcVolumeID, v, d, 0, ""), "/tmp/x.zip");
  EXPECT_EQ(CellText(vcFileComment, v, d, 0, ""), "note");
  const std::string attr = CellText(vcAttr, v, d, 0, "");
  EXPECT_EQ(attr.substr(attr.size() - 5), " (32)");
  EXPECT_EQ(attr.substr(0, attr.size() - 5), v.AttrToString(0x20, '_'));
  v.Encrypted = false;
  EXPECT_EQ(CellText(vcEncrypted, v, d, 0, ""), "No");

  // A cabinet's entries carry their shares of the folder's packed bytes.
  v.SetType(vsk::atCab);
  EXPECT_EQ(MakeItemData(v).Packed, "3000000000");
  FormatSettings = saved;
}

TEST(ViewCells, SetupProgramDetection) {
  std::string setup;
  NoteSetupFile(setup, "SETUP.EXE", "sub/");
  EXPECT_EQ(setup, "");
  NoteSetupFile(setup, "install.exe", "");
  EXPECT_EQ(setup, "install.exe");
  NoteSetupFile(setup, "readme.txt", "");
  EXPECT_EQ(setup, "install.exe");
  NoteSetupFile(setup, "Setup.exe", "");
  EXPECT_EQ(setup, "Setup.exe");
  NoteSetupFile(setup, "INSTALL.EXE", "");
  EXPECT_EQ(setup, "Setup.exe");
  std::string first;
  NoteSetupFile(first, "SETUP.EXE", "");
  NoteSetupFile(first, "setup.exe", "");
  EXPECT_EQ(first, "SETUP.EXE");
}

TEST(ViewSort, RulesFollowTheCaption) {
  EXPECT_EQ(SortRuleFor("File Name"), srCaption);
  EXPECT_EQ(SortRuleFor("Date"), srDate);
  EXPECT_EQ(SortRuleFor("Packed"), srInteger);
  EXPECT_EQ(SortRuleFor("Unpacked"), srInteger);
  EXPECT_EQ(SortRuleFor("File Offset"), srInteger);
  EXPECT_EQ(SortRuleFor("Ratio"), srRatio);
  EXPECT_EQ(SortRuleFor("Folder"), srFolder);
  for (const char* other : {"Method", "Attr", "File Type", "CRC", "Encrypted", "Volume ID", "File Comment"})
    EXPECT_EQ(SortRuleFor(other), srText) << other;

  // Numbers, not texts; 64-bit values compare by sign.
  EXPECT_LT(CompareCells(srInteger, "9", "10"), 0);
  EXPECT_GT(CompareCells(srInteger, "100", "10"), 0);
  EXPECT_EQ(CompareCells(srInteger, "42", "42"), 0);
  EXPECT_GT(CompareCells(srInteger, "6000000000", "5"), 0);
  EXPECT_LT(CompareCells(srInteger, "5", "6000000000"), 0);
  EXPECT_GT(CompareCells(srInteger, "9223372036854775807", "-9223372036854775807"), 0);
  EXPECT_LT(CompareCells(srRatio, "9%", "10%"), 0);
  EXPECT_EQ(CompareCells(srRatio, "0%", "0%"), 0);

  // Case-insensitive names and texts.
  EXPECT_EQ(CompareCells(srCaption, "README.txt", "readme.TXT"), 0);
  EXPECT_LT(CompareCells(srCaption, "apple", "Banana"), 0);
  EXPECT_LT(CompareCells(srText, "deflated", "Stored"), 0);

  // Folders without their trailing separator; empty ones come first.
  EXPECT_EQ(CompareCells(srFolder, "", ""), 0);
  EXPECT_LT(CompareCells(srFolder, "", "a/"), 0);
  EXPECT_EQ(CompareCells(srFolder, "Docs/", "docs/"), 0);
  EXPECT_LT(CompareCells(srFolder, "a/", "a-b/"), 0);
}

TEST(ViewSort, DatesCompareAsDateTimes) {
  const TFormatSettings saved = FormatSettings;
  FormatSettings = TFormatSettings{};
  FormatSettings.DateSeparator = '-';
  EXPECT_LT(CompareCells(srDate, "2020-12-31 23:59", "2021-01-01 00:00"), 0);
  EXPECT_LT(CompareCells(srDate, "2021-02-01 00:00", "2021-10-01 00:00"), 0);
  EXPECT_EQ(CompareCells(srDate, "2021-01-01 10:00", "2021-01-01 10:00"), 0);
  // As texts these would sort the other way.
  FormatSettings.ShortDateFormat = "m/d/yyyy";
  FormatSettings.ShortTimeFormat = "h:nn AMPM";
  EXPECT_LT(CompareCells(srDate, "9-30-2021 1:00 PM", "10-1-2021 9:00 AM"), 0);
  EXPECT_LT(CompareCells(srDate, "10-1-2021 11:59 AM", "10-1-2021 1:00 PM"), 0);
  FormatSettings = saved;
}

TEST(ViewTotals, Texts) {
  EXPECT_EQ(FilesText(0), "0 file");
  EXPECT_EQ(FilesText(1), "1 file");
  EXPECT_EQ(FilesText(2), "2 files");
  EXPECT_EQ(FilesText(100000), "100000 files");
  EXPECT_EQ(MegabytesText(0), "0.00 MB");
  EXPECT_EQ(MegabytesText(1048576), "1.00 MB");
  EXPECT_EQ(MegabytesText(1572864), "1.50 MB");
  // Above 2 and 4 GiB.
  EXPECT_EQ(MegabytesText(3221225472LL), "3072.00 MB");
  EXPECT_EQ(MegabytesText(6442450944LL + 5242880), "6149.00 MB");

  const TTotalsTexts t = MakeTotalsTexts(vsk::atZip, 3, 2500000000LL, 5000000000LL);
  EXPECT_EQ(t.ArcType, "ZIP");
  EXPECT_EQ(t.Ratio, "Ratio: 50%");
  EXPECT_EQ(t.RatioPosition, 50);
  EXPECT_EQ(t.Files, "3 files");
  EXPECT_EQ(t.Packed, "Packed: 2384.19 MB");
  EXPECT_EQ(t.Unpacked, "Unpacked: 4768.37 MB");
  EXPECT_EQ(MakeTotalsTexts(vsk::atTarGZip, 1, 10, 5).Ratio, "Ratio: 0%");
  EXPECT_EQ(MakeTotalsTexts(vsk::atTarGZip, 1, 0, 0).RatioPosition, 0);
  EXPECT_EQ(MakeTotalsTexts(vsk::atCab, 1, 1, 3).RatioPosition, 67);
  EXPECT_EQ(MakeTotalsTexts(vsk::atCab, 1, 0, 0).ArcType, "CAB");

  EXPECT_EQ(CellNumber("12345678901"), 12345678901LL);
  EXPECT_EQ(CellNumber(""), 0);
  EXPECT_EQ(CellNumber("abc"), 0);
}

TEST(EnableMenus, TablePerArchiveType) {
  using namespace vsk;
  const std::set<std::string> validOnly = {
      "acCloseArchive", "acMoveArchive",       "acCopyArchive", "acRenameArchive", "acDeleteArchive", "acProperties",
      "acPrint",        "miExportContentList", "acMailArchive", "acRefresh",       "acViewSelected",  "acSelectAll",
      "acDeselectAll",  "acInvertSelection",   "acSelectGroup", "acDeselectGroup", "miSort",          "acSearch",
      "acVirusScan",    "acCheckOut",          "sbProperties"};
  const TArcTypes sfx{atAce, atArj, atBh, atJar, atLha, atLzh, atRar, atZip};
  const TArcTypes encrypt{atBh, atJar, atZip};
  const TArcTypes writable{atBh, atCab, atGZip, atJar, atLha, atLzh, atTar, atZip};
  for (int i = 0; i < kArcTypeCount; ++i) {
    const auto t = static_cast<TArcType>(i);
    for (bool setup : {false, true}) {
      const auto table = EnableMenusTable(t, setup);
      std::set<std::string> names;
      for (const auto& [name, enabled] : table) {
        names.insert(name);
        const std::string where = name + " for type " + std::to_string(i);
        if (validOnly.count(name)) {
          EXPECT_EQ(enabled, IsValidArcType(t)) << where;
        }
        if (name == "acInstall") {
          EXPECT_EQ(enabled, IsValidArcType(t) && setup) << where;
        }
        if (name == "acMakeSFX") {
          EXPECT_EQ(enabled, sfx.Contains(t)) << where;
        }
        if (name == "acPassword") {
          EXPECT_EQ(enabled, encrypt.Contains(t)) << where;
        }
        if (name == "acAdd") {
          EXPECT_EQ(enabled, writable.Contains(t)) << where;
        }
        if (name == "acDelete") {
          EXPECT_EQ(enabled, writable.Contains(t)) << where;
        }
        if (name == "acTest") {
          EXPECT_EQ(enabled, ArcTypeCanTest(t)) << where;
        }
        if (name == "acExtract") {
          EXPECT_EQ(enabled, ArcTypeHasExtractor(t)) << where;
        }
        if (name == "acViewComment" || name == "sbViewComments") {
          EXPECT_EQ(enabled, t == atZip || t == atZipExe) << where;
        }
      }
      EXPECT_EQ(names.size(), table.size());
      EXPECT_EQ(table.size(), validOnly.size() + 9);
    }
  }
  // A few rows spelled out.
  const auto enabled = [](TArcType t, const std::string& name) {
    for (const auto& [n, e] : EnableMenusTable(t, false))
      if (n == name) return e;
    ADD_FAILURE() << name;
    return false;
  };
  EXPECT_TRUE(enabled(atCab, "acAdd"));
  // The cabinet writer refuses deletes itself, and the window says so.
  EXPECT_TRUE(enabled(atCab, "acDelete"));
  EXPECT_TRUE(enabled(atCab, "acTest"));
  EXPECT_TRUE(enabled(atCab, "acExtract"));
  EXPECT_TRUE(enabled(atJarExe, "acTest"));
  EXPECT_FALSE(enabled(atJarExe, "acExtract"));
  EXPECT_FALSE(enabled(atZipExe, "acAdd"));
  EXPECT_TRUE(enabled(atZipExe, "acViewComment"));
  EXPECT_FALSE(enabled(atUnknown, "acCloseArchive"));
  EXPECT_FALSE(enabled(atHA, "acExtract"));
  EXPECT_TRUE(enabled(atHA, "acCloseArchive"));
}

TEST(ListStyles, ExtendedStyleBits) {
  TOptions o;
  o.FullRowSelect = false;
  o.ShowGridLines = false;
  o.DoubleClickSel = true;
  EXPECT_EQ(ExtendedStyleBits(ExtendedStylesFor(o)), 0x210u);
  o.FullRowSelect = true;
  EXPECT_EQ(ExtendedStyleBits(ExtendedStylesFor(o)), 0x230u);
  o.ShowGridLines = true;
  EXPECT_EQ(ExtendedStyleBits(ExtendedStylesFor(o)), 0x231u);
  o.FullRowSelect = o.ShowGridLines = false;
  o.DoubleClickSel = false;
  const unsigned expected[] = {0, 0x658, 0x258, 0xE58, 0};
  for (int m = 0; m <= 4; ++m) {
    o.MouseSelection = m;
    EXPECT_EQ(ExtendedStyleBits(ExtendedStylesFor(o)), expected[m]) << m;
  }
  o.MouseSelection = -1;
  o.FullRowSelect = o.ShowGridLines = true;
  EXPECT_EQ(ExtendedStyleBits(ExtendedStylesFor(o)), 0x21u);
}

TEST(Toolbar, ButtonsInOrderOfTheTable) {
  TOptions o;
  std::vector<std::string> captions;
  for (const auto& b : ToolbarButtons(o)) captions.push_back(b.Caption);
  EXPECT_EQ(captions, (std::vector<std::string>{"New", "Open", "Extract", "Add", "View", "CheckOut", "Wizard"}));
  o.BtnExit = o.BtnFilter = o.BtnMakeExe = true;
  const auto buttons = ToolbarButtons(o);
  EXPECT_STREQ(buttons.back().Caption, "Exit");
  EXPECT_STREQ(buttons.back().Action, "acExit");
  EXPECT_STREQ(buttons[buttons.size() - 2].Action, "acShowFilter");
  bool TOptions::*all[] = {&TOptions::BtnNewArchive,    &TOptions::BtnOpenArchive, &TOptions::BtnCloseArchive,
                           &TOptions::BtnTestArchive,   &TOptions::BtnAddFiles,    &TOptions::BtnExtractFiles,
                           &TOptions::BtnDeleteFiles,   &TOptions::BtnViewFiles,   &TOptions::BtnPrintContentList,
                           &TOptions::BtnCheckOut,      &TOptions::BtnVirusScan,   &TOptions::BtnExplorer,
                           &TOptions::BtnWizard,        &TOptions::BtnProperties,  &TOptions::BtnComment,
                           &TOptions::BtnConfiguration, &TOptions::BtnHelp,        &TOptions::BtnExit,
                           &TOptions::BtnInstall,       &TOptions::BtnMakeExe,     &TOptions::BtnFilter};
  for (auto m : all) o.*m = true;
  EXPECT_EQ(ToolbarButtons(o).size(), 21u);
  for (auto m : all) o.*m = false;
  EXPECT_TRUE(ToolbarButtons(o).empty());
}

TEST(Selection, GroupMasks) {
  EXPECT_TRUE(GroupMaskMatches("Report.doc", "*.DOC"));
  EXPECT_TRUE(GroupMaskMatches("report.DOC", "r?port.*"));
  EXPECT_FALSE(GroupMaskMatches("report.docx", "*.doc"));
  EXPECT_TRUE(GroupMaskMatches("b.txt", "[a-c].txt"));
}

}  // namespace
}  // namespace brevane
