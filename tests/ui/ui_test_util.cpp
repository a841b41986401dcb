#include "ui/ui_test_util.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <chrono>
#include <thread>

#include "base/file_system.h"
#include "card/card_folder.h"
#include "engine/manifest.h"

namespace vq::test {

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < timeoutMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

void RunEvents(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void WriteEmptyRecord(const std::string& outputFolder, const TJobOptions& options) {
  TManifest record;
  record.Fingerprint = OptionsFingerprint(options);
  WriteManifest(TCardFolder(outputFolder), kManifestName, record);
}

TFakeJob::~TFakeJob() {
  StopAndWait();
  if (FDestroyed) *FDestroyed = true;
}

void TFakeJob::Execute() {
  for (int i = 0; (FReports < 0 || i < FReports) && !Terminated(); ++i) {
    const std::string status = "Report " + std::to_string(i);
    FCallback(status);
    if (FReports < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const std::string last = Terminated() ? "Aborted." : "Done.";
  FCallback(last);
}

TFormHarness::TFormHarness(const std::string& settingsText) {
  const std::string file = Path("vqsd-gui.ini");
  if (!settingsText.empty()) WriteWholeFile(file, settingsText.data(), settingsText.size());
  Settings = std::make_unique<TIniFile>(file);
  Form = std::make_unique<TForm1>(*Settings, Dialogs);
  Form->SetProgramFolder(Dir.path());
  Form->SetJobFactory([this](const TJobOptions& options, TOnProgressUpdate callback) -> std::unique_ptr<TThread> {
    Jobs.push_back(options);
    StatusAtJobCreation << Form->Status();
    return std::make_unique<TFakeJob>(std::move(callback), FakeReports, JobDestroyed);
  });
}

TFormHarness::~TFormHarness() { Form.reset(); }

std::string TFormHarness::MakeFolder(const std::string& name) const {
  std::string path = Path(name);
  ForceDirectories(path);
  return path;
}

void TFormHarness::UseExistingFolders() {
  Form->Ui().EditSource->setText(QString::fromStdString(MakeFolder("src")));
  Form->Ui().EditDest->setText(QString::fromStdString(MakeFolder("dst")));
}

}  // namespace vq::test
