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
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/radio_group.h"

namespace vq {

namespace {

// The options live in the section with the empty name, "[]".
constexpr std::string_view kOptions = "";
constexpr std::string_view kFormState = "FormState";

QString ReadText(const TIniFile& store, std::string_view key) {
  return QString::fromStdString(store.ReadString(kOptions, key, std::string()));
}

void WriteText(TIniFile& store, std::string_view key, const QLineEdit* edit) {
  store.WriteString(kOptions, key, edit->text().toStdString());
}

}  // namespace

void TForm1::ReadSettings(const TIniFile& store) {
  FUi.EditSource->setText(ReadText(store, "SourceDir"));
  FUi.EditDest->setText(ReadText(store, "DestDir"));
  SetFileNameStyle(store.ReadInteger(kOptions, "Filenamestyle", 0));
  FUi.RadioGroupNFO->SetItemIndex(store.ReadInteger(kOptions, "NFOStyle", 0));
  FUi.CheckBoxSID->setChecked(store.ReadBool(kOptions, "SIDs", false));
  FUi.EditHVSC->setText(ReadText(store, "HVSCDir"));
  FUi.CheckBoxFilter->setChecked(store.ReadBool(kOptions, "Filter", false));
  FUi.EditFilterFile->setText(ReadText(store, "FilterFile"));
  FUi.CheckBoxAutoSwap->setChecked(store.ReadBool(kOptions, "Autoswap", false));
  FUi.CheckBoxExtractT64->setChecked(store.ReadBool(kOptions, "ExtractT64", false));
  FUi.CheckBox1541UUppercase->setChecked(store.ReadBool(kOptions, "Force1541UppercaseNames", false));
  FUi.CheckBoxTestMode->setChecked(store.ReadBool(kOptions, "TestMode", false));
  UpdateUppercaseEnable();
}

void TForm1::WriteSettings(TIniFile& store) {
  WriteText(store, "SourceDir", FUi.EditSource);
  WriteText(store, "DestDir", FUi.EditDest);
  store.WriteInteger(kOptions, "Filenamestyle", FUi.RadioGroupFileNames->ItemIndex());
  store.WriteInteger(kOptions, "NFOStyle", FUi.RadioGroupNFO->ItemIndex());
  store.WriteBool(kOptions, "SIDs", FUi.CheckBoxSID->isChecked());
  WriteText(store, "HVSCDir", FUi.EditHVSC);
  WriteText(store, "FilterFile", FUi.EditFilterFile);
  store.WriteBool(kOptions, "Filter", FUi.CheckBoxFilter->isChecked());
  store.WriteBool(kOptions, "Autoswap", FUi.CheckBoxAutoSwap->isChecked());
  store.WriteBool(kOptions, "ExtractT64", FUi.CheckBoxExtractT64->isChecked());
  store.WriteBool(kOptions, "Force1541UppercaseNames", FUi.CheckBox1541UUppercase->isChecked());
  store.WriteBool(kOptions, "TestMode", FUi.CheckBoxTestMode->isChecked());
  store.UpdateFile();
}

void TForm1::LoadProfile1Click() {
  const QString fileName = FDialogs.ChooseProfileToLoad(FProgramFolder);
  if (fileName.isEmpty()) return;
  const TIniFile profile(fileName.toStdString());
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
