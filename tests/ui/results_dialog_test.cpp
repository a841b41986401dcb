// The results window: what it shows of a run's results, and saving them.
#include "ui/results_dialog.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>

#include "base/file_system.h"
#include "ui/ui_test_util.h"

namespace vq::test {
namespace {

// Results with two lists; items hold markup characters and runs of blanks.
TJobResults SampleResults() {
  return {"Done. 5 archives scanned, 2 invalid. | Warning: 1 unknown extension",
          {{"Refused zip", {"/games/A/<Bad> & Co.zip: not a zip", "/games/B/Two  blanks.zip: truncated"}},
           {"Game with errors", {"Gamma [7] (G/Gamma/): Disk full"}}}};
}

TEST(ResultsDialog, ShowsTheSummaryThenEachListUnderItsTitleAndCount) {
  const std::pair<TJobResults, QString> cases[] = {
      {SampleResults(),
       QStringLiteral("Done. 5 archives scanned, 2 invalid.\nWarning: 1 unknown extension\n"
                      "Refused zip (2)\n/games/A/<Bad> & Co.zip: not a zip\n/games/B/Two  blanks.zip: truncated\n"
                      "Game with errors (1)\nGamma [7] (G/Gamma/): Disk full")},
      {TJobResults{"Card verified: every file matches its record.", {}},
       QStringLiteral("Card verified: every file matches its record.\nNothing to list.")}};
  TFakeDialogs dialogs;
  for (const auto& [results, shown] : cases) {
    TResultsDialog dialog(results, dialogs);
    const QTextEdit* view = dialog.TextResults();
    EXPECT_EQ(view->toPlainText(), shown);
    EXPECT_TRUE(view->isReadOnly());
    EXPECT_TRUE(view->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_TRUE(view->textInteractionFlags() & Qt::TextSelectableByKeyboard);
  }
}

TEST(ResultsDialog, SaveWritesTheResultsTextToTheChosenFile) {
  QTemporaryDir dir;
  const QString kept = dir.filePath(QStringLiteral("results.txt"));
  const QString missingFolder = dir.filePath(QStringLiteral("gone/results.txt"));
  struct TCase {
    const char* Name;
    QString Answer;  // the file chosen; empty: cancelled
    bool Saved;
  };
  const TCase cases[] = {{"saved over an earlier file", kept, true},
                         {"cancelled", QString(), false},
                         {"the folder is missing", missingFolder, false}};
  WriteWholeFile(kept.toStdString(), "earlier", 7);
  const TJobResults results = SampleResults();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TFakeDialogs dialogs;
    dialogs.ResultsFileAnswer = c.Answer;
    TResultsDialog dialog(results, dialogs);
    dialog.ButtonSave()->click();
    EXPECT_EQ(dialogs.ResultsFileStarts, QStringList{DefaultResultsFile()});
    if (c.Saved) {
      EXPECT_EQ(ReadWholeFileAsString(c.Answer.toStdString()), ResultsText(results));
      EXPECT_TRUE(dialogs.Messages.isEmpty());
    } else if (c.Answer.isEmpty()) {
      EXPECT_TRUE(dialogs.Messages.isEmpty());
    } else {
      EXPECT_FALSE(FileExists(c.Answer.toStdString()));
      ASSERT_EQ(dialogs.Messages.size(), 1);
      const QString lead = QStringLiteral("Cannot save the results to \"") + c.Answer + QStringLiteral("\": ");
      EXPECT_TRUE(dialogs.Messages[0].startsWith(lead)) << dialogs.Messages[0].toStdString();
      EXPECT_GT(dialogs.Messages[0].size(), lead.size());
    }
  }
}

}  // namespace
}  // namespace vq::test
