#pragma once

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QWidget;

namespace vq {

class TRadioGroup;
class TStatusScreen;

// The controls of the main window, each named after its role, placed by
// layouts so the window follows the font and the screen's density. The
// widgets belong to the form.
class TForm1Ui {
 public:
  // Creates every control on `form` in tab order, with captions and
  // mnemonics, layouts, bold fonts, tooltips and initial states.
  void SetupUi(QWidget* form);

  // The top row: the readme button and the profile button with its menu.
  QPushButton* RzButtonReadme = nullptr;
  QPushButton* RzMenuButtonProfile = nullptr;
  QMenu* ProfileMenu = nullptr;
  QAction* LoadProfile1 = nullptr;
  QAction* SaveProfile1 = nullptr;
  // The folder and file fields with their labels, check boxes and "..." buttons.
  QLabel* LabelSourceFolder = nullptr;
  QLineEdit* EditSource = nullptr;
  QPushButton* ButtonBrowseSource = nullptr;
  QLabel* LabelDestFolder = nullptr;
  QLineEdit* EditDest = nullptr;
  QPushButton* ButtonBrowseDest = nullptr;
  QCheckBox* CheckBoxSID = nullptr;
  QLineEdit* EditHVSC = nullptr;
  QPushButton* ButtonBrowseHVSC = nullptr;
  QCheckBox* CheckBoxFilter = nullptr;
  QLineEdit* EditFilterFile = nullptr;
  QPushButton* ButtonFilterFile = nullptr;
  // The option groups and the status screen.
  TRadioGroup* RadioGroupNFO = nullptr;
  TRadioGroup* RadioGroupFileNames = nullptr;
  QGroupBox* GroupBoxSD2IEC = nullptr;
  QCheckBox* CheckBoxAutoSwap = nullptr;
  QCheckBox* CheckBoxExtractT64 = nullptr;
  TStatusScreen* Panel1 = nullptr;
  QGroupBox* GroupBoxOther = nullptr;
  QCheckBox* CheckBox1541UUppercase = nullptr;
  QCheckBox* CheckBoxTestMode = nullptr;
  QCheckBox* CheckBoxKeepGoing = nullptr;
  // The job buttons, the version label and the logo.
  QPushButton* ButtonVerify = nullptr;
  QPushButton* ButtonAbort = nullptr;
  QPushButton* ButtonGo = nullptr;
  QLabel* LabelCpy = nullptr;
  QLabel* Image1 = nullptr;

 private:
  // Puts the controls into the form's layouts.
  void Layout(QWidget* form);
};

}  // namespace vq
