#!/usr/bin/env bash
# Installs the Debian 12 packages Mintlux needs to build, test and run.
# Idempotent: only missing packages are fetched; a second run changes nothing.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config git clang-format
  # libraries
  qt6-base-dev qt6-charts-dev libsimdjson-dev libboost-dev libicu-dev
  # Qt Charts' CMake package requires the OpenGL modules' CMake files, which it does not pull in
  libqt6opengl6-dev
  # the pricing service's store
  libsqlite3-dev
  # desktop shell: X11 tray protocol headers, a font with the arrows the title uses
  libxcb1-dev fonts-dejavu-core
  # renders the application icon's PNG sizes from its SVG
  librsvg2-bin
  # manual pages from their scdoc sources; the package's validators
  scdoc lintian desktop-file-utils appstream
  # tests and benchmarks
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # HTTP load figures for the pricing service (scripts/load-test.sh)
  wrk curl
  # the TLS tests make a throw-away certificate with it
  openssl
  # desktop tests: private session bus, virtual X server (xvfb-run needs xauth, only recommended),
  # system trays (XEmbed and SNI hosts),
  # pointer clicks through XTEST
  dbus-daemon xvfb xauth trayer xfce4-panel xdotool
  # a window manager: focus and window titles as a desktop gives them
  openbox
)
# `install-deps.sh fuzz`: the libFuzzer toolchain too, needed only by `make fuzz`.
if [ "${1:-}" = "fuzz" ]; then
  packages+=(clang libclang-rt-14-dev)
fi
# `install-deps.sh desktops`: the real desktop hosts the integrations are tried in, needed only by
# `make test-desktops` (large: GNOME Shell, the Plasma widget viewer, the Xfce generic monitor).
if [ "${1:-}" = "desktops" ]; then
  packages+=(gnome-shell gnome-shell-extension-appindicator xwayland python3-dbusmock python3-gi
    gir1.2-glib-2.0 python3-pil xfce4-genmon-plugin plasma-sdk plasma-desktop)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
