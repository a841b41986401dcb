#include "ui/settings_path.h"

#include <unistd.h>

#include <QCoreApplication>
#include <cstdlib>

#include "base/file_system.h"

namespace vq {

std::string SettingsFilePath(const std::string& exePath, const std::string& xdgConfigHome, const std::string& home,
                             const TFolderWritable& writable) {
  const std::string folder = ExtractFilePath(exePath);
  std::string name = ExtractFileName(exePath);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  name += ".ini";
  if (writable(folder.empty() ? std::string(".") : folder)) return folder + name;
  std::string config = xdgConfigHome;
  if (config.empty() || config.front() != '/') config = IncludeTrailingDelimiter(home) + ".config";
  return IncludeTrailingDelimiter(config) + name;
}

std::string SettingsFilePathForThisProgram() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  return SettingsFilePath(QCoreApplication::applicationFilePath().toStdString(), xdg ? xdg : "", home ? home : "",
                          FolderWritable);
}

bool FolderWritable(const std::string& folder) {
  return DirectoryExists(folder) && access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace vq
