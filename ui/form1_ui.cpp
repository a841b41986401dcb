#include "ui/form1_ui.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>

#include "ui/radio_group.h"
#include "ui/status_screen.h"

namespace vq {

namespace {

constexpr int kToolTipDuration = 15000;

// The tooltip texts separate their lines with single CR characters.
const char* const kUppercaseHint =
    "If your 1541-U is using a very old firmware,\rselect this to force all folder names to be\ruppercase. "
    "This corrects problems with sorting\rand quick search in very old 1541-U firmware\rversions.\r\r"
    "(This was the behavior of Vondral Quillem SD\rbefore 4.0.)\r\r"
    "If you own a mark-1 1541 Ultimate, see the README\rfor where to find updated firmware instead.";
const char* const kTestModeHint =
    "THIS WILL STILL DELETE ANY EXISTING VONDRAL SD OUTPUT FILES IN THE DESTINATION FOLDER!\r\r"
    "Test mode does everything except create the individual game folders and extract the archives.\r\r"
    "The GameList.csv file is still written so you can examine the output structure without creating all "
    "the files.";
// The version label's fixed lines under the version.
const char* const kNotice = "Free software; see the README";

template <typename W>
W* Make(QWidget* parent, const char* name, const QRect& geometry) {
  auto* widget = new W(parent);
  widget->setObjectName(QLatin1String(name));
  widget->setGeometry(geometry);
  return widget;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QRect& geometry) {
  auto* button = Make<QPushButton>(parent, name, geometry);
  button->setText(caption);
  return button;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption, const QRect& geometry) {
  auto* box = Make<QCheckBox>(parent, name, geometry);
  box->setText(caption);
  return box;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, QPoint position) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(QLatin1String(name));
  label->move(position);
  return label;
}

void SetHint(QWidget* widget, const char* crText) {
  widget->setToolTip(QString::fromUtf8(crText).replace(QLatin1Char('\r'), QLatin1Char('\n')));
  widget->setToolTipDuration(kToolTipDuration);
}

void MakeBold(QWidget* widget) {
  QFont font = widget->font();
  font.setBold(true);
  widget->setFont(font);
}

}  // namespace

void TForm1Ui::SetupUi(QWidget* form) {
  RzButtonReadme = MakeButton(form, "RzButtonReadme", QStringLiteral("Read the Readme"), {13, 8, 138, 32});
  RzMenuButtonProfile =
      MakeButton(form, "RzMenuButtonProfile", QStringLiteral("Load/Save Settings"), {157, 8, 138, 32});
  ProfileMenu = new QMenu(RzMenuButtonProfile);
  ProfileMenu->setObjectName(QStringLiteral("ProfileMenu"));
  LoadProfile1 = ProfileMenu->addAction(QStringLiteral("Load Settings..."));
  LoadProfile1->setObjectName(QStringLiteral("LoadProfile1"));
  SaveProfile1 = ProfileMenu->addAction(QStringLiteral("Save Settings..."));
  SaveProfile1->setObjectName(QStringLiteral("SaveProfile1"));
  RzMenuButtonProfile->setMenu(ProfileMenu);

  LabelSourceFolder =
      MakeLabel(form, "LabelSourceFolder", QStringLiteral("Source folder (Vondral64 Games folder):"), {12, 69});
  EditSource = Make<QLineEdit>(form, "EditSource", {12, 90, 564, 23});
  ButtonBrowseSource = MakeButton(form, "ButtonBrowseSource", QStringLiteral("..."), {586, 90, 25, 23});
  LabelDestFolder = MakeLabel(form, "LabelDestFolder",
                              QStringLiteral("Destination folder: (Did you read the README?)"), {12, 126});
  EditDest = Make<QLineEdit>(form, "EditDest", {12, 145, 564, 23});
  ButtonBrowseDest = MakeButton(form, "ButtonBrowseDest", QStringLiteral("..."), {586, 145, 25, 23});
  CheckBoxSID = MakeCheckBox(form, "CheckBoxSID",
                             QStringLiteral("Include game SIDs: (Optional. Path to root of HVSC collection.)"),
                             {13, 183, 357, 17});
  EditHVSC = Make<QLineEdit>(form, "EditHVSC", {12, 206, 564, 23});
  ButtonBrowseHVSC = MakeButton(form, "ButtonBrowseHVSC", QStringLiteral("..."), {586, 206, 25, 23});
  CheckBoxFilter = MakeCheckBox(form, "CheckBoxFilter",
                                QStringLiteral("Use Game ID RomLister Export as Filter (Optional. See README.)"),
                                {13, 240, 357, 17});
  EditFilterFile = Make<QLineEdit>(form, "EditFilterFile", {12, 263, 564, 23});
  ButtonFilterFile = MakeButton(form, "ButtonFilterFile", QStringLiteral("..."), {586, 263, 25, 23});

  RadioGroupNFO = new TRadioGroup(QStringLiteral("VERSION.NFO Files"),
                                  {QStringLiteral("Include; Optimize Format"), QStringLiteral("Include; No Reformat"),
                                   QStringLiteral("Exclude")},
                                  form);
  RadioGroupNFO->setObjectName(QStringLiteral("RadioGroupNFO"));
  RadioGroupNFO->setGeometry(160, 300, 166, 70);
  RadioGroupNFO->SetItemIndex(0);
  RadioGroupFileNames = new TRadioGroup(
      QStringLiteral("File/Folder Optimization"),
      {QStringLiteral("1541 Ultimate"), QStringLiteral("sd2iec"), QStringLiteral("None")}, form);
  RadioGroupFileNames->setObjectName(QStringLiteral("RadioGroupFileNames"));
  RadioGroupFileNames->setGeometry(8, 300, 146, 70);
  RadioGroupFileNames->SetItemIndex(0);

  GroupBoxSD2IEC = Make<QGroupBox>(form, "GroupBoxSD2IEC", {8, 376, 318, 63});
  GroupBoxSD2IEC->setTitle(QStringLiteral("sd2iec Optimizations"));
  CheckBoxAutoSwap = MakeCheckBox(GroupBoxSD2IEC, "CheckBoxAutoSwap",
                                  QStringLiteral("Make AUTOSWAP.LST for Multi-Disk D64 Games"), {9, 18, 277, 17});
  CheckBoxExtractT64 = MakeCheckBox(GroupBoxSD2IEC, "CheckBoxExtractT64",
                                    QStringLiteral("Extract T64 Files to Pxx Files"), {9, 39, 168, 17});

  Panel1 = new TStatusScreen(form);
  Panel1->move(340, 300);

  GroupBoxOther = Make<QGroupBox>(form, "GroupBoxOther", {8, 445, 318, 63});
  GroupBoxOther->setTitle(QStringLiteral("Other"));
  CheckBox1541UUppercase = MakeCheckBox(GroupBoxOther, "CheckBox1541UUppercase",
                                        QStringLiteral("Ancient 1541-U Uppercase Mode"), {9, 18, 192, 17});
  SetHint(CheckBox1541UUppercase, kUppercaseHint);
  CheckBoxTestMode = MakeCheckBox(GroupBoxOther, "CheckBoxTestMode",
                                  QStringLiteral("Test Mode (only write GameList.csv)"), {9, 39, 217, 17});
  SetHint(CheckBoxTestMode, kTestModeHint);

  ButtonAbort = MakeButton(form, "ButtonAbort", QStringLiteral("Abort"), {455, 477, 75, 31});
  ButtonAbort->setEnabled(false);
  ButtonGo = MakeButton(form, "ButtonGo", QStringLiteral("Go!"), {536, 477, 75, 31});

  LabelCpy = MakeLabel(form, "LabelCpy", QString::fromUtf8(kNotice), {319, 29});
  LabelCpy->setAlignment(Qt::AlignRight | Qt::AlignTop);
  Image1 = Make<QLabel>(form, "Image1", {520, -2, 100, 100});
  Image1->setPixmap(QPixmap(QStringLiteral(":/logo.png")));
  Image1->lower();

  for (QWidget* widget : {static_cast<QWidget*>(LabelSourceFolder), static_cast<QWidget*>(LabelDestFolder),
                          static_cast<QWidget*>(ButtonGo), static_cast<QWidget*>(RzButtonReadme)}) {
    MakeBold(widget);
  }
  LabelSourceFolder->adjustSize();
  LabelDestFolder->adjustSize();

  QWidget* const tabOrder[] = {
      RzButtonReadme,  RzMenuButtonProfile,     EditSource,       ButtonBrowseSource,
      EditDest,        ButtonBrowseDest,        CheckBoxSID,      EditHVSC,
      ButtonBrowseHVSC, CheckBoxFilter,         EditFilterFile,   ButtonFilterFile,
      RadioGroupNFO->Item(0),       RadioGroupNFO->Item(1),       RadioGroupNFO->Item(2),
      RadioGroupFileNames->Item(0), RadioGroupFileNames->Item(1), RadioGroupFileNames->Item(2),
      CheckBoxAutoSwap, CheckBoxExtractT64,     CheckBox1541UUppercase, CheckBoxTestMode,
      ButtonAbort,     ButtonGo,
  };
  for (size_t i = 1; i < std::size(tabOrder); ++i) QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

}  // namespace vq
