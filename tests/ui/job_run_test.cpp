// Whole jobs started from the window on generated collections: a run to the
// end, a run over an earlier output, an abort, and closing the window while a
// job runs.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include "base/file_system.h"
#include "engine/work_thread.h"
#include "tools/sample_collection.h"
#include "ui/qt_dialogs.h"
#include "base/shell_delete.h"
#include "ui/ui_test_util.h"

namespace vq::test {
namespace {

// A real job that notes when it has been destroyed, slowly, so that a
// window that stops waiting too early is caught.
class TWatchedWorkThread : public TWorkThread {
 public:
  TWatchedWorkThread(const TJobOptions& o, std::shared_ptr<std::atomic<bool>> destroyed)
      : TWorkThread(o),
        FDestroyed(std::move(destroyed)) {}
  ~TWatchedWorkThread() override {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    *FDestroyed = true;
  }

 private:
  std::shared_ptr<std::atomic<bool>> FDestroyed;
};

class JobRunTest : public ::testing::Test {
 protected:
  void Generate(int games) {
    tools::TSampleOptions options;
    options.Seed = 7;
    options.GameCount = games;
    collection = tools::GenerateSampleCollection(h.Path("collection"), options);
  }
  // Real jobs, watched; every report is counted.
  void UseRealJobs() {
    h.Form->SetJobFactory([this](const TJobOptions& options, TOnProgressUpdate callback) -> std::unique_ptr<TThread> {
      h.Jobs.push_back(options);
      h.JobDestroyed->store(false);
      auto job = std::make_unique<TWatchedWorkThread>(options, h.JobDestroyed);
      job->SetOnProgressUpdate([this, callback](const std::string& status) {
        ++reports;
        callback(status);
      });
      return job;
    });
  }
  void FillFields() {
    const TForm1Ui& ui = h.Form->Ui();
    ui.EditSource->setText(QString::fromStdString(collection.GamesDir));
    ui.EditDest->setText(QString::fromStdString(h.MakeFolder("sd")));
    ui.CheckBoxSID->setChecked(true);
    ui.EditHVSC->setText(QString::fromStdString(collection.HvscDir));
  }

  TFormHarness h;
  tools::TSampleCollection collection;
  int reports = 0;
};

TEST_F(JobRunTest, AWholeJobRunsFromTheWindowAndEndsIdle) {
  Generate(40);
  UseRealJobs();
  FillFields();
  h.Form->ButtonGoClick();
  ASSERT_TRUE(h.Form->JobRunning());
  ASSERT_TRUE(WaitUntil([&] { return !h.Form->JobRunning(); }, 60000));
  const QString status = h.Form->Status();
  const QRegularExpression summary(QStringLiteral(
      R"(^Done\. (\d+) archives scanned, (\d+) invalid, 0 excluded by filter\. (\d+) games extracted\.)"));
  const QRegularExpressionMatch match = summary.match(status);
  ASSERT_TRUE(match.hasMatch()) << status.toStdString();
  const int scanned = match.captured(1).toInt();
  const int extracted = match.captured(3).toInt();
  EXPECT_GT(extracted, 20);
  EXPECT_LE(extracted, scanned);
  EXPECT_LE(scanned, static_cast<int>(collection.Games.size()));
  EXPECT_TRUE(status.contains(QStringLiteral("SIDs included")));
  EXPECT_TRUE(status.endsWith(QStringLiteral("\r\nREADY.")));
  EXPECT_GT(reports, 40);
  EXPECT_TRUE(FileExists(h.Path("sd/VONDRAL SD/GameList.csv")));
  EXPECT_TRUE(WaitUntil([&] { return h.JobDestroyed->load(); }));
  EXPECT_TRUE(h.Form->Ui().ButtonGo->isEnabled());
  EXPECT_EQ(h.Dialogs.DialogCount(), 0);

  // Again over the first run's output: asked, deleted for real, run again.
  h.Dialogs.ConfirmAnswer = true;
  h.Dialogs.OnDelete = [](const QString& path) {
    return TShellDelete(nullptr).Delete(path.toStdString()) == TDeleteResult::drDone;
  };
  WriteWholeFile(h.Path("sd/VONDRAL SD/stale.txt"), "x", 1);
  h.Form->ButtonGoClick();
  EXPECT_EQ(h.Dialogs.Questions.size(), 1);
  ASSERT_TRUE(WaitUntil([&] { return !h.Form->JobRunning(); }, 60000));
  EXPECT_TRUE(h.Form->Status().startsWith(QStringLiteral("Done.")));
  EXPECT_FALSE(FileExists(h.Path("sd/VONDRAL SD/stale.txt")));
  EXPECT_TRUE(FileExists(h.Path("sd/VONDRAL SD/GameList.csv")));
}

TEST_F(JobRunTest, AnAbortEndsTheJobWithTheAbortedSummary) {
  Generate(30);
  UseRealJobs();
  FillFields();
  h.Form->ButtonGoClick();
  // The worker waits for its first report to be handed over, so the flag is
  // set before the scan starts.
  h.Form->ButtonAbortClick();
  EXPECT_EQ(h.Form->Status(), QStringLiteral("Aborting..."));
  ASSERT_TRUE(WaitUntil([&] { return !h.Form->JobRunning(); }, 60000));
  const QString status = h.Form->Status();
  EXPECT_TRUE(status.startsWith(QStringLiteral("Aborted. 0 archives scanned, 0 invalid, 0 excluded by filter. 0 games "
                                               "extracted.")))
      << status.toStdString();
  EXPECT_TRUE(status.endsWith(QStringLiteral("\r\nREADY.")));
  EXPECT_FALSE(FileExists(h.Path("sd/VONDRAL SD/GameList.csv")));
  EXPECT_TRUE(WaitUntil([&] { return h.JobDestroyed->load(); }));
}

TEST_F(JobRunTest, ClosingTheWindowDuringAJobStopsTheWorkerFirst) {
  Generate(300);
  UseRealJobs();
  FillFields();
  h.Form->show();
  h.Form->ButtonGoClick();
  ASSERT_TRUE(WaitUntil([&] { return reports >= 5; }));
  ASSERT_TRUE(h.Form->JobRunning());
  EXPECT_TRUE(h.Form->close());
  // close() returns only after the job's termination notice has run.
  EXPECT_FALSE(h.Form->JobRunning());
  EXPECT_FALSE(h.Form->isVisible());
  EXPECT_TRUE(h.Form->Status().startsWith(QStringLiteral("Aborted."))) << h.Form->Status().toStdString();
  // ... and after the worker has destroyed itself: the program may end now.
  EXPECT_TRUE(h.JobDestroyed->load());
  // The settings were written on the way out.
  EXPECT_TRUE(FileExists(h.Path("vqsd-gui.ini")));
}

TEST(JobLifetime, DestroyingTheWindowWhileAJobReportsWithoutPauseDoesNotHang) {
  auto h = std::make_unique<TFormHarness>();
  h->FakeReports = -1;
  h->UseExistingFolders();
  h->Form->ButtonGoClick();
  ASSERT_TRUE(WaitUntil([&] { return h->Form->Status().startsWith(QStringLiteral("Report ")); }));
  auto destroyed = h->JobDestroyed;
  h.reset();  // the window's destructor stops the job and waits for it
  EXPECT_TRUE(destroyed->load());
}

TEST(JobLifetime, ClosingWhileTheWorkerWaitsOnAReportDoesNotDeadlock) {
  TFormHarness h;
  h.FakeReports = -1;
  h.UseExistingFolders();
  h.Form->show();
  h.Form->ButtonGoClick();
  // No events are handled here, so the worker is blocked in its hand-over
  // when the close begins.
  EXPECT_TRUE(h.Form->close());
  EXPECT_FALSE(h.Form->JobRunning());
  EXPECT_EQ(h.Form->Status(), QStringLiteral("Aborted.\r\nREADY."));
  EXPECT_TRUE(h.JobDestroyed->load());
}

}  // namespace
}  // namespace vq::test
