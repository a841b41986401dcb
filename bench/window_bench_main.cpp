// bench_ui: the same test-mode job from the window (offscreen) and, when the
// command line program is given, from the command line; prints both wall
// times and their ratio.
//
//   bench_ui [--games N] [--runs N] [--cli PATH_TO_vqsd] [--work DIR] [--handovers N]
//
// --handovers also times a job that only reports, N times: the cost of one
// report's trip to the window and back.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "base/ini_file.h"
#include "engine/work_thread.h"
#include "tools/sample_collection.h"
#include "ui/app_setup.h"
#include "ui/auto_dialogs.h"
#include "ui/main_window.h"

namespace {

struct TBenchOptions {
  int Handovers = 0;
  int Games = 5000;
  int Runs = 3;
  QString Cli;
  QString Work;
};

bool ParseArguments(int argc, char* argv[], TBenchOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--games") == 0 && hasValue) {
      options.Games = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--runs") == 0 && hasValue) {
      options.Runs = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--cli") == 0 && hasValue) {
      options.Cli = QString::fromLocal8Bit(argv[++i]);
    } else if (std::strcmp(argv[i], "--handovers") == 0 && hasValue) {
      options.Handovers = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--work") == 0 && hasValue) {
      options.Work = QString::fromLocal8Bit(argv[++i]);
    } else {
      std::fprintf(stderr,
                   "usage: bench_ui [--games N] [--runs N] [--cli PATH_TO_vqsd] [--work DIR] [--handovers N]\n");
      return false;
    }
  }
  return true;
}

// One job started from the window, from the click until the window is idle.
double RunWindowJob(vq::TForm1& form) {
  QElapsedTimer clock;
  clock.start();
  form.ButtonGoClick();
  while (form.JobRunning()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

// The same job from the command line; negative when it failed.
double RunCliJob(const QString& cli, const QString& source, const QString& dest) {
  QProcess process;
  process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process.setStandardOutputFile(QProcess::nullDevice());
  QElapsedTimer clock;
  clock.start();
  process.start(cli, {QStringLiteral("--source"), source, QStringLiteral("--dest"), dest, QStringLiteral("--test"),
                      QStringLiteral("--replace")});
  if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
    return -1;
  }
  return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

// A job that does nothing but report `count` times.
class TReportingJob : public vq::TThread {
 public:
  TReportingJob(vq::TOnProgressUpdate callback, int count) : FCallback(std::move(callback)), FCount(count) {}
  ~TReportingJob() override { StopAndWait(); }

 protected:
  void Execute() override {
    const std::string status = "Scanning zip files.";
    for (int i = 0; i < FCount && !Terminated(); ++i) FCallback(status);
  }

 private:
  vq::TOnProgressUpdate FCallback;
  int FCount;
};

// Microseconds per report hand-over, measured through the window.
double TimeHandovers(vq::TForm1& form, int count) {
  form.SetJobFactory([count](const vq::TJobOptions&, vq::TOnProgressUpdate callback) -> std::unique_ptr<vq::TThread> {
    return std::make_unique<TReportingJob>(std::move(callback), count);
  });
  return RunWindowJob(form) * 1e6 / count;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
  // As the window program starts.
  vq::PrepareProcessForJobs();
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  vq::SetUpApplication(app);
  TBenchOptions options;
  if (!ParseArguments(argc, argv, options)) return 2;
  QTemporaryDir temp;
  const QString work = options.Work.isEmpty() ? temp.path() : options.Work;
  QDir().mkpath(work);

  vq::tools::TSampleCollection collection;
  try {
    vq::tools::TSampleOptions sample;
    sample.Seed = 64;
    sample.GameCount = options.Games;
    sample.WithHvsc = false;
    collection = vq::tools::GenerateSampleCollection(QDir(work).filePath(QStringLiteral("collection")).toStdString(),
                                                     sample);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_ui: %s\n", e.what());
    return 1;
  }
  const QString source = QString::fromStdString(collection.GamesDir);
  const QString uiDest = QDir(work).filePath(QStringLiteral("out-window"));
  const QString cliDest = QDir(work).filePath(QStringLiteral("out-cli"));

  vq::TIniFile settings = vq::TIniFile::FromText("", QDir(work).filePath(QStringLiteral("bench.ini")).toStdString());
  vq::TAutoDialogs dialogs;
  vq::TForm1 form(settings, dialogs);
  const vq::TForm1Ui& ui = form.Ui();
  ui.EditSource->setText(source);
  ui.EditDest->setText(uiDest);
  ui.CheckBoxTestMode->setChecked(true);
  form.show();

  if (options.Handovers > 0) {
    std::printf("one report hand-over: %.2f us (%d reports)\n", TimeHandovers(form, options.Handovers),
                options.Handovers);
  }
  // Real jobs, with their reports counted.
  long reports = 0;
  form.SetJobFactory(
      [&reports](const vq::TJobOptions& o, vq::TOnProgressUpdate callback) -> std::unique_ptr<vq::TThread> {
        auto job = std::make_unique<vq::TWorkThread>(o);
        job->SetOnProgressUpdate([&reports, callback = std::move(callback)](const std::string& status) {
          ++reports;
          callback(status);
        });
        return job;
      });
  std::vector<double> windowTimes;
  std::vector<double> cliTimes;
  for (int run = 0; run < options.Runs; ++run) {
    windowTimes.push_back(RunWindowJob(form));
    std::printf("run %d: window %.3f s", run + 1, windowTimes.back());
    if (!options.Cli.isEmpty()) {
      cliTimes.push_back(RunCliJob(options.Cli, source, cliDest));
      if (cliTimes.back() < 0) {
        std::fprintf(stderr, "\nbench_ui: %s failed\n", qPrintable(options.Cli));
        return 1;
      }
      std::printf(", command line %.3f s", cliTimes.back());
    }
    std::printf("\n");
  }
  std::printf("games: %d, reports per job: %ld, last status: %s\n", options.Games, reports / options.Runs,
              qPrintable(QString(form.Status()).replace(QStringLiteral("\r\n"), QStringLiteral(" | "))));
  const double windowMedian = Median(windowTimes);
  std::printf("window job (median of %d): %.3f s\n", options.Runs, windowMedian);
  if (!cliTimes.empty()) {
    const double cliMedian = Median(cliTimes);
    std::printf("command line job (median of %d): %.3f s\n", options.Runs, cliMedian);
    std::printf("ratio window / command line: %.3f (target <= 1.10)\n", windowMedian / cliMedian);
  }
  form.close();
  return 0;
}
