#!/bin/sh
# Installs the Debian packages the build, the tests and the scripts need (as root). Packages that
# are already installed are left alone, so a second run costs a second or two.
#   sh scripts/deps.sh [packaging]    packaging: also what building and checking the .debs needs
set -eu
PACKAGES="cmake g++ make pkg-config libgtest-dev libgmock-dev \
libwxgtk3.2-dev libgtk-3-dev libtinyxml-dev \
libx11-dev libxcb-randr0-dev libwayland-dev xvfb xauth fonts-wqy-microhei x11-xserver-utils x11-utils xdotool imagemagick \
iproute2 util-linux procps openbox metacity xfwm4 dbus sway grim libwayland-bin wayland-protocols libxkbcommon-dev libxtst-dev libcli11-dev nlohmann-json3-dev"
# An X server with two outputs, for the desktop suite's two-display scenario (Xvfb has one).
PACKAGES="$PACKAGES xserver-xorg-core xserver-xorg-video-dummy"
# The fleet modules' tests run ansible-playbook (contrib/ansible).
PACKAGES="$PACKAGES ansible-core"
# sway's XWayland: the X program on a compositor's outputs, turned as they are (the dummy driver
# cannot turn an output).
PACKAGES="$PACKAGES xwayland"
# The accessibility test reads the program's accessible tree (AT-SPI) with Debian's Python.
PACKAGES="$PACKAGES at-spi2-core python3-pyatspi"
# The toolkit's own texts (a message box's Yes, No, OK) in the interface's language.
PACKAGES="$PACKAGES wx3.2-i18n"
# CPack's DEB generator (dpkg-shlibdeps, file) and the package checks.
PACKAGING="dpkg-dev file lintian desktop-file-utils appstream"
EXTRA="${QLN_EXTRA_PACKAGES:-}"
[ "${1:-}" = packaging ] && EXTRA="$EXTRA $PACKAGING"
missing=""
for p in $PACKAGES $EXTRA; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ]; then
  echo "deps: missing packages:$missing (run as root to install them)" >&2
  exit 1
fi
echo "deps: installing$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# Another apt run (a parallel test script) may hold the lock for a while: wait for it.
apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=300 $missing >/dev/null
