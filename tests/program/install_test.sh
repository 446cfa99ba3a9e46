#!/usr/bin/env bash
# `cmake --install` puts the program, its web process extension, its fetch
# helper, its desktop entry, icon, metainfo and man pages where the desktop
# looks for them, and the entry is valid and offers NUVE for web addresses
# and HTML files.
set -u
build="$1"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
[ -x "$prefix/bin/nuve" ] || fail "no program in bin"
extension=$(find "$prefix" -path '*/lib*/nuve/web-extensions/libnuve-web-extension.so')
[ -n "$extension" ] || fail "no web process extension under lib*/nuve/web-extensions"
nm -D --defined-only "$extension" | grep -qw webkit_web_process_extension_initialize ||
  fail "the extension does not export its entry point"
[ -x "$prefix/libexec/nuve/nuve-fetch" ] || fail "no fetch helper in libexec/nuve"
"$prefix/libexec/nuve/nuve-fetch" 2>/dev/null; [ $? -eq 2 ] || fail "the fetch helper does not refuse an empty command line"
entry="$prefix/share/applications/org.nuve.Browser.desktop"
[ -f "$entry" ] || fail "no desktop entry"
[ -f "$prefix/share/icons/hicolor/scalable/apps/org.nuve.Browser.svg" ] || fail "no icon"
metainfo="$prefix/share/metainfo/org.nuve.Browser.metainfo.xml"
[ -f "$metainfo" ] || fail "no AppStream metainfo"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$metainfo" >/dev/null || fail "the metainfo is not valid"
fi
for page in nuve nuve-account-server; do
  [ -f "$prefix/share/man/man1/$page.1" ] || fail "no man page $page.1"
done
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
