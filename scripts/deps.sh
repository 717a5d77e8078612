#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the demo need.
# Idempotent; prints nothing when everything is already present.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config clang clang-format clang-tidy
  # libraries
  libsqlite3-dev uuid-dev zlib1g-dev libgsf-1-dev
  libcurl4-openssl-dev libjsoncpp-dev libssl-dev libmagic-dev libcpp-httplib-dev
  libzip-dev libpugixml-dev
  # desktop notifications (GIO's D-Bus)
  libglib2.0-dev
  # the display back end (GTK 3), its tests under Xvfb and the fonts the layouts name
  libgtk-3-dev xvfb xauth xdotool xclip dbus fonts-noto-cjk
  # the journey test's screenshots of the whole display (xwd)
  x11-apps
  # the web engine module (WebKitGTK 4.1)
  libwebkit2gtk-4.1-dev
  # tests, fuzzing, benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev libclang-rt-14-dev
  sqlite3 python3 python3-olefile curl openssl zip
  # a private session bus for the notification tests (dbus-run-session)
  dbus-daemon
  # the window suites again on a headless Wayland compositor (weston's
  # headless back end) and the screen-reader test's AT-SPI bus and client
  weston at-spi2-core python3-pyatspi
  # the Debian package: dpkg-shlibdeps finds its dependencies, lintian,
  # desktop-file-validate and appstreamcli check it in the packaging tests
  dpkg-dev lintian desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "deps: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
