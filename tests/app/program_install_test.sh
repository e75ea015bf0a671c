#!/bin/sh
# The built program's options, and the program installed into a scratch root (DESTDIR): --help and
# --version answer without a display, an unknown option ends with status 2, and the installed
# program reads the data folder beside its bin folder and keeps the user's file in the home.
#   program_install_test.sh CMAKE BUILD_DIR
set -u
CMAKE="$1"; BUILD="$2"
WORK="$(mktemp -d /tmp/qln-install-XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
unset DISPLAY WAYLAND_DISPLAY XDG_CONFIG_HOME
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# expect STATUS OUT_PATTERN ERR_PATTERN PROGRAM ARGS...: patterns are grep -E, "" = must be empty.
expect() {
  want="$1"; outpat="$2"; errpat="$3"; shift 3
  "$@" >"$WORK/out" 2>"$WORK/err"
  got=$?
  [ "$got" -eq "$want" ] || fail "$*: status $got, wanted $want"
  if [ -z "$outpat" ]; then [ ! -s "$WORK/out" ] || fail "$*: unexpected output: $(cat "$WORK/out")"
  else grep -Eq "$outpat" "$WORK/out" || fail "$*: output lacks /$outpat/: $(cat "$WORK/out")"; fi
  if [ -z "$errpat" ]; then [ ! -s "$WORK/err" ] || fail "$*: unexpected error output: $(cat "$WORK/err")"
  else grep -Eq "$errpat" "$WORK/err" || fail "$*: error output lacks /$errpat/: $(cat "$WORK/err")"; fi
}

built="$BUILD/bin/qlncfg"
expect 0 '^Usage: qlncfg \[--help \| --version \| --language english\|chinese\]$' "" "$built" --help
expect 2 "" "^qlncfg: --language: 'french' is not english or chinese$" "$built" --language french
expect 0 '^configuration version 2\.0\.0\.0$' "" "$built" --version
expect 2 "" "^qlncfg: unknown option '--no-such-option'$" "$built" --no-such-option
expect 2 "" '^Usage: qlncfg' "$built" some-file

cli="$BUILD/bin/qlncfg-cli"
expect 0 '^Exit status:$' "" "$cli" --help
expect 0 '^qlncfg-cli [0-9]+\.[0-9]+\.[0-9]+$' "" "$cli" --version
expect 2 "" 'subcommand is required' "$cli"
expect 2 "" "^qlncfg-cli: unknown command 'frobnicate'" "$cli" frobnicate
expect 2 "" 'factory-reset overwrites' "$cli" factory-reset

root="$WORK/root"
DESTDIR="$root" "$CMAKE" --install "$BUILD" --prefix /usr --component qlncfg >"$WORK/install.log" 2>&1 ||
  { cat "$WORK/install.log"; fail "cmake --install"; }
installed="$root/usr/bin/qlncfg"
[ -x "$installed" ] || fail "no $installed"
[ -x "$root/usr/bin/qlncfg-cli" ] || fail "no $root/usr/bin/qlncfg-cli"
[ -f "$root/usr/share/man/man1/qlncfg-cli.1.gz" ] || fail "no qlncfg-cli manual page"
[ -f "$root/usr/share/bash-completion/completions/qlncfg-cli" ] || fail "no bash completion for qlncfg-cli"
# The Ansible collection, where ANSIBLE_COLLECTIONS_PATH=/usr/share/qlncfg/ansible finds it.
mkdir -p "$WORK/home"
collections="$root/usr/share/qlncfg/ansible"
for f in galaxy.yml meta/runtime.yml plugins/modules/frame.py plugins/modules/frame_info.py plugins/module_utils/companion.py; do
  [ -f "$collections/ansible_collections/qlncfg/touchframe/$f" ] || fail "no $f in the installed Ansible collection"
done
if command -v ansible-doc >/dev/null 2>&1; then
  HOME="$WORK/home" ANSIBLE_COLLECTIONS_PATH="$collections" ansible-doc -l qlncfg.touchframe >"$WORK/modules" 2>&1
  grep -q '^qlncfg.touchframe.frame ' "$WORK/modules" && grep -q '^qlncfg.touchframe.frame_info ' "$WORK/modules" ||
    fail "ansible-doc does not list the installed modules: $(cat "$WORK/modules")"
fi
# A version only the scratch root's shipped file has: the installed program must read it there,
# and with no user file yet, --version must not create one.
sed -i 's|<Version>[^<]*</Version>|<Version>9.8.7.6</Version>|' "$root/usr/share/qlncfg/Configuration.xml"
mkdir -p "$WORK/home"
expect 0 '^configuration version 9\.8\.7\.6$' "" env HOME="$WORK/home" "$installed" --version
[ ! -e "$WORK/home/.config" ] || fail "--version created $WORK/home/.config"
expect 0 '^qlncfg [0-9]+\.[0-9]+\.[0-9]+$' "" env HOME="$WORK/home" "$installed" -V

if [ "$failures" -ne 0 ]; then echo "$failures failed"; exit 1; fi
echo "program options and scratch install: ok"
