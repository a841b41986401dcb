// "Verify the Card" from the window: the output folder the fields name,
// verified on the worker thread as a job runs, its results shown once it has
// ended; the refusals without a card; abort and close during a verify.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <chrono>
#include <thread>

#include "base/file_system.h"
#include "temp_folder.h"
#include "tools/sample_collection.h"
#include "ui/radio_group.h"
#include "ui/ui_test_util.h"

namespace vq::test {
namespace {

// The section of `results` titled `title`; null when it has none.
const TResultSection* Section(const TJobResults& results, const std::string& title) {
  for (const TResultSection& section : results.Sections) {
    if (section.Title == title) return &section;
  }
  return nullptr;
}

// Every entry under `folder` with its size and modification time.
QStringList TreeSnapshot(const std::string& folder) {
  QStringList entries;
  QDirIterator it(QString::fromStdString(folder), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QFileInfo info = it.nextFileInfo();
    entries << QStringLiteral("%1 %2 %3")
                   .arg(info.filePath())
                   .arg(info.size())
                   .arg(info.lastModified().toMSecsSinceEpoch());
  }
  entries.sort();
  return entries;
}

// One small generated collection for every case, with every kind of zip
// the scan refuses.
class VerifyRunTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = std::make_unique<TempFolder>("verifyrun");
    tools::TSampleOptions options;
    options.Seed = 11;
    options.GameCount = tools::kMinSpecialGames;
    options.WithHvsc = false;
    collection_ = tools::GenerateSampleCollection(folder_->Path() + "collection", options);
  }
  static void TearDownTestSuite() { folder_.reset(); }

  void SetUp() override {
    h.Form->SetJobFactory([](const TJobOptions& options, TOnProgressUpdate callback) -> std::unique_ptr<TThread> {
      auto job = std::make_unique<TWorkThread>(options);
      job->SetOnProgressUpdate(std::move(callback));
      return job;
    });
    h.Form->SetVerifierFactory([this](const std::string& outputFolder, int jobs,
                                      TOnProgressUpdate callback) -> std::unique_ptr<TCardVerifier> {
      verified_.push_back({outputFolder, jobs});
      auto verifier = std::make_unique<TCardVerifier>(outputFolder, jobs);
      verifier->SetOnProgressUpdate(std::move(callback));
      return verifier;
    });
  }

  // Runs what `click` starts to its end and returns the results it showed.
  const TJobResults& RunToResults(void (TForm1::*click)()) {
    const size_t shown = h.Dialogs.Results.size();
    (h.Form.get()->*click)();
    EXPECT_TRUE(WaitUntil([&] { return !h.Form->JobRunning() && h.Dialogs.Results.size() > shown; }, 60000));
    EXPECT_EQ(h.Dialogs.Results.size(), shown + 1);
    return h.Dialogs.Results.back();
  }

  static std::unique_ptr<TempFolder> folder_;
  static tools::TSampleCollection collection_;
  TFormHarness h;
  std::vector<std::pair<std::string, int>> verified_;  // folder and threads of each verify made
};

std::unique_ptr<TempFolder> VerifyRunTest::folder_;
tools::TSampleCollection VerifyRunTest::collection_;

TEST_F(VerifyRunTest, AJobThenVerifiesOfItsCardShowTheirResults) {
  const TForm1Ui& ui = h.Form->Ui();
  ui.EditSource->setText(QString::fromStdString(collection_.GamesDir));
  ui.EditDest->setText(QStringLiteral(" ") + QString::fromStdString(h.MakeFolder("sd")) + QStringLiteral(" "));
  ui.RadioGroupFileNames->SetItemIndex(1);
  const std::string card = h.Path("sd") + "/vondral sd";

  // The job's results: its summary and the zips the scan refused, each
  // with its reason.
  const TJobResults job = RunToResults(&TForm1::ButtonGoClick);
  EXPECT_TRUE(job.Summary.starts_with("Done. ")) << job.Summary;
  const TResultSection* refused = Section(job, "Refused zip");
  ASSERT_NE(refused, nullptr);
  EXPECT_NE(job.Summary.find(std::to_string(refused->Lines.size()) + " invalid"), std::string::npos) << job.Summary;
  EXPECT_EQ(std::count_if(refused->Lines.begin(), refused->Lines.end(),
                          [](const std::string& line) { return line.find("notazip.zip: ") != std::string::npos; }),
            1);

  // A verify of the card the fields name runs as a job does and finds it
  // whole.
  h.Form->ButtonVerifyClick();
  ASSERT_TRUE(h.Form->JobRunning());
  EXPECT_FALSE(ui.EditDest->isEnabled());
  EXPECT_FALSE(ui.ButtonGo->isEnabled());
  EXPECT_FALSE(ui.ButtonVerify->isEnabled());
  EXPECT_TRUE(ui.ButtonAbort->isEnabled());
  ASSERT_TRUE(WaitUntil([&] { return h.Dialogs.Results.size() == 2; }, 60000));
  ASSERT_EQ(verified_.size(), 1u);
  EXPECT_EQ(verified_[0].first, card);
  EXPECT_EQ(verified_[0].second, JobThreads(TJobOptions{}));
  const TJobResults& whole = h.Dialogs.Results.back();
  EXPECT_TRUE(whole.Summary.starts_with("Card verified: every file matches its record")) << whole.Summary;
  EXPECT_TRUE(whole.Sections.empty());
  EXPECT_TRUE(h.Form->Status().startsWith(QStringLiteral("Card verified:")));
  EXPECT_TRUE(h.Form->Status().endsWith(QStringLiteral("\r\nREADY.")));
  EXPECT_TRUE(ui.ButtonVerify->isEnabled());

  // A disk image changed by one byte and another one gone: both named, and
  // the verify leaves the card as it found it.
  QStringList images;
  QDirIterator it(QString::fromStdString(card), {QStringLiteral("*.d64")}, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) images << it.next();
  images.sort();
  ASSERT_GE(images.size(), 2);
  {
    QFile image(images[0]);
    ASSERT_TRUE(image.open(QIODevice::ReadWrite));
    ASSERT_TRUE(image.seek(100));
    const char byte = image.read(1).at(0);
    ASSERT_TRUE(image.seek(100));
    ASSERT_EQ(image.write(QByteArray(1, static_cast<char>(byte ^ 0x5a))), 1);
  }
  ASSERT_TRUE(QFile::remove(images[1]));
  const QStringList before = TreeSnapshot(card);
  const TJobResults& damaged = RunToResults(&TForm1::ButtonVerifyClick);
  EXPECT_EQ(TreeSnapshot(card), before);
  EXPECT_TRUE(damaged.Summary.starts_with("Card verified: it differs from its record.")) << damaged.Summary;
  EXPECT_NE(damaged.Summary.find(": 1 missing, 1 changed"), std::string::npos) << damaged.Summary;
  const TResultSection* files = Section(damaged, "Not as the job wrote it");
  ASSERT_NE(files, nullptr);
  ASSERT_EQ(files->Lines.size(), 2u);
  const auto relative = [&](const QString& path) { return path.mid(static_cast<qsizetype>(card.size()) + 1).toStdString(); };
  const std::string lines = files->Lines[0] + "\n" + files->Lines[1];
  EXPECT_NE(lines.find("changed: " + relative(images[0]) + " (CRC-32 "), std::string::npos) << lines;
  EXPECT_NE(lines.find("missing: " + relative(images[1])), std::string::npos) << lines;
}

TEST(VerifyChecks, WithoutADestinationOrAnOutputFolderNothingIsVerified) {
  struct TCase {
    const char* Name;
    std::string Dest;
    QString Message;  // how the message starts
  };
  TFormHarness h;
  const TCase cases[] = {
      {"no destination", " \t ", QStringLiteral("Please specify the Destination folder")},
      {"no output folder", h.MakeFolder("empty"),
       QStringLiteral("There is no card to verify: the output folder \"") + QString::fromStdString(h.Path("empty")) +
           QStringLiteral("/VONDRAL SD\" does not exist.")}};
  int made = 0;
  h.Form->SetVerifierFactory([&](const std::string& folder, int jobs, const TOnProgressUpdate&) {
    ++made;
    return std::make_unique<TCardVerifier>(folder, jobs);
  });
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    h.Dialogs.Messages.clear();
    h.Form->Ui().EditDest->setText(QString::fromStdString(c.Dest));
    h.Form->ButtonVerifyClick();
    ASSERT_EQ(h.Dialogs.Messages.size(), 1);
    EXPECT_TRUE(h.Dialogs.Messages[0].startsWith(c.Message)) << h.Dialogs.Messages[0].toStdString();
    EXPECT_FALSE(h.Form->JobRunning());
    EXPECT_EQ(h.Form->Status(), QStringLiteral("READY."));
  }
  EXPECT_EQ(made, 0);
  EXPECT_TRUE(h.Dialogs.Results.empty());
}

// A verify that holds until it is asked to stop, then runs as a verify
// asked to stop does; notes when it has been destroyed.
class THeldVerifier : public TCardVerifier {
 public:
  THeldVerifier(const std::string& folder, std::shared_ptr<std::atomic<bool>> destroyed)
      : TCardVerifier(folder, 1), destroyed_(std::move(destroyed)) {}
  ~THeldVerifier() override {
    StopAndWait();
    *destroyed_ = true;
  }

 protected:
  void Execute() override {
    while (!Terminated()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    TCardVerifier::Execute();
  }

 private:
  std::shared_ptr<std::atomic<bool>> destroyed_;
};

TEST(VerifyLifetime, AbortEndsAVerifyWithItsResultsAndClosingJoinsItWithout) {
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "close" : "abort");
    TFormHarness h;
    h.UseExistingFolders();
    const std::string output = h.MakeFolder("dst/VONDRAL SD");
    WriteEmptyRecord(output, h.Form->CollectJobOptions());
    auto destroyed = std::make_shared<std::atomic<bool>>(false);
    h.Form->SetVerifierFactory([&](const std::string& folder, int, TOnProgressUpdate callback) {
      auto verifier = std::make_unique<THeldVerifier>(folder, destroyed);
      verifier->SetOnProgressUpdate(std::move(callback));
      return verifier;
    });
    h.Form->show();
    h.Form->ButtonVerifyClick();
    ASSERT_TRUE(h.Form->JobRunning());
    if (close) {
      // close() returns once the verify has ended and is joined.
      EXPECT_TRUE(h.Form->close());
      EXPECT_FALSE(h.Form->JobRunning());
      EXPECT_TRUE(destroyed->load());
      RunEvents(50);
      EXPECT_TRUE(h.Dialogs.Results.empty());
    } else {
      h.Form->ButtonAbortClick();
      EXPECT_EQ(h.Form->Status(), QStringLiteral("Aborting..."));
      ASSERT_TRUE(WaitUntil([&] { return h.Dialogs.Results.size() == 1; }));
      EXPECT_TRUE(h.Dialogs.Results[0].Summary.starts_with("Verify aborted: only part of the card was read.")) << h.Dialogs.Results[0].Summary;
      EXPECT_TRUE(h.Form->Status().endsWith(QStringLiteral("\r\nREADY.")));
      EXPECT_TRUE(destroyed->load());
      EXPECT_TRUE(h.Form->Ui().ButtonVerify->isEnabled());
    }
  }
}

}  // namespace
}  // namespace vq::test
