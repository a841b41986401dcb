#include "ui/settings_path.h"

#include <QCoreApplication>
#include <cstdlib>

#include "base/file_system.h"

namespace vq {

std::string SettingsFilePath(const std::string& exePath, const std::string& xdgConfigHome, const std::string& home,
                             const TFileExistsTest& exists) {
  std::string portable = exePath;
  const size_t nameStart = ExtractFilePath(exePath).size();
  const size_t dot = portable.rfind('.');
  if (dot != std::string::npos && dot > nameStart) portable.erase(dot);
  portable += ".ini";
  if (exists(portable)) return portable;
  std::string config = xdgConfigHome;
  if (config.empty() || config.front() != '/') config = IncludeTrailingDelimiter(home) + ".config";
  return IncludeTrailingDelimiter(config) + "vqsd/vqsd-gui.ini";
}

std::string SettingsFilePathForThisProgram() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  return SettingsFilePath(QCoreApplication::applicationFilePath().toStdString(), xdg ? xdg : "", home ? home : "",
                          [](const std::string& path) { return FileExists(path); });
}

}  // namespace vq
