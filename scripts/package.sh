#!/bin/sh
# Builds the Debian packages qlncfg and qlncfg-touchsim into build/packages/ and checks them:
# lintian (no errors; warnings are listed in docs/packaging.md), desktop-file-validate and
# appstreamcli validate --no-net on the files the package ships. Exits non-zero when a check fails.
#   sh scripts/package.sh        (QLN_BUILD_DIR chooses another build folder)
set -eu
cd "$(dirname "$0")/.."
sh scripts/deps.sh packaging
# The packages install under /usr; the program keeps that folder as its last resort for its data.
sh scripts/build.sh -DCMAKE_INSTALL_PREFIX=/usr
BUILD_DIR="${QLN_BUILD_DIR:-build}"
OUT="$BUILD_DIR/packages"
WORK="$(mktemp -d /tmp/qln-package-XXXXXX)"
trap 'rm -rf "$WORK"' EXIT

rm -f "$OUT"/*.deb
if ! (cd "$BUILD_DIR" && cpack -G DEB) >"$WORK/cpack.log" 2>&1; then
  cat "$WORK/cpack.log"
  echo "package: cpack failed"
  exit 1
fi

status=0
for name in qlncfg qlncfg-touchsim; do
  deb="$(ls "$OUT/${name}"_*.deb 2>/dev/null | head -n 1)"
  if [ -z "$deb" ]; then
    echo "package: no $name package in $OUT"
    status=1
    continue
  fi
  echo "package: $deb ($(du -k "$deb" | cut -f1) KiB)"
  echo "  Depends: $(dpkg-deb -f "$deb" Depends)"
  # Errors fail; warnings and notes are shown (accepted ones are listed in docs/packaging.md).
  if ! lintian --fail-on error --tag-display-limit 0 --display-info "$deb" >"$WORK/lintian.log" 2>&1; then
    status=1
    echo "package: lintian reports errors on $deb:"
  fi
  grep -v '^running with root privileges' "$WORK/lintian.log" | sed 's/^/  lintian: /' || true
done

# The menu entry and the AppStream data exactly as the package ships them.
deb="$(ls "$OUT"/qlncfg_*.deb 2>/dev/null | head -n 1)"
if [ -n "$deb" ]; then
  dpkg-deb -x "$deb" "$WORK/root"
  for f in "$WORK"/root/usr/share/applications/*.desktop; do
    desktop-file-validate "$f" || { echo "package: desktop-file-validate fails on $(basename "$f")"; status=1; }
  done
  for f in "$WORK"/root/usr/share/metainfo/*.metainfo.xml; do
    appstreamcli validate --no-net --no-color "$f" >"$WORK/appstream.log" 2>&1 ||
      { cat "$WORK/appstream.log"; echo "package: appstreamcli fails on $(basename "$f")"; status=1; }
  done
fi
[ "$status" -eq 0 ] && echo "package: both packages built; lintian, desktop-file-validate and appstreamcli pass"
exit $status
