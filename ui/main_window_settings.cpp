// The settings side of the main window: the twelve options in the settings
// store and in profiles, and the window position.
#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QShowEvent>
#include <exception>

#include "base/file_system.h"
#include "base/ini_file.h"
#include "engine/job_options.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/radio_group.h"

namespace vq {

namespace {

constexpr std::string_view kFormState = "FormState";

}  // namespace

void TForm1::ReadSettings(const TIniFile& store) {
  ShowJobOptions(ReadJobOptions(store));
  // A negative stored NFO choice leaves the group without a selection.
  if (store.ReadInteger(kOptionsSection, kNFOStyleKey, 0) < 0) FUi.RadioGroupNFO->SetItemIndex(-1);
  UpdateUppercaseEnable();
}

void TForm1::WriteSettings(TIniFile& store) {
  WriteJobOptions(CollectJobOptions(), store);
  // The radio groups are stored as they stand, also without a selection.
  store.WriteInteger(kOptionsSection, kFileNameStyleKey, FUi.RadioGroupFileNames->ItemIndex());
  store.WriteInteger(kOptionsSection, kNFOStyleKey, FUi.RadioGroupNFO->ItemIndex());
  store.UpdateFile();
}

void TForm1::LoadProfile1Click() {
  const QString fileName = FDialogs.ChooseProfileToLoad(FProgramFolder);
  if (fileName.isEmpty()) return;
  const TIniFile profile(fileName.toStdString());
  // Options are never taken from a file that could not be read.
  if (!profile.LoadError().empty()) {
    FDialogs.ShowMessage(QStringLiteral("Cannot read the settings file: ") + QString::fromStdString(profile.LoadError()));
    return;
  }
  ReadSettings(profile);
  FStatus = QStringLiteral("Settings Loaded.\r\n\r\nREADY.");
}

void TForm1::SaveProfile1Click() {
  const QString fileName = FDialogs.ChooseProfileToSave(FProgramFolder);
  if (fileName.isEmpty()) return;
  TIniFile profile(fileName.toStdString());
  try {
    WriteSettings(profile);
  } catch (const std::exception& e) {
    FDialogs.ShowMessage(QString::fromUtf8(e.what()));
    return;
  }
  FStatus = QStringLiteral("Settings Saved.\r\n\r\nREADY.");
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!FPositionApplied) {
    FPositionApplied = true;
    ApplyStoredPosition();
  }
}

void TForm1::ApplyStoredPosition() {
  if (!FSettings.ReadBool(kFormState, "Saved", false)) return;
  const QPoint stored(FSettings.ReadInteger(kFormState, "Left", x()), FSettings.ReadInteger(kFormState, "Top", y()));
  // A position on a monitor that is gone would put the window out of reach.
  move(QGuiApplication::screenAt(stored) ? stored : QPoint(0, 0));
  if (FSettings.ReadBool(kFormState, "Maximized", false)) setWindowState(windowState() | Qt::WindowMaximized);
}

void TForm1::SaveFormState() {
  const QPoint position = isMaximized() ? normalGeometry().topLeft() : pos();
  FSettings.WriteBool(kFormState, "Maximized", isMaximized());
  FSettings.WriteInteger(kFormState, "Left", position.x());
  FSettings.WriteInteger(kFormState, "Top", position.y());
  FSettings.WriteBool(kFormState, "Saved", true);
}

void TForm1::SaveSettingsNow() {
  if (FClosing) return;  // closing has saved them
  SaveFormState();
  FormClose();
}

void TForm1::FormClose() {
  // The settings are a convenience: a file that cannot be written (a
  // read-only folder, a full disk) must not keep the window open.
  try {
    const std::string folder = ExtractFilePath(FSettings.FileName());
    if (!folder.empty()) ForceDirectories(folder);
    WriteSettings(FSettings);
  } catch (const std::exception&) {
  }
}

}  // namespace vq
