#pragma once

#include <QDialog>
#include <QString>

#include "engine/job_results.h"

class QPushButton;
class QTextEdit;

namespace vq {

class TDialogs;

// The name "Save..." of the results proposes: vqsd-results.txt in the
// user's home folder.
QString DefaultResultsFile();

// Asks through `dialogs` for a file, preset to `start`, and writes
// ResultsText(results) to it whole: the file is replaced only once the new
// text is complete. A failure is shown as a message naming the file and the
// cause. False when nothing was saved (cancelled or failed).
bool SaveResults(const TJobResults& results, TDialogs& dialogs, const QString& start);

// The window that shows what a job, an update or a verify leaves for the
// user: the summary at the top, then each list under its title and count,
// in a read-only text view that scrolls and can be selected and copied.
// "Save..." writes the text to a file chosen through `dialogs`; "Close"
// ends the dialog.
//
// Lifetime: `dialogs` must outlive the dialog.
class TResultsDialog : public QDialog {
  Q_OBJECT

 public:
  TResultsDialog(TJobResults results, TDialogs& dialogs, QWidget* parent = nullptr);

  // The text view and the two buttons.
  QTextEdit* TextResults() const { return textResults_; }
  QPushButton* ButtonSave() const { return buttonSave_; }
  QPushButton* ButtonClose() const { return buttonClose_; }

  // "Save...": asks for a file and writes the results into it.
  void ButtonSaveClick();

 private:
  TJobResults results_;
  TDialogs& dialogs_;
  QTextEdit* textResults_;
  QPushButton* buttonSave_;
  QPushButton* buttonClose_;
};

}  // namespace vq
