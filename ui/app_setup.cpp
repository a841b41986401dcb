#include "ui/app_setup.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QMessageBox>
#include <QStyle>
#include <QStyleFactory>

namespace vq {

void ApplyLightStyle(QApplication& app) {
  QStyle* style = QStyleFactory::create(QStringLiteral("Fusion"));
  if (!style) {
    QMessageBox::critical(nullptr, app.applicationName(),
                          QStringLiteral("The visual style \"Light\" cannot be applied."));
    return;
  }
  app.setStyle(style);
  app.setPalette(style->standardPalette());
}

QFont ChooseDefaultFont() {
  if (QFontDatabase::families().contains(QStringLiteral("Segoe UI"), Qt::CaseInsensitive)) {
    return QFont(QStringLiteral("Segoe UI"), 9);
  }
  // No such font exists outside the old desktop; the substitutes are tried
  // in this order, narrow faces first, since the window's fixed layout was
  // drawn for a narrow face.
  QFont::insertSubstitutions(QStringLiteral("TAHOMAFONT"),
                             {QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                              QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
  return QFont(QStringLiteral("TAHOMAFONT"), 8);
}

void SetUpApplication(QApplication& app) {
  // The application name titles message boxes. A display name is not set:
  // the platform would append it to every window title.
  app.setApplicationName(QStringLiteral("Vondral64 Quillem"));
  QGuiApplication::setDesktopFileName(QStringLiteral("vqsd"));
  ApplyLightStyle(app);
  QApplication::setFont(ChooseDefaultFont());
}

QString VersionString() { return QStringLiteral(VQ_VERSION); }

}  // namespace vq
