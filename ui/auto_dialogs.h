#pragma once

#include "ui/dialogs.h"

namespace vq {

// Dialogs for unattended runs of the window (screenshots, benchmark): an
// existing output folder is deleted, without a display, messages go to
// standard error and choosers are cancelled.
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
};

}  // namespace vq
