#include <QComboBox>
#include <QHeaderView>
#include <QMenu>
#include <QStatusTipEvent>

#include "app/components/opendialog.h"
#include "app/components/regcontrols.h"
#include "app/main/messages.h"
#include "app/main/settings.h"
#include "archive/core/numbers.h"
#include "tests/app/main/window/windowtest.h"

namespace brevane::testing {
namespace {

using ArchiveView = WindowTest;

std::vector<int> SelectedRows(TfmMain& Main) {
  std::vector<int> rows;
  for (const QModelIndex& i : Main.dfelvArchiveView->selectionModel()->selectedRows()) rows.push_back(i.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

TEST_F(ArchiveView, ListsEveryEntryWithItsTexts) {
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  ASSERT_EQ(Model().RowCount(), 3);
  // Columns by default, rows sorted by name.
  EXPECT_EQ(ColumnNamed("File Name"), 0);
  EXPECT_EQ(Model().columnCount(), 6);
  EXPECT_EQ(Column(0), (std::vector<std::string>{"pic.bin", "readme.txt", "report.txt"}));
  EXPECT_EQ(Column(ColumnNamed("Folder")), (std::vector<std::string>{"img/", "", "docs/"}));
  EXPECT_EQ(Column(ColumnNamed("Unpacked")), (std::vector<std::string>{"20000", "6", "50000"}));
  for (const auto& d : Column(ColumnNamed("Date"))) {
    EXPECT_TRUE(vsktest::HasShape(d, "####-##-## ##:##")) << d;
    EXPECT_EQ(d, "2021-06-15 10:30");
  }
  vsk::Int64 packedSum = 0;
  for (int r = 0; r < 3; ++r) {
    const TItemData& data = Model().Row(r).Data;
    const vsk::Int64 packed = CellNumber(data.Packed), unpacked = CellNumber(data.Unpacked);
    packedSum += packed;
    EXPECT_EQ(data.Ratio, std::to_string(vsk::CompressRatio(packed, unpacked)) + "%");
    EXPECT_EQ(Model().CellText(r, ColumnNamed("Ratio")).toStdString(), data.Ratio);
  }
  // The text compresses, the random bytes do not.
  EXPECT_LT(CellNumber(Model().Row(2).Data.Packed), 25000);
  EXPECT_GE(CellNumber(Model().Row(0).Data.Packed), 20000);
  EXPECT_EQ(Model().headerData(2, Qt::Horizontal).toString(), QStringLiteral("Packed"));
  EXPECT_TRUE(Model().data(Model().index(0, 2), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
  EXPECT_FALSE(Model().data(Model().index(0, 0), Qt::DecorationRole).value<QIcon>().isNull());

  // Totals of the whole archive.
  EXPECT_EQ(main->StatusPanelText(0), QStringLiteral("ZIP"));
  EXPECT_EQ(main->StatusPanelText(2), QStringLiteral("3 files"));
  EXPECT_EQ(main->StatusPanelText(3).toStdString(), "Packed: " + MegabytesText(packedSum));
  EXPECT_EQ(main->StatusPanelText(4).toStdString(), "Unpacked: " + MegabytesText(70006));
  const int ratio = vsk::CompressRatio(static_cast<double>(packedSum), 70006.0);
  EXPECT_EQ(main->StatusPanelText(1).toStdString(), "Ratio: " + std::to_string(ratio) + "%");
  EXPECT_EQ(main->StatusGaugePosition(), ratio);
  EXPECT_FALSE(main->SimplePanel());
  EXPECT_EQ(main->LedColor(), kLedIdle);
}

TEST_F(ArchiveView, EveryColumnWhenSwitchedOn) {
  WriteDefaultSettings();
  for (const char* s : {"ColMethod", "ColAttributes", "ColFileType", "ColCRC", "ColFileOffset", "ColEncrypted",
                        "ColVolumeID", "ColFileComment"})
    WriteSettingBool("View", s, true);
  const std::string zip = Zip("all.zip", {{"notes.txt", vsktest::TextBytes(4000)}, {"sub/data.bin", "12345"}});
  ASSERT_TRUE(Start({zip}));
  ASSERT_EQ(Model().columnCount(), 14);
  ASSERT_EQ(Model().RowCount(), 2);
  const int notes = Model().CellText(0, 0) == QStringLiteral("data.bin") ? 1 : 0;
  EXPECT_TRUE(Model().CellText(notes, ColumnNamed("Method")).startsWith(QStringLiteral("Deflat")));
  EXPECT_EQ(Model().CellText(1 - notes, ColumnNamed("Method")), QStringLiteral("Stored"));
  EXPECT_TRUE(Model().CellText(notes, ColumnNamed("Attr")).endsWith(QStringLiteral(")")));
  EXPECT_EQ(Model().CellText(notes, ColumnNamed("Encrypted")), QStringLiteral("No"));
  EXPECT_EQ(Model().CellText(notes, ColumnNamed("Volume ID")).toStdString(), zip);
  EXPECT_FALSE(Model().CellText(notes, ColumnNamed("File Type")).isEmpty());
  // Each offset is where the entry's local header lies.
  const std::string bytes = vsktest::ReadFile(zip);
  const auto offsets = Column(ColumnNamed("File Offset"));
  EXPECT_NE(offsets[0], offsets[1]);
  for (const auto& o : offsets) {
    const auto at = static_cast<std::size_t>(CellNumber(o));
    ASSERT_LT(at + 4, bytes.size());
    EXPECT_EQ(bytes.substr(at, 4), std::string("PK\3\4", 4)) << o;
  }
  // "12345" has the CRC-32 CBF53A1C.
  EXPECT_EQ(Model().CellText(1 - notes, ColumnNamed("CRC")), QStringLiteral("CBF53A1C"));

  // The sort menu matches the columns.
  const QList<QAction*> items = main->miSort->actions();
  ASSERT_EQ(items.size(), 14);
  EXPECT_EQ(items[0]->text(), QStringLiteral("File Name"));
  EXPECT_EQ(items[6]->text(), QStringLiteral("Attributes"));
  EXPECT_EQ(items[13]->data().toInt(), 13);
}

TEST_F(ArchiveView, SortsByEveryColumn) {
  WriteDefaultSettings();
  for (const char* s : {"ColMethod", "ColAttributes", "ColFileType", "ColCRC", "ColFileOffset", "ColEncrypted",
                        "ColVolumeID", "ColFileComment"})
    WriteSettingBool("View", s, true);
  const std::string zip = Zip("sort.zip", {{"b.TXT", std::string(100, 'x'), "2020-01-02 08:00"},
                                           {"A.txt", "123456789", "2021-03-04 09:15"},
                                           {"x/c.dat", vsktest::RandomBytes(10), "2019-12-31 23:59"},
                                           {"Y/d.doc", vsktest::TextBytes(3000), "2021-03-04 09:14"},
                                           {"e.bin", vsktest::RandomBytes(1000), "2022-07-01 12:00"}});
  ASSERT_TRUE(Start({zip}));
  ASSERT_EQ(Model().RowCount(), 5);
  EXPECT_EQ(Column(0), (std::vector<std::string>{"A.txt", "b.TXT", "c.dat", "d.doc", "e.bin"}));
  for (int c = 0; c < Model().columnCount(); ++c) {
    const std::string caption = Model().Caption(c).toStdString();
    main->miSortClick(c);
    if (c == 0) main->miSortClick(c);  // already the sort column: the first click reversed it
    for (int r = 0; r + 1 < Model().RowCount(); ++r)
      EXPECT_LE(main->dfelvArchiveViewSortItems(r, r + 1, c), 0) << caption << " row " << r;
    main->dfelvArchiveViewColumnClick(c);
    for (int r = 0; r + 1 < Model().RowCount(); ++r)
      EXPECT_GE(main->dfelvArchiveViewSortItems(r, r + 1, c), 0) << caption << " descending row " << r;
    EXPECT_EQ(main->dfelvArchiveView->header()->sortIndicatorSection(), c);
    EXPECT_EQ(main->dfelvArchiveView->header()->sortIndicatorOrder(), Qt::DescendingOrder);
  }
  // Sizes as numbers, dates as dates, folders without case.
  main->miSortClick(ColumnNamed("Unpacked"));
  EXPECT_EQ(Column(ColumnNamed("Unpacked")), (std::vector<std::string>{"9", "10", "100", "1000", "3000"}));
  main->miSortClick(ColumnNamed("Date"));
  EXPECT_EQ(Column(0), (std::vector<std::string>{"c.dat", "b.TXT", "d.doc", "A.txt", "e.bin"}));
  main->miSortClick(ColumnNamed("Folder"));
  const auto folders = Column(ColumnNamed("Folder"));
  EXPECT_EQ(folders, (std::vector<std::string>{"", "", "", "x/", "Y/"}));
  // Rows keep their data when they move.
  for (int r = 0; r < Model().RowCount(); ++r)
    EXPECT_EQ(Model().CellText(r, ColumnNamed("Folder")).toStdString(), Model().Row(r).Data.Folder);
  // A new listing sorts by name again.
  main->acRefreshExecute();
  EXPECT_EQ(Column(0), (std::vector<std::string>{"A.txt", "b.TXT", "c.dat", "d.doc", "e.bin"}));
  EXPECT_EQ(main->dfelvArchiveView->header()->sortIndicatorSection(), 0);
}

TEST_F(ArchiveView, TotalsOfTheSelection) {
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  auto* sel = main->dfelvArchiveView->selectionModel();
  sel->select(Model().index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  sel->select(Model().index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  main->dfelvArchiveViewClick();
  EXPECT_EQ(main->StatusPanelText(2), QStringLiteral("2 files"));
  const vsk::Int64 packed = CellNumber(Model().Row(0).Data.Packed) + CellNumber(Model().Row(1).Data.Packed);
  EXPECT_EQ(main->StatusPanelText(3).toStdString(), "Packed: " + MegabytesText(packed));
  EXPECT_EQ(main->StatusPanelText(4).toStdString(), "Unpacked: " + MegabytesText(20006));
  sel->clearSelection();
  sel->select(Model().index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  main->dfelvArchiveViewClick();
  EXPECT_EQ(main->StatusPanelText(2), QStringLiteral("1 file"));
  // An empty selection falls back to the whole archive.
  sel->clearSelection();
  main->dfelvArchiveViewClick();
  EXPECT_EQ(main->StatusPanelText(2), QStringLiteral("3 files"));

  const std::string one = Zip("one.zip", {{"only.txt", "x"}});
  main->DisplayArchive(one);
  EXPECT_EQ(main->StatusPanelText(2), QStringLiteral("1 file"));
}

TEST_F(ArchiveView, CommandsFollowTheArchiveType) {
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  for (const char* c :
       {"acCloseArchive", "acAdd", "acDelete", "acTest", "acExtract", "acViewComment", "sbViewComments", "acPassword",
        "acMakeSFX", "miSort", "miExportContentList", "acRefresh", "sbProperties", "acSelectAll"})
    EXPECT_TRUE(main->CommandEnabled(c)) << c;
  EXPECT_FALSE(main->CommandEnabled("acInstall"));
  main->acCloseArchiveExecute();
  for (const char* c : {"acCloseArchive", "acAdd", "acExtract", "acViewComment", "miSort", "acRefresh"})
    EXPECT_FALSE(main->CommandEnabled(c)) << c;
  EXPECT_EQ(Model().RowCount(), 0);
  EXPECT_EQ(main->windowTitle(), QStringLiteral("Brevane"));
  EXPECT_EQ(main->StatusPanelText(1), QStringLiteral("0%"));
  EXPECT_EQ(main->StatusPanelText(2), QStringLiteral("0 files"));
  EXPECT_TRUE(main->StatusPanelText(0).isEmpty());
  EXPECT_TRUE(main->vskVorsk.ArchiveFile().empty());
}

TEST_F(ArchiveView, CabinetsShowTheirFoldersSharedOutAndRefuseDeletes) {
  ASSERT_TRUE(vsktest::HaveTool("gcab")) << "gcab is needed (Debian package gcab)";
  const std::string cab = Pack("set.cab", {{"big.txt", vsktest::TextBytes(1500000)}, {"small.txt", "cabinet"}},
                               "gcab -c -z {out} big.txt small.txt");
  ASSERT_TRUE(Start({cab}));
  ASSERT_EQ(Model().RowCount(), 2);
  EXPECT_EQ(Column(ColumnNamed("Unpacked")), (std::vector<std::string>{"1500000", "7"}));
  // Packed and ratio of each row agree; together they are the folder's data.
  vsk::Int64 packedSum = 0;
  for (int r = 0; r < 2; ++r) {
    const TItemData& d = Model().Row(r).Data;
    packedSum += CellNumber(d.Packed);
    EXPECT_EQ(d.Ratio, std::to_string(vsk::CompressRatio(CellNumber(d.Packed), CellNumber(d.Unpacked))) + "%");
  }
  const auto size = static_cast<vsk::Int64>(fs::file_size(cab));
  EXPECT_LT(packedSum, size);
  EXPECT_GT(packedSum, size - 1000);
  EXPECT_EQ(main->StatusPanelText(0), QStringLiteral("CAB"));
  EXPECT_EQ(main->StatusPanelText(3).toStdString(), "Packed: " + MegabytesText(packedSum));
  // One row selected shows its own ratio, as every row is compressed alike.
  auto* sel = main->dfelvArchiveView->selectionModel();
  sel->select(Model().index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  main->dfelvArchiveViewClick();
  EXPECT_EQ(main->StatusPanelText(1).toStdString(), "Ratio: " + Model().Row(0).Data.Ratio);

  // Files are added to a cabinet and it is tested; deleting from it is
  // refused, and the window says so.
  EXPECT_TRUE(main->CommandEnabled("acAdd"));
  EXPECT_TRUE(main->CommandEnabled("acTest"));
  EXPECT_FALSE(main->CommandEnabled("acViewComment"));
  EXPECT_TRUE(main->CommandEnabled("acExtract"));
  ASSERT_TRUE(main->CommandEnabled("acDelete"));
  const std::string before = vsktest::ReadFile(cab);
  ui.ExpectMessage(msgtext::kDeleteSelectedFile, mtConfirmation, mrYes);
  ui.ExpectMessage(std::string(msgtext::kCannotDeletePrefix) + "CAB" + msgtext::kCannotDeleteSuffix, mtError);
  main->dfelvArchiveViewKeyDown(Qt::Key_Delete);
  EXPECT_EQ(vsktest::ReadFile(cab), before);
  EXPECT_EQ(Model().RowCount(), 2);
}

TEST_F(ArchiveView, AFileThatIsNoArchiveLeavesTheCommandsDisabled) {
  const std::string zip = SampleZip();
  const fs::path text = dir.path() / "notes.txt";
  vsktest::WriteFile(text, "just some text, no archive at all\n");
  ASSERT_TRUE(Start({zip}));
  ASSERT_TRUE(main->CommandEnabled("acExtract"));
  ui.ExpectMessage(msgtext::kInvalidArchiveFormat, mtError);
  main->DisplayArchive(text.string());
  EXPECT_EQ(Model().RowCount(), 0);
  for (const char* c : {"acCloseArchive", "acExtract", "acAdd", "acDelete", "acTest", "acViewComment", "acRefresh",
                        "acSelectAll", "acProperties"})
    EXPECT_FALSE(main->CommandEnabled(c)) << c;
  EXPECT_EQ(main->windowTitle(), QStringLiteral("Brevane"));
  EXPECT_EQ(main->StatusPanelText(2), QStringLiteral("0 files"));
  EXPECT_EQ(main->dfmruMainList.Items().front(), zip);
  EXPECT_EQ(main->LedColor(), kLedIdle);
}

TEST_F(ArchiveView, SetupProgramEnablesInstall) {
  const std::string zip = Zip("setup.zip", {{"INSTALL.EXE", "MZ"}, {"SETUP.EXE", "MZ"}, {"sub/SETUP.EXE", "MZ"}});
  ASSERT_TRUE(Start({zip}));
  EXPECT_EQ(main->FSetupFile, "SETUP.EXE");
  EXPECT_TRUE(main->CommandEnabled("acInstall"));
  const std::string nested = Zip("nested.zip", {{"sub/SETUP.EXE", "MZ"}, {"readme.txt", "r"}});
  main->DisplayArchive(nested);
  EXPECT_EQ(main->FSetupFile, "");
  EXPECT_FALSE(main->CommandEnabled("acInstall"));
}

TEST_F(ArchiveView, FilterLimitsTheListing) {
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  main->rcbFilter->SetText("*.txt");
  main->sbApplyFilterClick();
  EXPECT_EQ(Column(0), (std::vector<std::string>{"readme.txt", "report.txt"}));
  EXPECT_EQ(main->StatusPanelText(2), QStringLiteral("2 files"));
  EXPECT_EQ(main->StatusPanelText(4).toStdString(), "Unpacked: " + MegabytesText(50006));
  EXPECT_EQ(main->vskVorsk.FileSpec, (std::vector<std::string>{"*.txt"}));
  // A mask matching nothing lists nothing, and the archive stays open.
  main->rcbFilter->SetText("*.none");
  main->rcbFilterKeyPress(13);
  EXPECT_EQ(Model().RowCount(), 0);
  EXPECT_EQ(main->StatusPanelText(2), QStringLiteral("0 file"));
  EXPECT_TRUE(main->CommandEnabled("acCloseArchive"));
  EXPECT_EQ(main->windowTitle().toStdString(), "Brevane - " + zip);
  main->sbRemoveFilterClick();
  EXPECT_EQ(Model().RowCount(), 3);
  EXPECT_EQ(main->rcbFilter->Text(), "*.*");
  // An empty box lists everything and shows "*.*".
  main->rcbFilter->SetText("");
  main->sbApplyFilterClick();
  EXPECT_EQ(Model().RowCount(), 3);
  EXPECT_EQ(main->rcbFilter->Text(), "*.*");
  EXPECT_EQ(main->rcbFilter->RegKey(), "\\Software\\Brevane\\Filters");
  EXPECT_EQ(main->rcbFilter->RegMaxCount, 10);
}

TEST_F(ArchiveView, SelectionCommands) {
  const std::string zip = Zip("group.zip", {{"a.txt", "a"}, {"B.TXT", "b"}, {"c.doc", "c"}, {"d/e.txt", "e"}});
  ASSERT_TRUE(Start({zip}));
  ASSERT_EQ(Column(0), (std::vector<std::string>{"a.txt", "B.TXT", "c.doc", "e.txt"}));
  main->acSelectAllExecute();
  EXPECT_EQ(SelectedRows(*main), (std::vector<int>{0, 1, 2, 3}));
  main->acDeselectAllExecute();
  EXPECT_TRUE(SelectedRows(*main).empty());
  ui.ExpectInput(msgtext::kGroupPrompt, true, "*.Txt");
  main->acSelectGroupExecute();
  EXPECT_EQ(ui.LastInputCaption, msgtext::kSelectGroupTitle);
  EXPECT_EQ(SelectedRows(*main), (std::vector<int>{0, 1, 3}));
  // The status bar follows each selection command.
  EXPECT_EQ(main->StatusPanelText(2), QStringLiteral("3 files"));
  main->acInvertSelectionExecute();
  EXPECT_EQ(SelectedRows(*main), (std::vector<int>{2}));
  EXPECT_EQ(main->StatusPanelText(2), QStringLiteral("1 file"));
  main->acSelectAllExecute();
  main->acDeselectAllExecute();
  EXPECT_EQ(main->StatusPanelText(2), QStringLiteral("4 files"));
  main->acInvertSelectionExecute();
  main->acInvertSelectionExecute();
  ui.ExpectInput(msgtext::kGroupPrompt, true, "?.TXT");
  main->acDeselectGroupExecute();
  EXPECT_EQ(ui.LastInputCaption, msgtext::kDeselectGroupTitle);
  EXPECT_TRUE(SelectedRows(*main).empty());
  ui.ExpectInput(msgtext::kGroupPrompt, false);
  main->acSelectGroupExecute();
  EXPECT_TRUE(SelectedRows(*main).empty());
}

TEST_F(ArchiveView, StatusTextsKeepTheWindowsSizeAndEndWithTheJob) {
  ASSERT_TRUE(Start({SampleZip()}));
  main->show();
  main->resize(760, 480);
  const std::string longName = "/" + std::string(400, 'd') + "/file.txt";
  main->vskZipActivate(*main->Components.Writer(vsk::atZip));
  main->vskZipFileScanStatus(*main->Components.Writer(vsk::atZip), longName, 12, 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(main->width(), 760);
  main->vskZipDeactivate(*main->Components.Writer(vsk::atZip));
  QStatusTipEvent tip(QString::fromStdString(longName));
  QCoreApplication::sendEvent(main, &tip);
  QCoreApplication::processEvents();
  EXPECT_EQ(main->width(), 760);
  EXPECT_EQ(main->StatusPanelText(5).toStdString(), longName);  // cut only where shown
  // A job that ends leaves no hint of what was pointed at before it.
  ui.ExpectMessage(msgtext::kNoErrorsFound, mtInformation);
  main->acTestExecute();
  EXPECT_TRUE(main->StatusPanelText(5).isEmpty());
}

TEST_F(ArchiveView, ColumnsWidenToTheirTextsUnlessTheUserSizedThem) {
  const std::string longName = "LibarchiveAddingTestWithAFairlyLongName.html";
  ASSERT_TRUE(Start({Zip("long.zip", {{longName, "x"}})}));
  main->show();
  main->resize(1000, 600);
  main->acRefreshExecute();
  QHeaderView* header = main->dfelvArchiveView->header();
  const QFontMetrics fm(main->dfelvArchiveView->font());
  EXPECT_GT(header->sectionSize(0), fm.horizontalAdvance(QString::fromStdString(longName)));
  // A width the user gave stays through the next listing.
  header->resizeSection(0, 40);
  main->acRefreshExecute();
  EXPECT_EQ(header->sectionSize(0), 40);
}

TEST_F(ArchiveView, ARefreshOfAVanishedArchiveClosesIt) {
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({zip}));
  main->acRefreshExecute();
  EXPECT_EQ(Model().RowCount(), 3);
  fs::remove(zip);
  ui.ExpectMessage(msgtext::kArchiveVanished, mtError);
  main->acRefreshExecute();
  EXPECT_EQ(Model().RowCount(), 0);
  EXPECT_EQ(main->windowTitle(), QStringLiteral("Brevane"));
  EXPECT_FALSE(main->CommandEnabled("acCloseArchive"));
}

TEST_F(ArchiveView, OpeningThroughTheDialogAndTheRecentList) {
  const std::string zip = SampleZip();
  ASSERT_TRUE(Start({}));
  ui.ExpectModal([&](QDialog& Dialog) {
    EXPECT_EQ(Dialog.windowTitle(), QStringLiteral("Open Archive ..."));
    auto& d = static_cast<TOpenDialog&>(Dialog);
    EXPECT_EQ(d.nameFilters().size(), 3);
    EXPECT_EQ(d.fileMode(), QFileDialog::ExistingFile);
    d.selectFile(QString::fromStdString(zip));
    return static_cast<int>(mrOk);
  });
  main->acOpenArchiveExecute();
  EXPECT_EQ(Model().RowCount(), 3);
  EXPECT_EQ(main->rcbFilter->Text(), "*.*");
  EXPECT_EQ(ReadSettingString("Folders", "OpenLastPath"), dir.str());
  // The next dialog opens in that folder; cancelling keeps the archive.
  ui.ExpectModal([&](QDialog& Dialog) {
    EXPECT_EQ(static_cast<QFileDialog&>(Dialog).directory().absolutePath().toStdString(), dir.str());
    return static_cast<int>(mrCancel);
  });
  main->acOpenArchiveExecute();
  EXPECT_EQ(Model().RowCount(), 3);

  main->acCloseArchiveExecute();
  main->dfmruMainListMRUItemClick(zip);
  EXPECT_EQ(Model().RowCount(), 3);
  ui.ExpectMessage(msgtext::kMruFileMissing, mtError);
  main->dfmruMainListMRUItemClick((dir.path() / "gone.zip").string());
  ASSERT_FALSE(main->pmMRUListMenu()->actions().isEmpty());
  main->acCloseArchiveExecute();
  main->pmMRUListMenu()->actions().front()->trigger();
  EXPECT_EQ(Model().RowCount(), 3);
}

}  // namespace
}  // namespace brevane::testing
