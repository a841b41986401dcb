// The test program's entry: a QApplication on the offscreen platform, set up
// as the program sets itself up, then every test.
#include <gtest/gtest.h>

#include <QApplication>

#include "ui/app_setup.h"

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  vq::SetUpApplication(app);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
