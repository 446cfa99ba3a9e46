#!/usr/bin/env bash
# Checks the Debian packages scripts/build-deb.sh left in FOLDER: lintian
# finds no error, the desktop entry and the metainfo are valid, each package
# holds its files where Debian looks for them and nothing under /usr/local,
# the browser looks for its web process extension where the package puts it,
# and the account service's user is created once, whatever already exists.
set -u
folder=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() {  # check NAME COMMAND...: one group of checks
  local name=$1; shift
  if ( "$@" ); then passed=$((passed + 1)); else echo "FAIL: $name"; failed=$((failed + 1)); fi
}
fail() { echo "  $*"; exit 1; }  # ends the group (each runs in a subshell)

browser=$(ls "$folder"/nuve_*.deb 2>/dev/null | head -n1)
service=$(ls "$folder"/nuve-account-server_*.deb 2>/dev/null | head -n1)
changes=$(ls "$folder"/nuve_*.changes 2>/dev/null | head -n1)
if [ -z "$browser" ] || [ -z "$service" ] || [ -z "$changes" ]; then
  echo "FAIL: no nuve and nuve-account-server packages in $folder"; exit 1
fi
triplet=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
dpkg-deb -x "$browser" "$work/nuve"
dpkg-deb -x "$service" "$work/server"
dpkg-deb -e "$service" "$work/server-control"

lintian_clean() {
  lintian --fail-on error --no-tag-display-limit "$changes" > "$work/lintian.txt" 2>&1
  local rc=$?
  grep -E '^[EW]: ' "$work/lintian.txt" | sed 's/^/  /'
  [ $rc -eq 0 ] || fail "lintian reports errors"
}

contents() {  # contents PACKAGE FILE...: each FILE is in the package
  local list
  list=$(dpkg-deb -c "$1" | awk '{print $6}' | sed 's,^\.,,') || return 1
  shift
  for f in "$@"; do grep -qx "$f" <<<"$list" || fail "missing $f"; done
  ! grep -q '^/usr/local' <<<"$list" || fail "files under /usr/local: $(grep '^/usr/local' <<<"$list")"
}

browser_files() {
  contents "$browser" /usr/bin/nuve /usr/libexec/nuve/nuve-fetch \
    "/usr/lib/$triplet/nuve/web-extensions/libnuve-web-extension.so" \
    /usr/share/applications/org.nuve.Browser.desktop \
    /usr/share/icons/hicolor/scalable/apps/org.nuve.Browser.svg \
    /usr/share/metainfo/org.nuve.Browser.metainfo.xml \
    /usr/share/man/man1/nuve.1.gz /usr/share/doc/nuve/copyright
}

service_files() {
  contents "$service" /usr/bin/nuve-account-server \
    /lib/systemd/system/nuve-account-server.service \
    /etc/nuve-account-server/environment \
    /usr/share/man/man1/nuve-account-server.1.gz /usr/share/doc/nuve-account-server/copyright
}

desktop_data_valid() {
  desktop-file-validate "$work/nuve/usr/share/applications/org.nuve.Browser.desktop" || fail "desktop entry"
  appstreamcli validate --no-net "$work/nuve/usr/share/metainfo/org.nuve.Browser.metainfo.xml" >"$work/as.txt" 2>&1 ||
    { cat "$work/as.txt"; fail "metainfo"; }
  # The metainfo names the desktop entry the package installs.
  grep -q '<launchable type="desktop-id">org.nuve.Browser.desktop</launchable>' \
    "$work/nuve/usr/share/metainfo/org.nuve.Browser.metainfo.xml" || fail "metainfo launches another entry"
}

browser_relations() {
  local depends recommends
  depends=$(dpkg-deb -f "$browser" Depends)
  recommends=$(dpkg-deb -f "$browser" Recommends)
  for p in libwebkitgtk-6.0-4 libgtkmm-4.0 libcurl4 libsecret-1-0 libsqlite3-0; do
    grep -q "$p" <<<"$depends" || fail "Depends lacks $p: $depends"
  done
  for p in gstreamer1.0-libav gstreamer1.0-plugins-bad gstreamer1.0-gl gnome-keyring webext-ublock-origin-chromium; do
    grep -qw "$p" <<<"$recommends" || fail "Recommends lacks $p"
  done
}

# The packaged program runs, and looks for the extension in the folder the
# package puts it in (compiled in from the install layout).
browser_finds_extension() {
  local program="$work/nuve/usr/bin/nuve" dir="/usr/lib/$triplet/nuve/web-extensions"
  [ -f "$work/nuve$dir/libnuve-web-extension.so" ] || fail "no extension in $dir"
  grep -qaF "$dir" "$program" || fail "the program does not look in $dir"
  nm -D --defined-only "$work/nuve$dir/libnuve-web-extension.so" | grep -qw webkit_web_process_extension_initialize ||
    fail "the extension does not export its entry point"
  "$program" --version | grep -q "1\.3" || fail "the packaged program does not start"
  grep -qaF /usr/libexec/nuve/nuve-fetch "$program" || fail "the program does not look for /usr/libexec/nuve/nuve-fetch"
  "$work/nuve/usr/libexec/nuve/nuve-fetch" 2>/dev/null; [ $? -eq 2 ] || fail "the packaged fetch helper does not run"
}

# The unit runs the packaged program as the package's user, reads the
# environment file, which is a configuration file only root reads.
service_setup() {
  local unit="$work/server/lib/systemd/system/nuve-account-server.service"
  grep -qx "ExecStart=/usr/bin/nuve-account-server serve" "$unit" || fail "ExecStart: $(grep ExecStart "$unit")"
  grep -qx "User=nuve-account-server" "$unit" || fail "the unit does not run as nuve-account-server"
  grep -qx "EnvironmentFile=-/etc/nuve-account-server/environment" "$unit" || fail "no EnvironmentFile"
  grep -qx /etc/nuve-account-server/environment "$work/server-control/conffiles" ||
    fail "the environment file is not a conffile"
  [ "$(stat -c %a "$work/server/etc/nuve-account-server/environment")" = 600 ] || fail "the environment file is readable by all"
  "$work/server/usr/bin/nuve-account-server" --help | grep -q -- --listen || fail "the packaged service does not start"
}

# postinst configure with stand-ins for the account tools: the user and
# group come once, on a fresh system and where the group alone is left over
# from an earlier installation, a second configure changes nothing, and the
# service is not enabled.
service_user_created_once() {
  local bin="$work/fakebin" log="$work/accounts.log"
  mkdir -p "$bin"
  cat > "$bin/getent" <<'STUB'
#!/bin/sh
grep -qx "$1 $2" "$ACCOUNTS" 2>/dev/null
STUB
  cat > "$bin/addgroup" <<'STUB'
#!/bin/sh
echo "addgroup $*" >> "$ACCOUNTS_LOG"; for last; do :; done; echo "group $last" >> "$ACCOUNTS"
STUB
  cat > "$bin/adduser" <<'STUB'
#!/bin/sh
echo "adduser $*" >> "$ACCOUNTS_LOG"; for last; do :; done; echo "passwd $last" >> "$ACCOUNTS"
case " $* " in *" --ingroup nuve-account-server "*) grep -qx "group nuve-account-server" "$ACCOUNTS" || exit 1 ;; esac
STUB
  # systemd's helper as on a fresh installation: the unit was never
  # installed, and "was-enabled" answers yes, as it does then.
  cat > "$bin/deb-systemd-helper" <<'STUB'
#!/bin/sh
[ "$1" = --quiet ] && shift
echo "deb-systemd-helper $*" >> "$ACCOUNTS_LOG"
[ "$1" != debian-installed ]
STUB
  for tool in deb-systemd-invoke systemctl; do printf '#!/bin/sh\nexit 0\n' > "$bin/$tool"; done
  chmod +x "$bin"/*
  run() { ACCOUNTS=$1 ACCOUNTS_LOG=$log PATH="$bin:$PATH" sh "$work/server-control/postinst" configure "" >/dev/null; }

  : > "$log"; : > "$work/fresh"
  run "$work/fresh" && run "$work/fresh" || fail "postinst failed"
  [ "$(grep -c '^addgroup' "$log")" = 1 ] && [ "$(grep -c '^adduser' "$log")" = 1 ] ||
    fail "fresh system: $(cat "$log")"
  grep -q -- "--system" "$log" || fail "not a system user: $(cat "$log")"
  # Installed disabled until it is set up.
  ! grep -q "^deb-systemd-helper enable" "$log" || fail "the service is enabled at installation"

  : > "$log"; echo "group nuve-account-server" > "$work/leftover"
  run "$work/leftover" || fail "postinst failed with the group left over"
  ! grep -q '^addgroup' "$log" && [ "$(grep -c '^adduser' "$log")" = 1 ] || fail "group left over: $(cat "$log")"
}

check "lintian reports no error" lintian_clean
check "the browser package holds its files" browser_files
check "the account service package holds its files" service_files
check "desktop entry and metainfo are valid" desktop_data_valid
check "the browser's dependencies" browser_relations
check "the packaged browser finds its web process extension" browser_finds_extension
check "the packaged service's unit and settings" service_setup
check "the service's user is created once, the service left disabled" service_user_created_once
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
