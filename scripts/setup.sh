#!/usr/bin/env bash
# Installs the Debian packages NUVE needs to build, run and test.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libgtkmm-4.0-dev libwebkitgtk-6.0-dev
  # Audio and video in pages: the engine's GStreamer demuxers (MP4, WebM)
  # and VP8/VP9, the decoders of H.264 and AAC (libav), and what Debian's
  # engine package recommends beside them (installed here without recommends).
  gstreamer1.0-plugins-good gstreamer1.0-libav gstreamer1.0-plugins-bad gstreamer1.0-gl
  libcurl4-openssl-dev libpcre2-dev libsimpleini-dev libsecret-1-dev libsqlite3-dev
  # Importing other browsers' bookmarks (HTML), and packing the synced favourites.
  libxml2-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libcpp-httplib-dev nlohmann-json3-dev
  clang libclang-rt-14-dev
  xvfb xauth xdotool libgl1-mesa-dri fonts-noto-cjk dbus-x11
  # The English dictionary of the pages' spell checking.
  hunspell-en-us
  # The account service (nuve-account-server) and its tests.
  libsqlite3-dev libpq-dev libsodium-dev libssl-dev openssl postgresql python3-aiosmtpd
  libmicrohttpd-dev
  # Load and attack tools for the service's tests and benchmarks.
  wrk slowhttptest
  dbus-daemon gnome-keyring python3
  at-spi2-core python3-pyatspi libglib2.0-bin desktop-file-utils
  # Debian's EasyList and EasyPrivacy, the filter lists content blocking
  # uses offline (data only; the extension itself is not used).
  webext-ublock-origin-chromium
  # Building and checking the Debian packages (scripts/build-deb.sh).
  dpkg-dev debhelper fakeroot lintian appstream desktop-file-utils
)
if [ "${NUVE_WITH_PEER:-0}" = 1 ] || [ "${NUVE_WITH_PEERS:-0}" = 1 ]; then
  # Only the start-up benchmark needs the peer browser.
  packages+=(surf)
fi
if [ "${NUVE_WITH_PEERS:-0}" = 1 ]; then
  # The start-up benchmark's other peers, timed when installed: GNOME Web,
  # Firefox ESR and Chromium.
  packages+=(epiphany-browser firefox-esr chromium)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
