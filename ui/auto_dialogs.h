#pragma once

#include "ui/dialogs.h"

namespace vq {

// Dialogs for unattended runs of the window (screenshots, benchmark): an
// existing output folder is deleted, without a display, messages go to
// standard error, choosers are cancelled and results are passed over (the
// status screen shows their summary).
class TAutoDialogs : public TDialogs {
 public:
  // The dialogs of TDialogs, answered without a user.
  void ShowMessage(const QString& text) override;
  void ShowWarning(const QString& text) override;
  TOutputChoice AskExistingOutput(const QString& text) override;
  QString ChooseFolder(const QString& start, bool destination) override;
  QString ChooseFilterFile(const QString& startDir) override;
  QString ChooseProfileToLoad(const QString& startDir) override;
  QString ChooseProfileToSave(const QString& startDir) override;
  bool DeleteFolder(const QString& path) override;
  void ShowResults(const TJobResults& results) override;
  QString ChooseResultsFile(const QString& start) override;
};

}  // namespace vq
