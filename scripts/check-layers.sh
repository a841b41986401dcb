#!/usr/bin/env bash
# Only the card room (card/) creates, renames or removes anything: the job's
# libraries (engine, zip, tape, filter) reach the output folder through its
# handle alone, so that no path they build can lead out of the folder or
# through a link. Fails, naming the line, where one of them writes another
# way. The source collection and the HVSC are only read.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
helpers='ForceDirectories|WriteWholeFile|CopyFileReplacing|CreateFileForWriting|TNewFile|WriteAll|TShellDelete|SyncFileSystem'
calls='open|openat|creat|mkdir|mkdirat|rename|renameat|renameat2|unlink|unlinkat|rmdir|remove|truncate|symlink|link|fopen|utime|utimensat|chmod'
pattern="\\b(${helpers})\\b|(::|[^A-Za-z0-9_.>])(${calls})[[:space:]]*\\(|std::ofstream|std::fstream|std::filesystem::(create|remove|rename|copy)"
status=0
for folder in engine zip tape filter; do
  if grep -nE "$pattern" "$root/$folder"/*.cpp "$root/$folder"/*.h; then status=1; fi
done
if [ $status -ne 0 ]; then
  echo "check-layers: the lines above write without the output folder's handle (card/card_folder.h)" >&2
  exit 1
fi
echo "check-layers: engine, zip, tape and filter write only through the card folder"
