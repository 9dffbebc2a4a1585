#!/usr/bin/env bash
# Installs the browser check's npm packages (the Ruffle player and
# playwright-core, versions pinned by tests/browser/package-lock.json) into
# tests/browser/node_modules, when they are missing or older than the lock file.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$root/tests/browser"
stamp="$dir/node_modules/.movi-lock-sha256"

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  echo "install-npm: node and npm are needed (Node.js 20 or later)" >&2
  exit 1
fi
major=$(node -p 'process.versions.node.split(".")[0]')
if [ "$major" -lt 20 ]; then
  echo "install-npm: node $(node --version) is too old, playwright-core needs 20 or later" >&2
  exit 1
fi

want=$(sha256sum "$dir/package-lock.json" | cut -d' ' -f1)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] &&
   [ -f "$dir/node_modules/@ruffle-rs/ruffle/ruffle.js" ] && [ -d "$dir/node_modules/playwright-core" ]; then
  exit 0
fi
echo "Installing the browser check's npm packages in tests/browser"
(cd "$dir" && npm ci --no-audit --no-fund --loglevel=error)
echo "$want" > "$stamp"
