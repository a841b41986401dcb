// The checks, messages and option mapping of starting a job from the window.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "base/file_system.h"
#include "engine/manifest.h"
#include "ui/radio_group.h"
#include "ui/status_screen.h"
#include "ui/ui_test_util.h"

namespace vq::test {
namespace {

const QString kNeedBoth = QStringLiteral("Please specify Source and Destination folders.");
const QString kBadSource = QStringLiteral("Please specify a valid source directory.");
const QString kBadHvsc =
    QStringLiteral("Please specify a valid HVSC root directory, or disable the Include SIDs option.");
const QString kDeleteFailed = QStringLiteral("Error deleting folder. You will need to delete it manually.");

TEST(LaunchChecks, EmptySourceOrDestinationGivesOneMessageAndNothingElse) {
  TFormHarness h;
  const TForm1Ui& ui = h.Form->Ui();
  ui.CheckBoxSID->setChecked(true);  // a missing HVSC folder must not be reported as well
  const std::pair<QString, QString> cases[] = {
      {"", ""}, {QString::fromStdString(h.MakeFolder("src")), "   "}, {" \t ", "/tmp"}};
  for (const auto& [source, dest] : cases) {
    h.Dialogs.Messages.clear();
    ui.EditSource->setText(source);
    ui.EditDest->setText(dest);
    h.Form->ButtonGoClick();
    EXPECT_EQ(h.Dialogs.Messages, QStringList{kNeedBoth}) << source.toStdString() << "|" << dest.toStdString();
  }
  EXPECT_EQ(h.Dialogs.DialogCount(), 1);
  EXPECT_TRUE(h.Jobs.empty());
  EXPECT_EQ(h.Form->Status(), QStringLiteral("READY."));
}

TEST(LaunchChecks, MissingSourceIsReportedBeforeMissingHvsc) {
  TFormHarness h;
  const TForm1Ui& ui = h.Form->Ui();
  ui.EditSource->setText(QString::fromStdString(h.Path("no-such-source")));
  ui.EditDest->setText(QString::fromStdString(h.MakeFolder("dst")));
  ui.CheckBoxSID->setChecked(true);
  ui.EditHVSC->setText(QString::fromStdString(h.Path("no-such-hvsc")));
  h.Form->ButtonGoClick();
  EXPECT_EQ(h.Dialogs.Messages, QStringList{kBadSource});
  EXPECT_EQ(h.Dialogs.DialogCount(), 1);
  EXPECT_TRUE(h.Jobs.empty());
  // The output folder is not created by a refused start.
  EXPECT_FALSE(DirectoryExists(h.Path("dst/VONDRAL SD")));
}

TEST(LaunchChecks, MissingHvscIsReportedOnlyWithSidsChecked) {
  TFormHarness h;
  h.UseExistingFolders();
  const TForm1Ui& ui = h.Form->Ui();
  ui.CheckBoxSID->setChecked(true);
  ui.EditHVSC->setText(QStringLiteral("  ") + QString::fromStdString(h.Path("no-such-hvsc")));
  h.Form->ButtonGoClick();
  EXPECT_EQ(h.Dialogs.Messages, QStringList{kBadHvsc});
  EXPECT_TRUE(h.Jobs.empty());

  // With the box clear any text passes, trimmed and without a separator added.
  ui.CheckBoxSID->setChecked(false);
  h.Form->ButtonGoClick();
  ASSERT_EQ(h.Jobs.size(), 1u);
  EXPECT_EQ(h.Jobs[0].HvscDir, h.Path("no-such-hvsc"));
  EXPECT_FALSE(h.Jobs[0].IncludeSIDs);
}

TEST(LaunchChecks, FoldersAreTrimmedAndGetOneSeparator) {
  TFormHarness h;
  const TForm1Ui& ui = h.Form->Ui();
  const std::string source = h.MakeFolder("games");
  const std::string hvsc = h.MakeFolder("hvsc");
  ui.EditSource->setText(QStringLiteral("  ") + QString::fromStdString(source) + QStringLiteral(" \t"));
  ui.EditDest->setText(QString::fromStdString(h.MakeFolder("out") + "/") + QStringLiteral("   "));
  ui.CheckBoxSID->setChecked(true);
  ui.EditHVSC->setText(QStringLiteral(" ") + QString::fromStdString(hvsc) + QStringLiteral(" "));
  ui.EditFilterFile->setText(QStringLiteral("  /some/where/list.xml  "));
  h.Form->ButtonGoClick();
  ASSERT_EQ(h.Jobs.size(), 1u);
  EXPECT_EQ(h.Jobs[0].SourceDir, source + "/");
  EXPECT_EQ(OutputFolder(h.Jobs[0]), h.Path("out") + "/VONDRAL SD");
  EXPECT_EQ(h.Jobs[0].HvscDir, hvsc + "/");
  EXPECT_EQ(h.Jobs[0].FilterFile, "/some/where/list.xml");
  EXPECT_TRUE(h.Dialogs.Messages.isEmpty());
  EXPECT_TRUE(DirectoryExists(h.Path("out/VONDRAL SD")));
}

TEST(LaunchChecks, OutputFolderNameFollowsTheStyleOnly) {
  const std::pair<int, std::string> cases[] = {{0, "VONDRAL SD"}, {1, "vondral sd"}, {2, "Vondral SD"}};
  for (const auto& [style, name] : cases) {
    for (const bool uppercase : {false, true}) {
      TFormHarness h;
      h.UseExistingFolders();
      h.Form->Ui().RadioGroupFileNames->SetItemIndex(style);
      h.Form->Ui().CheckBox1541UUppercase->setChecked(uppercase);
      h.Form->ButtonGoClick();
      ASSERT_EQ(h.Jobs.size(), 1u);
      EXPECT_EQ(OutputFolder(h.Jobs[0]), h.Path("dst") + "/" + name);
      EXPECT_TRUE(DirectoryExists(OutputFolder(h.Jobs[0])));
      ASSERT_TRUE(WaitUntil([&] { return !h.Form->JobRunning(); }));
    }
  }
}

TEST(LaunchOptions, EveryControlReachesItsJobOption) {
  TFormHarness h;
  h.UseExistingFolders();
  const TForm1Ui& ui = h.Form->Ui();
  ui.RadioGroupFileNames->Item(1)->click();
  ui.RadioGroupNFO->Item(2)->click();
  ui.CheckBoxFilter->setChecked(true);
  WriteWholeFile(h.Path("list.xml"), "<game name=\"1\">", 16);
  ui.EditFilterFile->setText(QString::fromStdString(h.Path("list.xml")));
  ui.CheckBoxAutoSwap->setChecked(true);
  ui.CheckBoxTestMode->setChecked(true);
  // Disabled by the sd2iec style, still passed as checked.
  ui.CheckBox1541UUppercase->setChecked(true);
  EXPECT_FALSE(ui.CheckBox1541UUppercase->isEnabled());
  h.Form->ButtonGoClick();
  ASSERT_EQ(h.Jobs.size(), 1u);
  const TJobOptions& o = h.Jobs[0];
  EXPECT_EQ(o.FileNameStyle, fnsSD2IEC);
  EXPECT_EQ(o.NFOStyle, nsExclude);
  EXPECT_FALSE(o.IncludeSIDs);
  EXPECT_TRUE(o.FilterIDs);
  EXPECT_TRUE(o.AutoSwap);
  EXPECT_FALSE(o.ExtractT64);
  EXPECT_TRUE(o.ForceUppercase);
  EXPECT_TRUE(o.TestMode);
  ASSERT_TRUE(WaitUntil([&] { return !h.Form->JobRunning(); }));

  // The opposite of every switch.
  ui.RadioGroupFileNames->SetItemIndex(0);
  ui.RadioGroupNFO->SetItemIndex(1);
  ui.CheckBoxFilter->setChecked(false);
  ui.CheckBoxAutoSwap->setChecked(false);
  ui.CheckBoxExtractT64->setChecked(true);
  ui.CheckBoxTestMode->setChecked(false);
  ui.CheckBox1541UUppercase->setChecked(false);
  ui.CheckBoxSID->setChecked(true);
  ui.EditHVSC->setText(QString::fromStdString(h.MakeFolder("hvsc")));
  h.Form->ButtonGoClick();
  ASSERT_EQ(h.Jobs.size(), 2u);
  const TJobOptions& p = h.Jobs[1];
  EXPECT_EQ(p.FileNameStyle, fns1541U);
  EXPECT_EQ(p.NFOStyle, nsNoOptimize);
  EXPECT_TRUE(p.IncludeSIDs);
  EXPECT_FALSE(p.FilterIDs);
  EXPECT_FALSE(p.AutoSwap);
  EXPECT_TRUE(p.ExtractT64);
  EXPECT_FALSE(p.ForceUppercase);
  EXPECT_FALSE(p.TestMode);
  ASSERT_TRUE(WaitUntil([&] { return !h.Form->JobRunning(); }));

  // No selection: no name style, and the default NFO treatment.
  ui.RadioGroupFileNames->SetItemIndex(-1);
  ui.RadioGroupNFO->SetItemIndex(-1);
  h.Form->ButtonGoClick();
  ASSERT_EQ(h.Jobs.size(), 3u);
  EXPECT_EQ(h.Jobs[2].FileNameStyle, fnsNone);
  EXPECT_EQ(OutputFolder(h.Jobs[2]), h.Path("dst") + "/Vondral SD");
  EXPECT_EQ(h.Jobs[2].NFOStyle, nsOptimize);
}

TEST(LaunchOptions, ASecondClickWhileAJobRunsDoesNothing) {
  TFormHarness h;
  h.FakeReports = -1;
  h.UseExistingFolders();
  h.Form->ButtonGoClick();
  h.Form->ButtonGoClick();
  EXPECT_EQ(h.Jobs.size(), 1u);
  EXPECT_EQ(h.Dialogs.DialogCount(), 0);
  h.Form->ButtonAbortClick();
  ASSERT_TRUE(WaitUntil([&] { return !h.Form->JobRunning(); }));
}

TEST(ExistingOutput, TheQuestionTellsWhatUpdateDoesAndUpdateOrCancelLeavesTheFolder) {
  enum class TRecord { rNone, rWhole, rCutOff };
  const QString kUpdates = QStringLiteral(
      "Update brings it up to date in place: writes only the games that changed, keeps every file the job did not "
      "write, and puts every folder back in the job's order.");
  const QString kResumes = QStringLiteral(
      "A job writing this folder was cut off. Update resumes it, writing only the games that are missing.");
  const QString kNoUpdate = QStringLiteral("Update cannot be used: the folder holds no record of a job");
  struct TCase {
    const char* Name;
    TOutputChoice Answer;
    TRecord Record;  // what the folder holds of a run with the same options
    QString UpdateText;
    bool JobStarts;  // else the window stays idle
    bool Refused;    // the folder cannot be updated: the reason is shown
  };
  const TCase cases[] = {{"update", TOutputChoice::ocUpdate, TRecord::rWhole, kUpdates, true, false},
                         {"resume", TOutputChoice::ocUpdate, TRecord::rCutOff, kResumes, true, false},
                         {"update without a record", TOutputChoice::ocUpdate, TRecord::rNone, kNoUpdate, false, true},
                         {"cancel", TOutputChoice::ocCancel, TRecord::rWhole, kUpdates, false, false}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TFormHarness h;
    h.UseExistingFolders();
    const std::string output = h.MakeFolder("dst/VONDRAL SD");
    WriteWholeFile(output + "/kept.txt", "x", 1);
    const std::string fingerprint = OptionsFingerprint(h.Form->CollectJobOptions());
    if (c.Record == TRecord::rWhole) WriteEmptyRecord(output, h.Form->CollectJobOptions());
    if (c.Record == TRecord::rCutOff) {
      const std::string head = ManifestHead(fingerprint, true);
      WriteWholeFile(output + "/" + kUnfinishedManifestName, head.data(), head.size());
    }
    h.Dialogs.OutputAnswer = c.Answer;
    h.Form->ButtonGoClick();
    ASSERT_EQ(h.Dialogs.Questions.size(), 1);
    const QString& question = h.Dialogs.Questions[0];
    EXPECT_TRUE(question.startsWith(QStringLiteral("The output folder already exists:\r") +
                                    QString::fromStdString(output) + QStringLiteral("\r\r") + c.UpdateText))
        << question.toStdString();
    EXPECT_TRUE(question.endsWith(QStringLiteral(
        "\r\rDelete removes the folder and everything in it, files of your own included, then writes it anew."
        "\r\rCancel leaves it as it is.")))
        << question.toStdString();
    EXPECT_TRUE(h.Dialogs.Deleted.isEmpty());
    EXPECT_TRUE(FileExists(output + "/kept.txt"));
    ASSERT_EQ(h.Jobs.size(), c.JobStarts ? 1u : 0u);
    if (c.JobStarts) {
      EXPECT_TRUE(h.Jobs[0].Update);
      EXPECT_EQ(OutputFolder(h.Jobs[0]), output);
      ASSERT_TRUE(WaitUntil([&] { return !h.Form->JobRunning(); }));
    } else {
      EXPECT_EQ(h.Form->Status(), QStringLiteral("READY."));
    }
    ASSERT_EQ(h.Dialogs.Messages.size(), c.Refused ? 1 : 0);
    if (c.Refused) {
      EXPECT_TRUE(h.Dialogs.Messages[0].startsWith(QStringLiteral("Cannot update \"") +
                                                   QString::fromStdString(output) + QStringLiteral("\":")));
      EXPECT_TRUE(h.Dialogs.Messages[0].endsWith(QStringLiteral("\r\rDelete writes the output folder anew.")));
    }
    EXPECT_TRUE(h.Form->Ui().ButtonGo->isEnabled());
  }
}

TEST(ExistingOutput, FailedOrCancelledDeleteLeavesTheWindowIdle) {
  TFormHarness h;
  h.UseExistingFolders();
  const std::string output = h.MakeFolder("dst/vondral sd");
  h.Form->Ui().RadioGroupFileNames->SetItemIndex(1);
  h.Dialogs.OutputAnswer = TOutputChoice::ocDelete;
  h.Dialogs.DeleteAnswer = false;
  h.Form->ButtonGoClick();
  EXPECT_EQ(h.Dialogs.Deleted, QStringList{QString::fromStdString(output)});
  EXPECT_EQ(h.Dialogs.Messages, QStringList{kDeleteFailed});
  EXPECT_TRUE(h.Jobs.empty());
  EXPECT_EQ(h.Form->Status(), QStringLiteral("Deleting the old output folder..."));
  const TForm1Ui& ui = h.Form->Ui();
  EXPECT_TRUE(ui.ButtonGo->isEnabled());
  EXPECT_FALSE(ui.ButtonAbort->isEnabled());
  EXPECT_TRUE(ui.EditSource->isEnabled());
  EXPECT_TRUE(ui.RzMenuButtonProfile->isEnabled());
  EXPECT_FALSE(ui.CheckBox1541UUppercase->isEnabled());  // the sd2iec style still rules it
}

TEST(ExistingOutput, WindowShowsTheDeletingStateWhileTheDeleteRuns) {
  TFormHarness h;
  h.UseExistingFolders();
  h.MakeFolder("dst/VONDRAL SD");
  h.Dialogs.OutputAnswer = TOutputChoice::ocDelete;
  bool checked = false;
  h.Dialogs.OnDelete = [&](const QString&) {
    const TForm1Ui& ui = h.Form->Ui();
    EXPECT_EQ(h.Form->Status(), QStringLiteral("Deleting the old output folder..."));
    EXPECT_EQ(ui.Panel1->Text(), QStringLiteral("Deleting the old output folder..."));
    EXPECT_FALSE(ui.ButtonGo->isEnabled());
    EXPECT_FALSE(ui.ButtonAbort->isEnabled());
    EXPECT_FALSE(ui.EditDest->isEnabled());
    EXPECT_FALSE(ui.RzMenuButtonProfile->isEnabled());
    EXPECT_FALSE(ui.ButtonFilterFile->isEnabled());
    EXPECT_TRUE(ui.RzButtonReadme->isEnabled());
    checked = true;
    return true;
  };
  h.Form->ButtonGoClick();
  EXPECT_TRUE(checked);
  ASSERT_EQ(h.Jobs.size(), 1u);
  EXPECT_FALSE(h.Jobs[0].Update);
  // After a successful delete the job starts with "Working..." as the status.
  EXPECT_EQ(h.StatusAtJobCreation, QStringList{QStringLiteral("Working...")});
  EXPECT_TRUE(h.Dialogs.Messages.isEmpty());
}

TEST(ExistingOutput, ClosingTheWindowDuringTheDeleteStartsNoJob) {
  TFormHarness h;
  h.UseExistingFolders();
  h.MakeFolder("dst/VONDRAL SD");
  h.Dialogs.OutputAnswer = TOutputChoice::ocDelete;
  h.Dialogs.OnDelete = [&](const QString&) {
    h.Form->close();  // the delete hands out events; the close button is one of them
    return true;
  };
  h.Form->show();
  h.Form->ButtonGoClick();
  EXPECT_TRUE(h.Jobs.empty());
  EXPECT_FALSE(h.Form->JobRunning());
}

TEST(LaunchChecks, OutputInsideTheSourceOrTheSourceInsideTheOutputIsRefused) {
  TFormHarness h;
  h.UseExistingFolders();
  const std::string source = h.MakeFolder("dst/VONDRAL SD/games");
  h.Form->Ui().EditSource->setText(QString::fromStdString(source));
  h.Dialogs.OutputAnswer = TOutputChoice::ocDelete;
  h.Form->ButtonGoClick();
  ASSERT_EQ(h.Dialogs.Messages.size(), 1);
  EXPECT_TRUE(h.Dialogs.Messages[0].startsWith(QStringLiteral("The output folder and the source folder")));
  EXPECT_TRUE(h.Dialogs.Deleted.isEmpty());
  EXPECT_TRUE(DirectoryExists(source));
  EXPECT_TRUE(h.Jobs.empty());
}

}  // namespace
}  // namespace vq::test
