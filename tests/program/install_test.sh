#!/usr/bin/env bash
# `cmake --install` puts the program, its desktop entry and its icon where
# the desktop looks for them, and the entry is valid and offers NUVE for web
# addresses and HTML files.
set -u
build="$1"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
[ -x "$prefix/bin/nuve" ] || fail "no program in bin"
entry="$prefix/share/applications/org.nuve.Browser.desktop"
[ -f "$entry" ] || fail "no desktop entry"
[ -f "$prefix/share/icons/hicolor/scalable/apps/org.nuve.Browser.svg" ] || fail "no icon"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$entry" || fail "the desktop entry is not valid"
fi
grep -qx "Name=NUVE浏览器" "$entry" || fail "wrong name"
grep -qx "Exec=nuve %u" "$entry" || fail "wrong Exec"
grep -q "^Categories=.*Network;WebBrowser;" "$entry" || fail "wrong categories"
for type in text/html x-scheme-handler/http x-scheme-handler/https; do
  grep -q "^MimeType=.*$type;" "$entry" || fail "MimeType lacks $type"
done
echo "1 passed, 0 failed"
