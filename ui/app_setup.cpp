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
  // Elsewhere the desktop's own font: the window's layouts follow its size.
  return QFontDatabase::systemFont(QFontDatabase::GeneralFont);
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
