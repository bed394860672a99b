#!/usr/bin/env bash
# tools/check-layers on the tree with wrong includes planted in it: each is
# named with its file, line and rule, and a right include passes.
#   planted_include.sh SOURCE_DIR
set -u
root="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failed=0
expect() {  # expect WHAT PATTERN
  if ! grep -qF -- "$2" "$work/out"; then
    echo "FAIL: $1: no line with: $2"
    failed=1
  fi
}

# A leaf unit (one of TAVORI_LEAF_SOURCES) reaching a handler of the window.
settings="$root/src/startup/settings.cpp"
cp "$settings" "$work/settings.cpp"
echo '#include "tray/tray_icon.h"' >> "$work/settings.cpp"
line="$(wc -l < "$work/settings.cpp")"
# A logic folder taking a toolkit and an operating-system header.
printf '#include <string>\n#include <QWidget>\n#include <unistd.h>\n' > "$work/qt.cpp"
# The player suite reaching the program above base/.
printf '#include "base/text.h"\n#include "forms/ba1.h"\n' > "$work/suite.cpp"
# Right: a list unit on base/, a platform interface and a leaf header.
printf '#include "base/text.h"\n#include "platform/files.h"\n#include "web/text_routines.h"\n' \
  > "$work/right.cpp"

status=0
"$root/tools/check-layers" --as src/startup/settings.cpp "$work/settings.cpp" \
  --as src/window/planted.cpp "$work/qt.cpp" --as suite/player/planted.cpp "$work/suite.cpp" \
  --as src/lists/planted.cpp "$work/right.cpp" > "$work/out" 2>&1 || status=$?
cat "$work/out"
[ "$status" -eq 1 ] || { echo "FAIL: exit status $status, not 1"; failed=1; }
expect "leaf to handler" "src/startup/settings.cpp:$line: #include \"tray/tray_icon.h\": leaf library may not include src/tray"
expect "toolkit header" "src/window/planted.cpp:2: #include <QWidget>: src/window takes only the C++ standard library"
expect "system header" "src/window/planted.cpp:3: #include <unistd.h>"
expect "suite above base" "suite/player/planted.cpp:2: #include \"forms/ba1.h\": suite may not include src/forms"
if grep -q 'planted.cpp:1:\|src/lists/planted.cpp' "$work/out"; then
  echo "FAIL: a right include was refused"
  failed=1
fi
exit "$failed"
