#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: the bundled sample table exported
# as an HTML page, buchungen.htm beside this script.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target tabulet-cli
./build/tabulet-cli export samples/buchungen.dbf -o buchungen.htm --title "Buchungen" >/dev/null
echo "$(pwd)/buchungen.htm"
