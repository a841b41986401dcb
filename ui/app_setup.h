#pragma once

class QApplication;
class QFont;
class QString;

// Start-up steps shared by the program, its screenshot renderer, its
// benchmark and the tests.
namespace vq {

// Applies the light style (Fusion with its standard light palette); when the
// style is missing an error dialog says so and the program goes on unstyled.
void ApplyLightStyle(QApplication& app);
// "Segoe UI" 9 pt when the font list has it, else the desktop's general font.
QFont ChooseDefaultFont();
// Title, light style and default font, in that order.
void SetUpApplication(QApplication& app);
// The program's four-number version, "1.0.0.0".
QString VersionString();

}  // namespace vq
