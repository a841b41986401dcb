#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <exception>

#include "base/file_system.h"
#include "base/ini_file.h"
#include "base/text.h"
#include "card/card_folder.h"
#include "engine/job_check.h"
#include "engine/manifest.h"
#include "ui/app_setup.h"
#include "ui/dialogs.h"
#include "ui/radio_group.h"
#include "ui/status_screen.h"

namespace vq {

namespace {

constexpr int kStatusInterval = 350;
constexpr int kBorderInterval = 50;
constexpr int kTakeStatusInterval = 33;
const char16_t kCursorBlock = u'\u2588';

std::string TrimmedText(const QLineEdit* edit) { return Trim(edit->text().toStdString()); }

// What an ended run leaves to show: a run that failed shows its results
// only when it has some to list (its status screen tells why it failed).
std::optional<TJobResults> ShownResults(TJobOutcome outcome, TJobResults results) {
  if (outcome == TJobOutcome::joFailed && results.Sections.empty()) return std::nullopt;
  return results;
}

// What an existing output folder holds of a job's record.
enum class TRecordHeld {
  rhRecord,  // a record (or one it cannot read: the update's check tells)
  rhCutOff,  // only the record of a fresh job that was cut off
  rhNone,    // none
};

TRecordHeld RecordHeld(const std::string& outputFolder) {
  try {
    const TCardFolder card(outputFolder);
    if (HasUnfinishedManifest(card)) return TRecordHeld::rhCutOff;
    return FindManifest(card).empty() ? TRecordHeld::rhNone : TRecordHeld::rhRecord;
  } catch (const std::exception&) {
    return TRecordHeld::rhRecord;
  }
}

// Restores the normal cursor when the scope ends, also on an exception.
class TOverrideCursor {
 public:
  explicit TOverrideCursor(Qt::CursorShape shape) { QApplication::setOverrideCursor(shape); }
  ~TOverrideCursor() { QApplication::restoreOverrideCursor(); }
  TOverrideCursor(const TOverrideCursor&) = delete;
  TOverrideCursor& operator=(const TOverrideCursor&) = delete;
};

}  // namespace

TForm1::TForm1(TIniFile& settings, TDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      FSettings(settings),
      FDialogs(dialogs),
      FJobFactory([](const TJobOptions& options, TOnProgressUpdate onProgress) -> std::unique_ptr<TThread> {
        auto job = std::make_unique<TWorkThread>(options);
        job->SetOnProgressUpdate(std::move(onProgress));
        return job;
      }),
      FVerifierFactory([](const std::string& outputFolder, int jobs,
                          TOnProgressUpdate onProgress) -> std::unique_ptr<TCardVerifier> {
        auto verifier = std::make_unique<TCardVerifier>(outputFolder, jobs);
        verifier->SetOnProgressUpdate(std::move(onProgress));
        return verifier;
      }),
      FProgramFolder(QCoreApplication::applicationDirPath()),
      TimerUpdateStatus(new QTimer(this)),
      TimerAnimateBorder(new QTimer(this)),
      TimerTakeStatus(new QTimer(this)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Vondral64 Quillem SD"));
  setWindowIcon(QIcon(QStringLiteral(":/logo.png")));
  setFont(QApplication::font());
  FUi.SetupUi(this);
  adjustSize();
  if (!FSettings.ReadBool("FormState", "Saved", false)) {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
      QRect frame(QPoint(0, 0), size());
      frame.moveCenter(screen->availableGeometry().center());
      move(frame.topLeft());
    }
  }

  connect(FUi.RzButtonReadme, &QPushButton::clicked, this, &TForm1::RzButtonReadmeClick);
  connect(FUi.LoadProfile1, &QAction::triggered, this, &TForm1::LoadProfile1Click);
  connect(FUi.SaveProfile1, &QAction::triggered, this, &TForm1::SaveProfile1Click);
  connect(FUi.ButtonBrowseSource, &QPushButton::clicked, this, &TForm1::ButtonBrowseSourceClick);
  connect(FUi.ButtonBrowseDest, &QPushButton::clicked, this, &TForm1::ButtonBrowseDestClick);
  connect(FUi.ButtonBrowseHVSC, &QPushButton::clicked, this, &TForm1::ButtonBrowseHVSCClick);
  connect(FUi.ButtonFilterFile, &QPushButton::clicked, this, &TForm1::ButtonFilterFileClick);
  connect(FUi.RadioGroupFileNames, &TRadioGroup::Clicked, this, &TForm1::UpdateUppercaseEnable);
  connect(FUi.ButtonVerify, &QPushButton::clicked, this, &TForm1::ButtonVerifyClick);
  connect(FUi.ButtonAbort, &QPushButton::clicked, this, &TForm1::ButtonAbortClick);
  connect(FUi.ButtonGo, &QPushButton::clicked, this, &TForm1::ButtonGoClick);
  // The session may end without closing the window: save the settings then.
  if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    connect(gui, &QGuiApplication::commitDataRequest, this, &TForm1::SaveSettingsNow);
    connect(gui, &QCoreApplication::aboutToQuit, this, &TForm1::SaveSettingsNow);
  }
  TimerUpdateStatus->setObjectName(QStringLiteral("TimerUpdateStatus"));
  TimerUpdateStatus->setInterval(kStatusInterval);
  connect(TimerUpdateStatus, &QTimer::timeout, this, &TForm1::TimerUpdateStatusTimer);
  TimerAnimateBorder->setObjectName(QStringLiteral("TimerAnimateBorder"));
  TimerAnimateBorder->setInterval(kBorderInterval);
  connect(TimerAnimateBorder, &QTimer::timeout, this, &TForm1::TimerAnimateBorderTimer);
  TimerTakeStatus->setInterval(kTakeStatusInterval);
  connect(TimerTakeStatus, &QTimer::timeout, this, &TForm1::TimerTakeStatusTimer);

  // FormCreate.
  FUi.LabelCpy->setText(QStringLiteral("Version ") + VersionString() + QLatin1Char('\n') + FUi.LabelCpy->text());
  ReadSettings(FSettings);
  FStatus = QStringLiteral("READY.");
  ShowStatus();
  FormActivate();
  TimerUpdateStatus->start();
}

TForm1::~TForm1() {
  FClosing = true;  // no results are shown any more
  if (WorkerThread) WorkerThread->Terminate();
  WaitForJobEnd();
}

bool TForm1::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) FormActivate();
  return QWidget::event(event);
}

void TForm1::FormActivate() {
  QLabel* label = FUi.LabelCpy;
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, QColor(0x80, 0x80, 0x80));
  label->setPalette(palette);
}

void TForm1::ButtonGoClick() {
  if (WorkerThread) return;
  FinishEndedRun();
  TJobCheck check = CheckJob(CollectJobOptions());
  if (!check.Problems.empty() && !check.OnlyOutputExists()) {
    FDialogs.ShowMessage(QString::fromStdString(check.Problems.front().Message));
    return;
  }
  if (check.OnlyOutputExists()) {
    switch (FDialogs.AskExistingOutput(ExistingOutputQuestion(check.OutputFolder))) {
      case TOutputChoice::ocUpdate:
        if (!CheckUpdate(check)) return;
        break;
      case TOutputChoice::ocDelete:
        if (!DeleteOutputFolder(check)) return;
        break;
      case TOutputChoice::ocCancel: return;
    }
  }
  // A failure here is met and reported by the job.
  ForceDirectories(check.OutputFolder);
  StartJob(check.Options);
}

QString TForm1::ExistingOutputQuestion(const std::string& outputFolder) {
  QString update;
  switch (RecordHeld(outputFolder)) {
    case TRecordHeld::rhRecord:
      update = QStringLiteral(
          "Update brings it up to date in place: writes only the games that changed, keeps every file the job did "
          "not write, and puts every folder back in the job's order.");
      break;
    case TRecordHeld::rhCutOff:
      update = QStringLiteral(
          "A job writing this folder was cut off. Update resumes it, writing only the games that are missing.");
      break;
    case TRecordHeld::rhNone:
      update = QStringLiteral("Update cannot be used: the folder holds no record of a job (%1).")
                   .arg(QLatin1String(kManifestName));
      break;
  }
  return QStringLiteral("The output folder already exists:\r") +
         QFileInfo(QString::fromStdString(outputFolder)).absoluteFilePath() + QStringLiteral("\r\r") + update +
         QStringLiteral("\r\rDelete removes the folder and everything in it, files of your own included, then writes "
                        "it anew.\r\rCancel leaves it as it is.");
}

void TForm1::ButtonVerifyClick() {
  if (WorkerThread) return;
  FinishEndedRun();
  // The output folder as Go names it: the trimmed destination and the style.
  TJobOptions options = CollectJobOptions();
  options.DestDir = Trim(options.DestDir);
  if (options.DestDir.empty()) {
    FDialogs.ShowMessage(QStringLiteral("Please specify the Destination folder: the card verified is the output "
                                        "folder inside it."));
    return;
  }
  const std::string outputFolder = OutputFolder(options);
  if (!DirectoryExists(outputFolder)) {
    FDialogs.ShowMessage(QStringLiteral("There is no card to verify: the output folder \"%1\" does not exist.")
                             .arg(QString::fromStdString(outputFolder)));
    return;
  }
  const int jobs = JobThreads(options);
  StartRun([&](TOnProgressUpdate onProgress) -> TRun {
    std::unique_ptr<TCardVerifier> verifier = FVerifierFactory(outputFolder, jobs, std::move(onProgress));
    const TCardVerifier* made = verifier.get();
    return {std::move(verifier),
            [made] { return ShownResults(made->Outcome(), VerifyResults(made->Report(), made->Status())); }};
  });
}

bool TForm1::CheckUpdate(TJobCheck& check) {
  // Whether the folder can be updated is the check's to say.
  TJobOptions options = CollectJobOptions();
  options.Update = true;
  check = CheckJob(options);
  if (check.Problems.empty()) return true;
  QString message = QString::fromStdString(check.Problems.front().Message);
  if (check.Problems.front().Kind == TJobProblemKind::jpCannotUpdate) {
    message += QStringLiteral("\r\rDelete writes the output folder anew.");
  }
  FDialogs.ShowMessage(message);
  return false;
}

bool TForm1::DeleteOutputFolder(const TJobCheck& check) {
  FStatus = QStringLiteral("Deleting the old output folder...");
  ShowStatus();
  FUi.Panel1->repaint();
  SetInputFieldsEnable(false);
  SetStartButtonsEnable(false);
  repaint();
  const bool deleted = FDialogs.DeleteFolder(QString::fromStdString(check.OutputFolder));
  // The window may have been closed while the delete handed out events.
  if (FClosing) return false;
  if (!deleted) {
    SetInputFieldsEnable(true);
    SetStartButtonsEnable(true);
    FDialogs.ShowMessage(QStringLiteral("Error deleting folder. You will need to delete it manually."));
    return false;
  }
  FStatus = QStringLiteral("Working...");
  return true;
}

TJobOptions TForm1::CollectJobOptions() const {
  TJobOptions options;
  options.SourceDir = FUi.EditSource->text().toStdString();
  options.DestDir = FUi.EditDest->text().toStdString();
  options.HvscDir = FUi.EditHVSC->text().toStdString();
  options.FilterFile = FUi.EditFilterFile->text().toStdString();
  options.FileNameStyle = GetFileNameStyle();
  // No item selected runs as the first one.
  options.NFOStyle = NFOStyleFromIndex(FUi.RadioGroupNFO->ItemIndex());
  options.IncludeSIDs = FUi.CheckBoxSID->isChecked();
  options.FilterIDs = FUi.CheckBoxFilter->isChecked();
  options.AutoSwap = FUi.CheckBoxAutoSwap->isChecked();
  options.ExtractT64 = FUi.CheckBoxExtractT64->isChecked();
  options.ForceUppercase = FUi.CheckBox1541UUppercase->isChecked();
  options.TestMode = FUi.CheckBoxTestMode->isChecked();
  options.KeepGoing = FUi.CheckBoxKeepGoing->isChecked();
  return options;
}

void TForm1::ShowJobOptions(const TJobOptions& options) {
  FUi.EditSource->setText(QString::fromStdString(options.SourceDir));
  FUi.EditDest->setText(QString::fromStdString(options.DestDir));
  SetFileNameStyle(static_cast<int>(options.FileNameStyle));
  FUi.RadioGroupNFO->SetItemIndex(static_cast<int>(options.NFOStyle));
  FUi.CheckBoxSID->setChecked(options.IncludeSIDs);
  FUi.EditHVSC->setText(QString::fromStdString(options.HvscDir));
  FUi.CheckBoxFilter->setChecked(options.FilterIDs);
  FUi.EditFilterFile->setText(QString::fromStdString(options.FilterFile));
  FUi.CheckBoxAutoSwap->setChecked(options.AutoSwap);
  FUi.CheckBoxExtractT64->setChecked(options.ExtractT64);
  FUi.CheckBox1541UUppercase->setChecked(options.ForceUppercase);
  FUi.CheckBoxTestMode->setChecked(options.TestMode);
  FUi.CheckBoxKeepGoing->setChecked(options.KeepGoing);
}

void TForm1::StartJob(const TJobOptions& options) {
  StartRun([&](TOnProgressUpdate onProgress) -> TRun {
    std::unique_ptr<TThread> job = FJobFactory(options, std::move(onProgress));
    // A job of another kind (tests, benchmarks) leaves no results.
    const auto* work = dynamic_cast<const TWorkThread*>(job.get());
    TResultsReader results;
    if (work) results = [work] { return ShownResults(work->Outcome(), JobResults(*work)); };
    return {std::move(job), std::move(results)};
  });
}

void TForm1::StartRun(const TRunMaker& make) {
  auto mailbox = std::make_shared<TStatusMailbox>();
  TRun run;
  try {
    run = make([mailbox](const std::string& status) { mailbox->Post(status); });
  } catch (const std::exception& e) {
    FStatus = QString::fromUtf8(e.what()) + QStringLiteral("\r\nREADY.");
    ShowStatus();
    return;
  }
  std::unique_ptr<TThread>& job = run.Thread;
  job->SetOnTerminate([this](TThread&) { OnWorkTerminate(); });
  // The termination notice runs on this window's thread; the worker waits
  // until it has run.
  QObject* context = this;
  job->SetDispatcher([context](const std::function<void()>& call) {
    if (QThread::currentThread() == context->thread()) {
      call();
    } else {
      QMetaObject::invokeMethod(context, [&call] { call(); }, Qt::BlockingQueuedConnection);
    }
  });
  FMailbox = mailbox;
  FUi.Panel1->SetJobRunning(true);
  SetInputFieldsEnable(false);
  setCursor(Qt::BusyCursor);
  SetStartButtonsEnable(false);
  FRunResults = std::move(run.Results);
  try {
    job->Start();
  } catch (const std::exception& e) {
    // No thread could be made: the job never ran.
    FRunResults = nullptr;
    FMailbox.reset();
    FUi.Panel1->SetJobRunning(false);
    unsetCursor();
    FStatus = QString::fromUtf8(e.what()) + QStringLiteral("\r\nREADY.");
    ShowStatus();
    SetInputFieldsEnable(true);
    SetStartButtonsEnable(true);
    return;
  }
  WorkerThread = std::move(job);
  FUi.ButtonAbort->setEnabled(true);
  TimerTakeStatus->start();
  TimerAnimateBorder->start();
  RepaintBorder();
}

void TForm1::ButtonAbortClick() {
  if (!WorkerThread) return;
  WorkerThread->Terminate();
  FUi.ButtonAbort->setEnabled(false);
  FStatus = QStringLiteral("Aborting...");
  ShowStatus();
}

void TForm1::OnWorkUpdate(const std::string& Status) { FStatus = QString::fromStdString(Status); }

void TForm1::TimerTakeStatusTimer() {
  std::string status;
  if (FMailbox && FMailbox->Take(status)) OnWorkUpdate(status);
}

void TForm1::OnWorkTerminate() {
  TimerTakeStatusTimer();  // the job's last report
  TimerTakeStatus->stop();
  FMailbox.reset();
  FStatus += QStringLiteral("\r\nREADY.");
  // Its results are read now, while the notice runs, and shown once the
  // thread is joined.
  if (FRunResults && !FClosing) FPendingResults = FRunResults();
  FRunResults = nullptr;
  // The job's thread is still running this notice: it is joined once the
  // notice has returned.
  FEndedJob = std::move(WorkerThread);
  QMetaObject::invokeMethod(this, &TForm1::FinishEndedRun, Qt::QueuedConnection);
  FUi.Panel1->SetJobRunning(false);
  FUi.ButtonAbort->setEnabled(false);
  SetStartButtonsEnable(true);
  unsetCursor();
  ShowStatus();
  TimerAnimateBorder->stop();
  SetInputFieldsEnable(true);
  RepaintBorder();
}

void TForm1::WaitForJobEnd() {
  // The worker waits for its termination notice to run on this thread, so
  // keep handing calls over until it has run.
  while (WorkerThread) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::ExcludeUserInputEvents);
  }
  JoinEndedJob();
}

void TForm1::JoinEndedJob() {
  // After its notice the worker calls nothing here any more, so joining it
  // cannot block on this thread.
  if (FEndedJob) FEndedJob->WaitFor();
  FEndedJob.reset();
}

void TForm1::FinishEndedRun() {
  JoinEndedJob();
  std::optional<TJobResults> results = std::move(FPendingResults);
  FPendingResults.reset();
  if (results && !FClosing) FDialogs.ShowResults(*results);
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!FClosing) {
    FClosing = true;
    if (WorkerThread) ButtonAbortClick();
    SaveFormState();
    FormClose();
    if (WorkerThread) hide();
    WaitForJobEnd();
  }
  event->accept();
}

void TForm1::SetInputFieldsEnable(bool Enabled) {
  for (QWidget* widget :
       {static_cast<QWidget*>(FUi.EditSource), static_cast<QWidget*>(FUi.EditDest),
        static_cast<QWidget*>(FUi.ButtonBrowseSource), static_cast<QWidget*>(FUi.ButtonBrowseDest),
        static_cast<QWidget*>(FUi.RadioGroupNFO), static_cast<QWidget*>(FUi.RadioGroupFileNames),
        static_cast<QWidget*>(FUi.GroupBoxSD2IEC), static_cast<QWidget*>(FUi.CheckBoxAutoSwap),
        static_cast<QWidget*>(FUi.CheckBoxExtractT64), static_cast<QWidget*>(FUi.CheckBoxSID),
        static_cast<QWidget*>(FUi.EditHVSC), static_cast<QWidget*>(FUi.ButtonBrowseHVSC),
        static_cast<QWidget*>(FUi.EditFilterFile), static_cast<QWidget*>(FUi.ButtonFilterFile),
        static_cast<QWidget*>(FUi.CheckBoxFilter)}) {
    widget->setEnabled(Enabled);
  }
  UpdateUppercaseEnable();
  FUi.CheckBoxTestMode->setEnabled(Enabled);
  FUi.GroupBoxOther->setEnabled(Enabled);
  FUi.RzMenuButtonProfile->setEnabled(Enabled);
  repaint();
}

void TForm1::SetStartButtonsEnable(bool Enabled) {
  FUi.ButtonGo->setEnabled(Enabled);
  FUi.ButtonVerify->setEnabled(Enabled);
}

void TForm1::UpdateUppercaseEnable() {
  FUi.CheckBox1541UUppercase->setEnabled(FUi.RadioGroupFileNames->ItemIndex() == 0 &&
                                         FUi.RadioGroupFileNames->isEnabled());
}

TFileNameStyle TForm1::GetFileNameStyle() const {
  switch (FUi.RadioGroupFileNames->ItemIndex()) {
    case 0: return fns1541U;
    case 1: return fnsSD2IEC;
    default: return fnsNone;
  }
}

void TForm1::SetFileNameStyle(int value) {
  if (value < 0 || value > 2) value = 2;
  FUi.RadioGroupFileNames->SetItemIndex(value);
}

void TForm1::ShowStatus() {
  QString text = FStatus;
  if (!WorkerThread && FCursorOn) text += QStringLiteral("\r\n") + QChar(kCursorBlock);
  FUi.Panel1->SetText(text);
}

void TForm1::RepaintBorder() { FUi.Panel1->RepaintBorder(); }

void TForm1::TimerUpdateStatusTimer() {
  FCursorOn = !FCursorOn;
  ShowStatus();
}

void TForm1::TimerAnimateBorderTimer() { RepaintBorder(); }

bool TForm1::BrowseFolder(QLineEdit* edit, bool destination) {
  const QString chosen = FDialogs.ChooseFolder(edit->text(), destination);
  if (chosen.isEmpty()) return false;
  edit->setText(chosen);
  return true;
}

void TForm1::ButtonBrowseSourceClick() { BrowseFolder(FUi.EditSource, false); }

void TForm1::ButtonBrowseDestClick() { BrowseFolder(FUi.EditDest, true); }

void TForm1::ButtonBrowseHVSCClick() {
  if (!BrowseFolder(FUi.EditHVSC, false)) return;
  const std::string musicians = IncludeTrailingDelimiter(FUi.EditHVSC->text().toStdString()) + "MUSICIANS";
  if (!DirectoryExists(musicians)) {
    FDialogs.ShowWarning(QStringLiteral("This does not appear to be a valid HVSC root folder. It should contain "
                                        "MUSICIANS and GAMES subfolders."));
  }
}

void TForm1::ButtonFilterFileClick() {
  const std::string folder = ExtractFilePath(TrimmedText(FUi.EditFilterFile));
  const QString chosen =
      FDialogs.ChooseFilterFile(folder.empty() ? FProgramFolder : QString::fromStdString(folder));
  if (chosen.isEmpty()) return;
  QString message;
  {
    TOverrideCursor busy(Qt::WaitCursor);
    message = CheckFilterFile(chosen);
  }
  if (!message.isEmpty()) FDialogs.ShowMessage(message);
  FUi.EditFilterFile->setText(QFileInfo(chosen).absoluteFilePath());
  FUi.CheckBoxFilter->setChecked(true);
}

QString TForm1::CheckFilterFile(const QString& FileName) {
  return QString::fromStdString(vq::CheckFilterFile(FileName.toStdString()));
}

void TForm1::RzButtonReadmeClick() {
  if (!FReadme) return;
  if (!FReadmeShown) {
    QRect frame = FReadme->frameGeometry();
    frame.moveCenter(frameGeometry().center());
    FReadme->move(frame.topLeft());
    FReadmeShown = true;
  }
  FReadme->show();
  FReadme->raise();
  FReadme->activateWindow();
}

}  // namespace vq
