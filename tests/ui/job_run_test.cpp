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
#include "temp_folder.h"
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

// One generated collection for every case: the jobs only read it.
class JobRunTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = std::make_unique<TempFolder>("jobrun");
    tools::TSampleOptions options;
    options.Seed = 7;
    options.GameCount = 300;
    collection_ = tools::GenerateSampleCollection(folder_->Path() + "collection", options);
  }
  static void TearDownTestSuite() { folder_.reset(); }
  // Real jobs, watched; every report is counted.
  void UseRealJobs() {
    h.Form->SetJobFactory([this](const TJobOptions& options, TOnProgressUpdate callback) -> std::unique_ptr<TThread> {
      h.Jobs.push_back(options);
      h.JobDestroyed->store(false);
      auto job = std::make_unique<TWatchedWorkThread>(options, h.JobDestroyed);
      job->SetOnProgressUpdate([this, callback = std::move(callback)](const std::string& status) {
        ++reports;
        callback(status);
      });
      return job;
    });
  }
  void FillFields() {
    const TForm1Ui& ui = h.Form->Ui();
    ui.EditSource->setText(QString::fromStdString(collection_.GamesDir));
    ui.EditDest->setText(QString::fromStdString(h.MakeFolder("sd")));
    ui.CheckBoxSID->setChecked(true);
    ui.EditHVSC->setText(QString::fromStdString(collection_.HvscDir));
  }

  static std::unique_ptr<TempFolder> folder_;
  static tools::TSampleCollection collection_;
  TFormHarness h;
  std::atomic<int> reports{0};
};

std::unique_ptr<TempFolder> JobRunTest::folder_;
tools::TSampleCollection JobRunTest::collection_;

TEST_F(JobRunTest, AWholeJobRunsFromTheWindowAndEndsIdle) {
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
  EXPECT_LE(scanned, static_cast<int>(collection_.Games.size()));
  EXPECT_TRUE(status.contains(QStringLiteral("SIDs included")));
  EXPECT_TRUE(status.endsWith(QStringLiteral("\r\nREADY.")));
  EXPECT_GT(reports, 40);
  EXPECT_TRUE(FileExists(h.Path("sd/VONDRAL SD/GameList.csv")));
  EXPECT_TRUE(WaitUntil([&] { return h.JobDestroyed->load(); }));
  EXPECT_TRUE(h.Form->Ui().ButtonGo->isEnabled());
  EXPECT_EQ(h.Dialogs.DialogCount(), 0);

  // Again over the first run's output: asked, deleted for real, run again.
  h.Dialogs.OutputAnswer = TOutputChoice::ocDelete;
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
  UseRealJobs();
  FillFields();
  h.Form->ButtonGoClick();
  h.Form->ButtonAbortClick();
  EXPECT_EQ(h.Form->Status(), QStringLiteral("Aborting..."));
  ASSERT_TRUE(WaitUntil([&] { return !h.Form->JobRunning(); }, 60000));
  const QString status = h.Form->Status();
  // Stopped in the scan, long before the last game.
  const QRegularExpression summary(QStringLiteral(
      R"(^Aborted\. \d+ archives scanned, \d+ invalid, 0 excluded by filter\. 0 games extracted\.)"));
  EXPECT_TRUE(summary.match(status).hasMatch()) << status.toStdString();
  EXPECT_TRUE(status.endsWith(QStringLiteral("\r\nREADY.")));
  EXPECT_FALSE(FileExists(h.Path("sd/VONDRAL SD/GameList.csv")));
  EXPECT_TRUE(WaitUntil([&] { return h.JobDestroyed->load(); }));
}

TEST_F(JobRunTest, ClosingTheWindowDuringAJobStopsTheWorkerFirst) {
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
  // No events are handled here: the worker's reports pile up unread until
  // the close begins.
  EXPECT_TRUE(h.Form->close());
  EXPECT_FALSE(h.Form->JobRunning());
  EXPECT_EQ(h.Form->Status(), QStringLiteral("Aborted.\r\nREADY."));
  EXPECT_TRUE(h.JobDestroyed->load());
}

}  // namespace
}  // namespace vq::test
