// vqsd-gui: the desktop front end of Vondral64 Quillem SD.
#include <QApplication>

#include "base/ini_file.h"
#include "ui/app_setup.h"
#include "ui/main_window.h"
#include "ui/qt_dialogs.h"
#include "ui/readme_window.h"
#include "ui/settings_path.h"

int main(int argc, char* argv[]) {
  // The window is laid out in pixels; it does not scale with screen density.
  if (!qEnvironmentVariableIsSet("QT_ENABLE_HIGHDPI_SCALING")) qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  QApplication app(argc, argv);
  vq::SetUpApplication(app);

  vq::TIniFile settings(vq::SettingsFilePathForThisProgram());
  vq::TQtDialogs dialogs;
  vq::TForm1 form(settings, dialogs);
  dialogs.SetParent(&form);
  vq::TFormReadme readme;
  form.SetReadmeWindow(&readme);
  form.show();
  return app.exec();
}
