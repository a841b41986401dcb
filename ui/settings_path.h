#pragma once

#include <functional>
#include <string>

namespace vq {

// Tells whether a folder may be written.
using TFolderWritable = std::function<bool(const std::string& folder)>;

// The settings file of the program at `exePath`: the same path with its
// extension replaced by ".ini" (appended when the name has none). When the
// executable's folder cannot be written (an installed program), the same file
// name under the user's configuration folder: `xdgConfigHome` when it is an
// absolute path, else `home` + "/.config".
std::string SettingsFilePath(const std::string& exePath, const std::string& xdgConfigHome, const std::string& home,
                             const TFolderWritable& writable);

// The settings file of the running program, from its path and the environment.
std::string SettingsFilePathForThisProgram();

// True when the folder exists and the process may create files in it.
bool FolderWritable(const std::string& folder);

}  // namespace vq
