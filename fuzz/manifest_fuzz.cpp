// libFuzzer harness for the output folder's record. The input bytes are
// parsed as a record; when they are accepted:
//   - every zip path, game folder and file path is relative and in its one
//     spelling: no leading '/', no empty, "." or ".." part;
//   - parsing the same bytes again gives the same record;
//   - the games written again (as the current version) parse back equal.
// A violation aborts with a message; a refusal must be a vq::Error.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "engine/manifest.h"

namespace {

[[noreturn]] void Fail(const char* what, std::string_view detail) {
  std::fprintf(stderr, "manifest_fuzz: %s: \"%.*s\"\n", what, static_cast<int>(detail.size()), detail.data());
  std::abort();
}

// True when `path` has parts separated by single '/', none empty, "." or "..".
bool IsPlain(std::string_view path) {
  for (size_t start = 0;;) {
    const size_t slash = path.find('/', start);
    const std::string_view part = path.substr(start, slash == std::string_view::npos ? slash : slash - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (slash == std::string_view::npos) return true;
    start = slash + 1;
  }
}

std::vector<vq::TManifestGame> Games(const vq::TManifest& manifest) {
  std::vector<vq::TManifestGame> games;
  for (size_t i = 0; i < manifest.Games.size(); ++i) {
    games.push_back(manifest.Game(i));
    if (games.back().Zip != manifest.Games[i].Zip || games.back().Path != manifest.Games[i].Path) {
      Fail("entry and game differ", games.back().Zip);
    }
  }
  return games;
}

void CheckPaths(const vq::TManifestGame& game) {
  if (!IsPlain(game.Zip)) Fail("zip path not plain", game.Zip);
  if (game.Path.empty() || game.Path.back() != '/') Fail("game folder without '/'", game.Path);
  if (!IsPlain(std::string_view(game.Path).substr(0, game.Path.size() - 1))) Fail("game folder not plain", game.Path);
  for (const vq::TManifestFile& file : game.Files) {
    if (!IsPlain(file.Name)) Fail("file path not plain", file.Name);
  }
}

// The record parsed from `text`; aborts when it is refused.
std::unique_ptr<vq::TManifest> MustParse(const std::string& text, const char* what) {
  try {
    return vq::ParseManifest(text, "fuzz");
  } catch (const vq::Error& e) {
    Fail(what, e.what());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // Read as a job that was cut off left it: its whole lines, or refused.
  try {
    const auto unfinished = vq::ParseUnfinishedManifest(text, "fuzz");
    if (!unfinished->Unfinished) Fail("a cut-off record not marked", text);
    for (const vq::TManifestGame& game : Games(*unfinished)) CheckPaths(game);
  } catch (const vq::Error&) {
  }
  std::unique_ptr<vq::TManifest> manifest;
  try {
    manifest = vq::ParseManifest(text, "fuzz");
  } catch (const vq::Error&) {
    return 0;
  }
  const std::vector<vq::TManifestGame> games = Games(*manifest);
  for (const vq::TManifestGame& game : games) CheckPaths(game);

  const auto again = MustParse(text, "accepted once, refused again");
  if (again->Fingerprint != manifest->Fingerprint || Games(*again) != games) Fail("parsed differently", text);

  std::string written = vq::ManifestHead(manifest->Fingerprint, manifest->Unfinished);
  for (const vq::TManifestGame& game : games) written += vq::ManifestLine(game);
  for (const vq::TManifestFile& file : manifest->OwnFiles) written += vq::ManifestFileLine(file);
  const auto back = MustParse(written, "written record refused");
  if (back->Version != vq::kManifestVersion || back->Fingerprint != manifest->Fingerprint || Games(*back) != games ||
      back->OwnFiles != manifest->OwnFiles || back->Unfinished != manifest->Unfinished) {
    Fail("written record read back differently", written);
  }
  return 0;
}
