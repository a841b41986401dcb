// vqsd-gui: the desktop front end of Vondral64 Quillem SD.
#include <QApplication>

#include "base/ini_file.h"
#include "engine/work_thread.h"
#include "ui/app_setup.h"
#include "ui/main_window.h"
#include "ui/qt_dialogs.h"
#include "ui/readme_window.h"
#include "ui/settings_path.h"
#include "ui/termination_watcher.h"

int main(int argc, char* argv[]) {
  vq::PrepareProcessForJobs();
  QApplication app(argc, argv);
  vq::SetUpApplication(app);

  vq::TIniFile settings(vq::SettingsFilePathForThisProgram());
  vq::TQtDialogs dialogs;
  vq::TForm1 form(settings, dialogs);
  dialogs.SetParent(&form);
  vq::TFormReadme readme;
  form.SetReadmeWindow(&readme);
  // SIGTERM closes the window as the user would: a running job is aborted
  // and joined, the settings are saved; then the program ends.
  vq::TTerminationWatcher termination([&form] {
    form.close();
    QCoreApplication::quit();
  });
  form.show();
  if (!settings.LoadError().empty()) {
    // The window starts with the defaults and leaves the file as it is.
    dialogs.ShowWarning(QStringLiteral("Cannot read the settings file: ") +
                        QString::fromStdString(settings.LoadError()));
  }
  return app.exec();
}
