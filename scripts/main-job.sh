#!/usr/bin/env bash
# The main job: build the release programs and run them on the shipped example.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"

build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMOVI_TESTS=OFF -DMOVI_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

out=$(mktemp -d)
"$build/bin/moviloomster-projinfo" "$root/examples/demo.fmo" --resave "$out/demo-copy.fmo"
cmp "$root/examples/demo.fmo" "$out/demo-copy.fmo"
echo "Saved copy $out/demo-copy.fmo is byte-identical to examples/demo.fmo"

# Compile the example into a movie and its HTML page.
mkdir -p "$root/build/demo"
"$build/bin/moviloomster-compile" "$root/examples/demo.fmo" -o "$root/build/demo/demo.swf"
echo "Movie and page: build/demo/demo.swf, build/demo/demo.htm"

# The same movie as an animated GIF, which any image viewer or browser plays.
"$build/bin/moviloomster-compile" "$root/examples/demo.fmo" -o "$root/build/demo/demo.gif"
echo "Animated GIF: build/demo/demo.gif (open it in any image viewer)"
