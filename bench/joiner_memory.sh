#!/usr/bin/env bash
# The joiner page's memory for a 2 GiB set in each browser: plain (a Blob of file slices),
# packed (inflated into a Blob built chunk by chunk) and encrypted (decrypted the same way). The
# browser tests' driver prints the peak proportional set size of all the browser's processes
# together while each set is joined, beside the set's size.
# Usage: bench/joiner_memory.sh [BUILD_DIR]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
page="$build/web_parzello/parzello-join.html"
for browser in chromium firefox; do
  node "$(dirname "$0")/../web/test/browser.mjs" "$page" "$build/parzello-cli" "$browser" \
    memory-plain-2g memory-packed-2g memory-encrypted-2g
done
