#pragma once
// The archive view's texts and tables, without widgets: the record kept per
// row, the columns, the cell texts, the sort rules, the totals, which
// commands each archive type enables, the list and toolbar styles.

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "app/main/settings.h"
#include "archive/core/arctype.h"
#include "base/types.h"

namespace vsk {
class TVorsk;
}

namespace brevane {

// The texts kept for each row.
struct TItemData {
  std::string Date;
  std::string Packed;
  std::string Unpacked;
  std::string Ratio;
  std::string Folder;
};

enum TViewColumn : int {
  vcFileName,
  vcDate,
  vcPacked,
  vcUnpacked,
  vcRatio,
  vcMethod,
  vcAttr,
  vcFolder,
  vcFileType,
  vcCRC,
  vcFileOffset,
  vcEncrypted,
  vcVolumeID,
  vcFileComment,
};
inline constexpr int kViewColumnCount = vcFileComment + 1;

struct TColumnDef {
  TViewColumn Column;
  const char* Caption;
  int Width;
  bool RightAligned;
  // The View setting that shows it; null for "File Name", always shown.
  bool TOptions::*Setting;
  // The item of the sort menu.
  const char* SortCaption;
};

const std::array<TColumnDef, kViewColumnCount>& ColumnDefs();
const TColumnDef& ColumnDef(TViewColumn Column);
// "File Name" first, then every column whose setting is on, in table order.
std::vector<TViewColumn> ShownColumns(const TOptions& Options);

// An entry's name without its folder is vsk::PathFilePart, its folder
// with the trailing "/" ("" for root entries) vsk::PathFolderPart.

// The row record of the lister's current entry.
TItemData MakeItemData(const vsk::TVorsk& Vorsk);
// The text of a column for the lister's current entry. TypeName is the
// desktop's name for the entry's file type (the "File Type" cell).
std::string CellText(TViewColumn Column, const vsk::TVorsk& Vorsk, const TItemData& Data, vsk::Int64 Offset,
                     const std::string& TypeName);

// "SETUP.EXE" wins over "INSTALL.EXE"; otherwise the first one found stays.
// Only root entries (an empty folder) count.
void NoteSetupFile(std::string& SetupFile, const std::string& Name, const std::string& Folder);

// ---- sorting: the rule follows the column's caption wherever it stands
enum TSortRule { srCaption, srDate, srInteger, srRatio, srFolder, srText };
TSortRule SortRuleFor(const std::string& Caption);

// A cell text prepared once for comparing.
struct TSortKey {
  vsk::Int64 Number = 0;
  double Date = 0;
  std::string Text;
};
TSortKey MakeSortKey(TSortRule Rule, const std::string& Text);
// Negative, 0 or positive as row 1 sorts before, with or after row 2.
int CompareKeys(TSortRule Rule, const TSortKey& A, const TSortKey& B);
int CompareCells(TSortRule Rule, const std::string& A, const std::string& B);

// ---- totals in the status bar
struct TTotalsTexts {
  std::string ArcType;    // panel 0
  std::string Ratio;      // panel 1
  int RatioPosition = 0;  // panel 1's gauge
  std::string Files;      // panel 2
  std::string Packed;     // panel 3
  std::string Unpacked;   // panel 4
};
// The display name of a type without its padding.
std::string TypeNameText(vsk::TArcType Type);
std::string FilesText(vsk::Int64 Count);
std::string MegabytesText(vsk::Int64 Bytes);
TTotalsTexts MakeTotalsTexts(vsk::TArcType Type, vsk::Int64 Count, vsk::Int64 Packed, vsk::Int64 Unpacked);
// A decimal cell text as a 64-bit number; 0 when it is not one.
vsk::Int64 CellNumber(const std::string& Text);

// ---- the commands an archive type enables: (object name, enabled)
std::vector<std::pair<std::string, bool>> EnableMenusTable(vsk::TArcType Type, bool HaveSetupFile);

// ---- list styles
enum TLVExtendedStyle : int {
  lvxGridLines,
  lvxSubItemImages,
  lvxCheckboxes,
  lvxTrackSelect,
  lvxHeaderDragDrop,
  lvxFullRowSelect,
  lvxOneClickActivate,
  lvxTwoClickActivate,
  lvxFlatScrollBar,
  lvxInfoTip,
  lvxUnderlineHot,
  lvxUnderlineCold,
};
using TLVExtendedStyles = vsk::TSet<TLVExtendedStyle>;
TLVExtendedStyles ExtendedStylesFor(const TOptions& Options);
unsigned ExtendedStyleBits(const TLVExtendedStyles& Styles);

// ---- the toolbar: (caption, action name) of every enabled button, left to right
struct TToolbarButton {
  const char* Caption;
  const char* Action;
};
std::vector<TToolbarButton> ToolbarButtons(const TOptions& Options);

// Selection by mask: the upper-cased caption against the upper-cased mask.
bool GroupMaskMatches(const std::string& Caption, const std::string& Mask);

}  // namespace brevane
