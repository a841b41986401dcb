#pragma once

#include <string>
#include <string_view>

namespace vq {

// The file-name part of an NFO's SID path: the text after its last '\',
// '/' or ':' (the whole text when it holds none).
std::u16string SidBaseName(std::u16string_view sidFile);

// The file `root` + `relative`, where `relative` may use '\' or '/'. When
// that exact path does not exist, each component is looked up ignoring
// letter case. Returns the path found, or the exact path when there is none;
// empty when `relative` steps out of `root` with "..".
std::string ResolveHvscPath(const std::string& root, std::string_view relative);

}  // namespace vq
