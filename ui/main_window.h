#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/card_verify.h"
#include "engine/job_options.h"
#include "engine/job_results.h"
#include "engine/thread.h"
#include "engine/work_thread.h"
#include "ui/form1_ui.h"
#include "ui/status_mailbox.h"

class QLineEdit;
class QTimer;

namespace vq {

class TDialogs;
class TIniFile;
struct TJobCheck;

// Makes a suspended job over `options` (checked and trimmed) whose status
// reports go to `onProgress`, on the job's own thread.
using TJobFactory = std::function<std::unique_ptr<TThread>(const TJobOptions& options, TOnProgressUpdate onProgress)>;
// Makes a suspended verify of `outputFolder` with `jobs` threads reading,
// whose status reports go to `onProgress`, on the verify's own thread.
using TVerifierFactory = std::function<std::unique_ptr<TCardVerifier>(const std::string& outputFolder, int jobs,
                                                                       TOnProgressUpdate onProgress)>;

// The program's working window: collects the job options, checks them,
// deletes or updates an earlier output folder after asking, runs one job or
// one verify of the output folder at a time on its worker thread, shows its
// reports on the status screen and its results once it has ended, and keeps
// the options in the settings store.
//
// Lifetime: `settings` and `dialogs` must outlive the window. The window owns
// the running job or verify and joins it when it ends; closing the window
// aborts it and waits for it.
class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // Builds the window and reads the options from `settings`.
  TForm1(TIniFile& settings, TDialogs& dialogs, QWidget* parent = nullptr);
  // Aborts a running job and waits until it has ended.
  ~TForm1() override;

  // Replaces how jobs are made (tests); the default makes a TWorkThread.
  void SetJobFactory(TJobFactory factory) { FJobFactory = std::move(factory); }
  // Replaces how verifies are made (tests); the default makes a TCardVerifier.
  void SetVerifierFactory(TVerifierFactory factory) { FVerifierFactory = std::move(factory); }
  // The window "Read the Readme" shows; not owned.
  void SetReadmeWindow(QWidget* readme) { FReadme = readme; }
  // The folder the profile and filter dialogs start in (the executable's).
  void SetProgramFolder(const QString& folder) { FProgramFolder = folder; }
  // The controls.
  const TForm1Ui& Ui() const { return FUi; }
  // The status text, lines ending in CR LF.
  const QString& Status() const { return FStatus; }
  // True while a job or a verify runs.
  bool JobRunning() const { return WorkerThread != nullptr; }
  // The options the fields give, untrimmed.
  TJobOptions CollectJobOptions() const;
  // Shows `options` in the fields.
  void ShowJobOptions(const TJobOptions& options);

  // Validates the fields and starts a job; nothing while one runs.
  void ButtonGoClick();
  // Verifies the output folder the fields name against its record, on the
  // worker thread as a job runs; refuses, with a message, when there is no
  // destination or no output folder. Nothing while a job runs.
  void ButtonVerifyClick();
  // Asks the running job or verify to stop.
  void ButtonAbortClick();
  // The three folder choosers; the HVSC one checks for "MUSICIANS".
  void ButtonBrowseSourceClick();
  void ButtonBrowseDestClick();
  void ButtonBrowseHVSCClick();
  // Chooses the filter file and checks it.
  void ButtonFilterFileClick();
  // Shows the readme window beside this one.
  void RzButtonReadmeClick();
  // "Load Settings..." and "Save Settings...".
  void LoadProfile1Click();
  void SaveProfile1Click();

  // Applies the twelve options of `store`'s empty-named section.
  void ReadSettings(const TIniFile& store);
  // Writes the twelve options into `store` and flushes it. Throws vq::Error
  // when the file cannot be written.
  void WriteSettings(TIniFile& store);
  // Writes the options and the window state into the settings file, as
  // closing does; a file that cannot be written is passed over. Runs when
  // the session ends.
  void SaveSettingsNow();

  // Enables or disables the input fields, in their fixed order.
  void SetInputFieldsEnable(bool Enabled);
  // The uppercase check box is usable only for the 1541 Ultimate style.
  void UpdateUppercaseEnable();
  // The selected name style; no selection counts as fnsNone.
  TFileNameStyle GetFileNameStyle() const;
  // Selects a name style item; values outside 0..2 select 2.
  void SetFileNameStyle(int value);
  // Shows the status text, with the blinking cursor line when idle.
  void ShowStatus();
  // Repaints the four border strips.
  void RepaintBorder();
  // The 350 ms tick: flips the cursor phase and shows the status.
  void TimerUpdateStatusTimer();
  // The 50 ms tick while a job runs.
  void TimerAnimateBorderTimer();
  // A job report, on this window's thread: stored, shown at the next tick.
  void OnWorkUpdate(const std::string& Status);
  // Takes the job's latest report, if a new one came; at most about 30 times
  // a second while a job runs.
  void TimerTakeStatusTimer();
  // The job or verify has ended: back to idle; its results are shown once
  // its thread is joined.
  void OnWorkTerminate();
  // Sets the status text without showing it at once.
  void SetStatus(const QString& status) { FStatus = status; }

  // "" when `FileName` is a usable filter file, else the reason.
  static QString CheckFilterFile(const QString& FileName);
  // The question about the existing output folder `outputFolder`: its full
  // path and what Update, Delete and Cancel do with it; Update as a resume
  // when it holds only the record of a job that was cut off, and as not
  // usable when it holds no record.
  static QString ExistingOutputQuestion(const std::string& outputFolder);

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormActivate();
  void ApplyStoredPosition();
  void SaveFormState();
  void FormClose();
  bool BrowseFolder(QLineEdit* edit, bool destination);
  // Checks the fields again into `check`, as an update of the output folder;
  // false, the reason shown, when the folder cannot be updated.
  bool CheckUpdate(TJobCheck& check);
  bool DeleteOutputFolder(const TJobCheck& check);
  void StartJob(const TJobOptions& options);
  // Reads, from a run's termination notice, the results it leaves to show;
  // nullopt when there are none.
  using TResultsReader = std::function<std::optional<TJobResults>()>;
  // A suspended job or verify and the reader of its results (may be empty).
  struct TRun {
    std::unique_ptr<TThread> Thread;
    TResultsReader Results;
  };
  // Makes the run that StartRun starts, handing it the status callback.
  using TRunMaker = std::function<TRun(TOnProgressUpdate onProgress)>;
  // Makes the run with `make` and starts it on its thread with the window
  // set as busy; a run that cannot be made or started ends at once, its
  // reason as the status.
  void StartRun(const TRunMaker& make);
  void SetStartButtonsEnable(bool Enabled);
  void WaitForJobEnd();
  void JoinEndedJob();
  // Joins the ended run and shows its results, unless the window closes.
  void FinishEndedRun();

  TIniFile& FSettings;
  TDialogs& FDialogs;
  TForm1Ui FUi;
  TJobFactory FJobFactory;
  TVerifierFactory FVerifierFactory;
  QWidget* FReadme = nullptr;
  QString FProgramFolder;
  QTimer* TimerUpdateStatus;
  QTimer* TimerAnimateBorder;
  QTimer* TimerTakeStatus;
  QString FStatus;
  bool FCursorOn = false;
  std::unique_ptr<TThread> WorkerThread;  // the running job
  std::unique_ptr<TThread> FEndedJob;     // a job whose notice has run, still to be joined
  std::shared_ptr<TStatusMailbox> FMailbox;  // the running job's latest report
  TResultsReader FRunResults;                 // reads the running job's results at its end
  std::optional<TJobResults> FPendingResults;  // the ended job's, shown once it is joined
  bool FPositionApplied = false;
  bool FReadmeShown = false;
  bool FClosing = false;
};

}  // namespace vq
