// vqsd-screenshots: renders the main window (idle and during a job), its
// status screen enlarged three times, the readme window and the results of
// a verify of a damaged card to PNG files, without a display.
//
//   vqsd-screenshots [BUILD_DIR]    writes BUILD_DIR/screenshots/*.png
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdio>
#include <exception>
#include <functional>
#include <optional>

#include "base/ini_file.h"
#include "tools/sample_collection.h"
#include "ui/app_setup.h"
#include "ui/auto_dialogs.h"
#include "ui/main_window.h"
#include "ui/readme_window.h"
#include "ui/results_dialog.h"
#include "ui/status_screen.h"

namespace {

// Runs the event loop for `ms` milliseconds, or until `done` holds.
void RunFor(int ms, const std::function<bool()>& done = {}) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms && !(done && done())) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Saves `window` as it shows, enlarged `zoom` times without smoothing.
bool Save(QWidget& window, const QString& path, int zoom = 1) {
  QPixmap picture = window.grab();
  if (zoom > 1) picture = picture.scaled(picture.size() * zoom, Qt::IgnoreAspectRatio, Qt::FastTransformation);
  if (!picture.save(path, "PNG")) {
    std::fprintf(stderr, "vqsd-screenshots: cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

// The unattended dialogs, keeping the last results the window showed.
class TResultsKeeper : public vq::TAutoDialogs {
 public:
  void ShowResults(const vq::TJobResults& results) override { results_ = results; }
  const std::optional<vq::TJobResults>& Results() const { return results_; }

 private:
  std::optional<vq::TJobResults> results_;
};

// Damages the card `card` as a device or a user might: one disk image
// changed by a byte, another one gone. False when it holds too few images.
bool DamageCard(const QString& card) {
  QStringList images;
  QDirIterator it(card, {QStringLiteral("*.d64")}, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) images << it.next();
  images.sort();
  if (images.size() < 2) return false;
  QFile image(images.constFirst());
  if (!image.open(QIODevice::ReadWrite) || !image.seek(1000)) return false;
  const QByteArray byte = image.read(1);
  if (byte.size() != 1 || !image.seek(1000) || image.write(QByteArray(1, static_cast<char>(byte[0] ^ 0x20))) != 1) {
    return false;
  }
  image.close();
  return QFile::remove(images.constLast());
}

// A real job on a small collection into `dest`, the card damaged, then a
// verify from the window: its results, as the results window shows them.
bool SaveVerifyResults(vq::TForm1& form, TResultsKeeper& dialogs, const QString& source, const QString& dest,
                       const QString& path) {
  const vq::TForm1Ui& ui = form.Ui();
  ui.EditSource->setText(source);
  ui.EditDest->setText(dest);
  ui.CheckBoxSID->setChecked(false);
  form.ButtonGoClick();
  RunFor(120000, [&form] { return !form.JobRunning(); });
  if (!DamageCard(QDir(dest).filePath(QStringLiteral("VONDRAL SD")))) {
    std::fprintf(stderr, "vqsd-screenshots: the card could not be damaged\n");
    return false;
  }
  form.ButtonVerifyClick();
  RunFor(60000, [&form, &dialogs] {
    return !form.JobRunning() && dialogs.Results() && dialogs.Results()->Summary.starts_with("Card verified");
  });
  if (!dialogs.Results() || !dialogs.Results()->Summary.starts_with("Card verified")) {
    std::fprintf(stderr, "vqsd-screenshots: the verify showed no results: %s\n", qPrintable(form.Status()));
    return false;
  }
  vq::TResultsDialog dialog(*dialogs.Results(), dialogs, &form);
  dialog.show();
  RunFor(300);
  const bool ok = Save(dialog, path);
  dialog.close();
  return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  vq::SetUpApplication(app);
  const QString buildDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("build");
  const QString outDir = QDir(buildDir).absoluteFilePath(QStringLiteral("screenshots"));
  QTemporaryDir work;
  if (!QDir().mkpath(outDir) || !work.isValid()) {
    std::fprintf(stderr, "vqsd-screenshots: cannot create %s or a temporary folder\n", qPrintable(outDir));
    return 1;
  }

  vq::tools::TSampleCollection collection;
  vq::tools::TSampleCollection small;
  try {
    vq::tools::TSampleOptions options;
    options.Seed = 64;
    options.GameCount = 800;
    collection = vq::tools::GenerateSampleCollection(work.filePath(QStringLiteral("collection")).toStdString(),
                                                     options);
    options.GameCount = 40;
    options.WithHvsc = false;
    small = vq::tools::GenerateSampleCollection(work.filePath(QStringLiteral("small")).toStdString(), options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vqsd-screenshots: %s\n", e.what());
    return 1;
  }

  vq::TIniFile settings = vq::TIniFile::FromText("", work.filePath(QStringLiteral("vqsd-gui.ini")).toStdString());
  TResultsKeeper dialogs;
  vq::TForm1 form(settings, dialogs);
  vq::TFormReadme readme;
  form.SetReadmeWindow(&readme);
  const vq::TForm1Ui& ui = form.Ui();
  ui.EditSource->setText(QString::fromStdString(collection.GamesDir));
  ui.EditDest->setText(work.filePath(QStringLiteral("sd")));
  ui.CheckBoxSID->setChecked(true);
  ui.EditHVSC->setText(QString::fromStdString(collection.HvscDir));
  form.show();
  RunFor(400);

  bool ok = Save(form, outDir + QStringLiteral("/main-idle.png"));

  form.ButtonGoClick();
  // Long enough for the status screen to show a report of the job.
  RunFor(800, [&form] { return !form.JobRunning(); });
  if (!form.JobRunning()) std::fprintf(stderr, "vqsd-screenshots: the job ended before the picture was taken\n");
  ok = Save(form, outDir + QStringLiteral("/main-running.png")) && ok;
  ok = Save(*ui.Panel1, outDir + QStringLiteral("/status-screen.png"), 3) && ok;
  form.ButtonAbortClick();
  RunFor(60000, [&form] { return !form.JobRunning(); });

  form.RzButtonReadmeClick();
  RunFor(300);
  ok = Save(readme, outDir + QStringLiteral("/readme.png")) && ok;
  readme.hide();

  ok = SaveVerifyResults(form, dialogs, QString::fromStdString(small.GamesDir), work.filePath(QStringLiteral("card")),
                         outDir + QStringLiteral("/verify-results.png")) &&
       ok;
  form.close();
  return ok ? 0 : 1;
}
