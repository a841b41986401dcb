#pragma once

#include "ui/dialogs.h"

class QWidget;

namespace vq {

// The dialogs of the desktop: message boxes, the folder chooser, the file
// dialogs, the folder delete with a progress display and the results window,
// all modal over their parent window.
class TQtDialogs : public TDialogs {
 public:
  // `parent` (may be null) centres and owns the dialogs while they show.
  explicit TQtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
  // The window the dialogs show over.
  void SetParent(QWidget* parent) { parent_ = parent; }

  // The dialogs of TDialogs, shown modally over the parent.
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

 private:
  QWidget* parent_;
};

}  // namespace vq
