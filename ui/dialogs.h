#pragma once

#include <QString>

namespace vq {

struct TJobResults;

// The answers to the question about an output folder that exists already.
enum class TOutputChoice {
  ocUpdate,  // bring it up to date in place
  ocDelete,  // delete it and write it anew
  ocCancel,  // leave it and start nothing
};

// Every dialog the main window shows, behind one seam so that tests can
// answer them. Texts are given as the window means them: lines may be
// separated by CR LF or by single CR characters.
class TDialogs {
 public:
  virtual ~TDialogs() = default;

  // A plain message box with an OK button.
  virtual void ShowMessage(const QString& text) = 0;
  // A warning box with an OK button.
  virtual void ShowWarning(const QString& text) = 0;
  // The question about an existing output folder, with the buttons Update,
  // Delete and Cancel; Cancel is the default button and the answer to Escape.
  virtual TOutputChoice AskExistingOutput(const QString& text) = 0;
  // The folder chooser, preset to `start`; `destination` adds the buttons
  // that create and delete folders. Empty when cancelled.
  virtual QString ChooseFolder(const QString& start, bool destination) = 0;
  // The filter file's open dialog (XML files), starting in `startDir`.
  // Empty when cancelled.
  virtual QString ChooseFilterFile(const QString& startDir) = 0;
  // "Load Settings": an existing profile, starting in `startDir`. Empty when cancelled.
  virtual QString ChooseProfileToLoad(const QString& startDir) = 0;
  // "Save Settings": a profile name with the extension "vqsini" added when
  // missing, asking before an existing file is replaced. Empty when cancelled.
  virtual QString ChooseProfileToSave(const QString& startDir) = 0;
  // Deletes `path` and everything in it permanently, with a progress display
  // the user can cancel. False when anything failed or was cancelled.
  virtual bool DeleteFolder(const QString& path) = 0;
  // The results of a job, an update or a verify that ended: the summary and
  // the lists, with the buttons "Save..." and "Close". Returns when closed.
  virtual void ShowResults(const TJobResults& results) = 0;
  // "Save..." of the results: a text file name, preset to `start`, asking
  // before an existing file is replaced. Empty when cancelled.
  virtual QString ChooseResultsFile(const QString& start) = 0;
};

}  // namespace vq
