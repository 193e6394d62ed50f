#include "app/main/runresult.h"

#include <gtest/gtest.h>

#include "app/main/messages.h"
#include "base/messages.h"

namespace brevane {
namespace {

// A reader between two events: the entry in work and how it stands.
void At(vsk::TUnBase& Reader, const std::string& Name, vsk::TEntryOutcome Outcome = vsk::eoPending) {
  Reader.EntryName = Name;
  Reader.EntryOutcome = Outcome;
}

// Several errors and one end of an entry make one outcome; a folder is no
// file; what the reader decided wins over what an error code suggests, and
// an error after the last entry belongs to the run.
TEST(RunResult, EachEntryEndsWithOneOutcome) {
  vsk::TUnBase r;
  TRunResult result;
  // Two wrong passwords, then the right one.
  At(r, "a.txt");
  result.NoteError(r, "/out/a.txt", "", vsk::msg::InvalidPassword);
  result.NoteError(r, "/out/a.txt", "", vsk::msg::InvalidPassword);
  At(r, "a.txt", vsk::eoWritten);
  result.NoteEnd(r, "/out/a.txt", true);
  At(r, "docs/", vsk::eoWritten);
  result.NoteEnd(r, "/out/docs/", true);
  // Cannot be written: the reader's system reason, whatever the code says.
  At(r, "b.txt");
  r.EntryOutcomeReason = "Not a directory";
  result.NoteError(r, "/out/b.txt", "", vsk::msg::ErrorOpeningFile);
  At(r, "b.txt", vsk::eoCannotWrite);
  result.NoteEnd(r, "b.txt", false);
  r.EntryOutcomeReason.clear();
  // Refused before it was taken: no end comes.
  At(r, "../c.txt");
  result.NoteError(r, "/arc.zip", "../c.txt", vsk::msg::InvalidFileName);
  // A link entry, refused with the kind of link as its reason.
  At(r, "e.lnk", vsk::eoRefusedLink);
  r.EntryOutcomeReason = vsk::kSymbolicLinkReason;
  result.NoteError(r, "/out/e.lnk", "symbolic link to /etc", vsk::msg::UnknownFileType);
  r.EntryOutcomeReason.clear();
  // A later encrypted entry after a refused password fails unasked.
  At(r, "d.txt");
  r.EntryEncrypted = r.PasswordFailed = true;
  result.NoteEnd(r, "d.txt", false);
  // The archive ends early after its last entry.
  result.NoteError(r, "/out/d.txt", "", vsk::msg::BadFileHeader);
  result.Finish(false);

  EXPECT_EQ(result.Written(), 1);
  EXPECT_EQ(result.Count(vsk::eoCannotWrite), 1);
  EXPECT_EQ(result.Count(vsk::eoRefusedName), 1);
  EXPECT_EQ(result.Count(vsk::eoEncrypted), 1);
  EXPECT_EQ(result.Count(vsk::eoRefusedLink), 1);
  ASSERT_EQ(result.Failures().size(), 4u);
  EXPECT_EQ(result.Failures()[0].Name, "b.txt");
  EXPECT_EQ(result.Failures()[0].Reason, "Not a directory");
  EXPECT_EQ(result.Failures()[1].Name, "../c.txt");
  EXPECT_EQ(result.Failures()[2].Reason, "symbolic link");
  EXPECT_EQ(result.Failures()[3].Reason, "Invalid password; Bad file header");
  EXPECT_FALSE(result);

  bool isError = false;
  EXPECT_EQ(ExtractResultText(result, true, isError),
            std::string(msgtext::kExtractIncomplete) + "\r\n\r\n" + msgtext::kLeftOutEncrypted +
                "1 (Invalid password; Bad file header)\r\n" + msgtext::kLeftOutCannotWrite + "1 (Not a directory)\r\n" +
                msgtext::kLeftOutRefusedName + "1 (Invalid file name)\r\n" + msgtext::kLeftOutLinks +
                "1 (symbolic link)\r\n\r\n" + msgtext::kFilesExtracted + "1");
  EXPECT_TRUE(isError);
}

TEST(RunResult, CompleteAndCancelledRuns) {
  vsk::TUnBase r;
  TRunResult done;
  At(r, "a.txt", vsk::eoWritten);
  done.NoteEnd(r, "/out/a.txt", true);
  done.Finish(false);
  EXPECT_TRUE(done);
  bool isError = true;
  EXPECT_EQ(ExtractResultText(done, true, isError), std::string(msgtext::kExtractCompleted) + "1");
  EXPECT_FALSE(isError);
  EXPECT_EQ(ExtractResultText(done, false, isError), "");

  TRunResult cancelled;
  At(r, "b.txt");
  cancelled.NoteError(r, "/out/b.txt", "", vsk::msg::UserCanceled);
  At(r, "b.txt", vsk::eoCancelled);
  cancelled.NoteEnd(r, "/out/b.txt", false);
  cancelled.Finish(true);
  EXPECT_FALSE(cancelled);
  EXPECT_TRUE(cancelled.Failures().empty());
  EXPECT_EQ(ExtractResultText(cancelled, true, isError), std::string(msgtext::kExtractCancelled) + "0");

  // An archive that cannot be opened is the run's failure, not an entry's.
  TRunResult unopened;
  unopened.NoteError(r, r.ArchiveFile(), "", vsk::msg::ErrorOpeningFile);
  unopened.Finish(false);
  EXPECT_EQ(unopened.RunErrors().size() + unopened.Failures().size(), 1u);
  EXPECT_EQ(ExtractResultText(unopened, true, isError),
            std::string(msgtext::kExtractNothing) + "\r\n\r\n" + vsk::MessageText(vsk::msg::ErrorOpeningFile) +
                "\r\n\r\n" + msgtext::kFilesExtracted + "0");
}

}  // namespace
}  // namespace brevane
