#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/ini_file.h"
#include "engine/job_results.h"
#include "engine/thread.h"
#include "ui/dialogs.h"
#include "engine/work_thread.h"
#include "ui/main_window.h"

namespace vq::test {

// Runs the event loop until `done` holds or `timeoutMs` has passed; returns `done()`.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 20000);
// Runs the event loop for `ms` milliseconds.
void RunEvents(int ms);
// Writes into the existing `outputFolder` the record of a job with
// `options` that wrote no game.
void WriteEmptyRecord(const std::string& outputFolder, const TJobOptions& options);

// Dialogs that record what the window asked and answer as told.
class TFakeDialogs : public TDialogs {
 public:
  void ShowMessage(const QString& text) override { Messages << text; }
  void ShowWarning(const QString& text) override { Warnings << text; }
  TOutputChoice AskExistingOutput(const QString& text) override {
    Questions << text;
    return OutputAnswer;
  }
  QString ChooseFolder(const QString& start, bool destination) override {
    FolderStarts << start;
    FolderForDestination.push_back(destination);
    return FolderAnswer;
  }
  QString ChooseFilterFile(const QString& startDir) override {
    FilterStarts << startDir;
    return FilterAnswer;
  }
  QString ChooseProfileToLoad(const QString& startDir) override {
    ProfileStarts << startDir;
    return LoadAnswer;
  }
  QString ChooseProfileToSave(const QString& startDir) override {
    ProfileStarts << startDir;
    return SaveAnswer;
  }
  bool DeleteFolder(const QString& path) override {
    Deleted << path;
    return OnDelete ? OnDelete(path) : DeleteAnswer;
  }
  void ShowResults(const TJobResults& results) override { Results.push_back(results); }
  QString ChooseResultsFile(const QString& start) override {
    ResultsFileStarts << start;
    return ResultsFileAnswer;
  }

  // Every message, warning and question, in the order shown.
  int DialogCount() const { return static_cast<int>(Messages.size() + Warnings.size() + Questions.size()); }

  QStringList Messages, Warnings, Questions, FolderStarts, FilterStarts, ProfileStarts, Deleted, ResultsFileStarts;
  std::vector<bool> FolderForDestination;
  TOutputChoice OutputAnswer = TOutputChoice::ocCancel;
  QString FolderAnswer, FilterAnswer, LoadAnswer, SaveAnswer, ResultsFileAnswer;
  std::vector<TJobResults> Results;  // every results window shown
  bool DeleteAnswer = true;
  std::function<bool(const QString&)> OnDelete;  // replaces DeleteAnswer when set
};

// A job that reports "Report 0", "Report 1", ... on its own thread and
// ends with "Done." or, when asked to stop, "Aborted.". With `reports` < 0 it
// runs until it is asked to stop.
class TFakeJob : public TThread {
 public:
  TFakeJob(TOnProgressUpdate callback, int reports, std::shared_ptr<std::atomic<bool>> destroyed)
      : FCallback(std::move(callback)), FReports(reports), FDestroyed(std::move(destroyed)) {}
  ~TFakeJob() override;

 protected:
  void Execute() override;

 private:
  TOnProgressUpdate FCallback;
  int FReports;
  std::shared_ptr<std::atomic<bool>> FDestroyed;
};

// A window over a settings file in a temporary folder, with fake dialogs and
// a factory that records the options and makes fake jobs.
class TFormHarness {
 public:
  // `settingsText` is written to the settings file first when not empty.
  explicit TFormHarness(const std::string& settingsText = {});
  ~TFormHarness();

  // A path in the temporary folder.
  std::string Path(const std::string& name) const { return Dir.filePath(QString::fromStdString(name)).toStdString(); }
  // Creates a folder in the temporary folder and returns its path.
  std::string MakeFolder(const std::string& name) const;
  // Sets the source and destination fields to new folders "src" and "dst".
  void UseExistingFolders();

  QTemporaryDir Dir;
  std::unique_ptr<TIniFile> Settings;
  TFakeDialogs Dialogs;
  std::unique_ptr<TForm1> Form;
  std::vector<TJobOptions> Jobs;     // options of every job made
  QStringList StatusAtJobCreation;   // the window's status when each job was made
  int FakeReports = 3;               // reports of the next fake jobs (< 0: until stopped)
  std::shared_ptr<std::atomic<bool>> JobDestroyed = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace vq::test
