#pragma once

#include <functional>
#include <string>

namespace vq {

// Tells whether a file exists.
using TFileExistsTest = std::function<bool(const std::string& path)>;

// The settings file of the program at `exePath`: "vqsd/vqsd-gui.ini" under
// the user's configuration folder (`xdgConfigHome` when it is an absolute
// path, else `home` + "/.config"). A portable copy beside the program (the
// executable's path with its extension replaced by ".ini", appended when the
// name has none) is used instead when that file already exists.
std::string SettingsFilePath(const std::string& exePath, const std::string& xdgConfigHome, const std::string& home,
                             const TFileExistsTest& exists);

// The settings file of the running program, from its path and the environment.
std::string SettingsFilePathForThisProgram();

}  // namespace vq
