#!/usr/bin/env bash
# Installs the Debian packages Mintlux needs to build, test and run, on Debian 12 (bookworm) or
# Debian 13 (trixie): one list, with the names that differ between the two picked by the running
# release. Idempotent: only missing packages are fetched; a second run changes nothing.
set -euo pipefail

release=$(. /etc/os-release && echo "${VERSION_CODENAME:-${VERSION_ID:-}}")
case "$release" in
  bookworm | 12) release=bookworm ;;
  trixie | 13) release=trixie ;;
  *)
    echo "install-deps: not Debian 12 or 13 (${release:-unknown}); trying Debian 13's names" >&2
    release=trixie
    ;;
esac

# $(pick BOOKWORM TRIXIE): the name on the running release; "-" where that release needs none.
pick() {
  local name=$1
  [ "$release" = trixie ] && name=$2
  [ "$name" = - ] || echo "$name"
}

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config git clang-format
  # libraries
  qt6-base-dev qt6-charts-dev libsimdjson-dev libboost-dev libicu-dev
  # Qt Charts' CMake package requires the OpenGL modules' CMake files; Qt 6.4 keeps them apart,
  # Qt 6.8's qt6-base-dev ships them (and only provides the old name, which dpkg never lists)
  $(pick libqt6opengl6-dev -)
  # the pricing service's store; gzip for its answers and the app's reading of them
  libsqlite3-dev zlib1g-dev
  # desktop shell: X11 tray protocol headers, a font with the arrows the title uses
  libxcb1-dev fonts-dejavu-core
  # renders the application icon's PNG sizes from its SVG
  librsvg2-bin
  # manual pages from their scdoc sources; the package's validators
  scdoc lintian desktop-file-utils appstream
  # tests and benchmarks
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # HTTP load figures for the pricing service (scripts/load-test.sh, bench/serve.sh); the
  # caching proxy its deployment test runs in front of it (light: proxy, cache and gzip suffice)
  wrk curl nginx-light
  # the TLS tests make a throw-away certificate with it
  openssl
  # desktop tests: private session bus, virtual X server (xvfb-run needs xauth, only recommended),
  # system trays (XEmbed and SNI hosts),
  # pointer clicks through XTEST
  dbus-daemon xvfb xauth trayer xfce4-panel xdotool
  # a window manager: focus and window titles as a desktop gives them
  openbox
  # a real notification server for the price alerts (dunstctl invokes actions), and
  # dbus-monitor to read the calls it gets
  dunst dbus-bin
  # a fixed weekday for the alert tests, whose prices only count while the market trades
  faketime
  # the sources the end-to-end test compiles its en_US.UTF-8 locale from
  locales
)
# `install-deps.sh fuzz`: the libFuzzer toolchain too, needed only by `make fuzz`; the runtime
# must match the release's default clang (14 on Debian 12, 19 on Debian 13).
if [ "${1:-}" = "fuzz" ]; then
  packages+=(clang "$(pick libclang-rt-14-dev libclang-rt-19-dev)")
fi
# `install-deps.sh desktops`: the real desktop hosts the integrations are tried in, needed only by
# `make test-desktops` (large: GNOME Shell, the Plasma widget viewer, the Xfce generic monitor).
if [ "${1:-}" = "desktops" ]; then
  # plasma-workspace ships the QML D-Bus module (org.kde.plasma.workspace.dbus) the Plasma 6
  # widget reads the title with; named here, not left to plasma-desktop's dependencies.
  # at-spi2-core: the accessibility bus the GNOME test reads the title's role from.
  packages+=(gnome-shell gnome-shell-extension-appindicator xwayland python3-dbusmock python3-gi
    gir1.2-glib-2.0 python3-pil xfce4-genmon-plugin plasma-sdk plasma-desktop plasma-workspace
    at-spi2-core)
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
