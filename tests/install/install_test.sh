#!/usr/bin/env bash
# Installs the build into a temporary prefix (DESTDIR) and checks what a user meets there: every
# file in its place, a desktop entry and a MIME type the freedesktop tools accept, manual pages that
# document every option, banklore-cli reading the installed definitions (and then the user's own),
# and banklore keeping its settings and log in the XDG folders and loading a file named on its
# command line into Bank 1.
#
#   install_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
mkdir -p "$build/test-tmp"
work=$(mktemp -d "$build/test-tmp/install-XXXXXX")
gui=""
cleanup() {
  if [ -n "$gui" ]; then kill -KILL "$gui" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
need() {
  command -v "$1" >/dev/null || fail "$1 is missing: run scripts/install-deps"
}
need desktop-file-validate
need update-mime-database

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
usr="$work/root/usr"
for file in bin/banklore bin/banklore-cli bin/banklore-virtual-synth share/banklore/banklore.idf \
  share/applications/banklore.desktop share/icons/hicolor/scalable/apps/banklore.svg \
  share/mime/packages/banklore.xml share/man/man1/banklore.1.gz \
  share/man/man1/banklore-cli.1.gz share/man/man1/banklore-virtual-synth.1.gz; do
  [ -f "$usr/$file" ] || fail "$file is not installed"
done

# The desktop entry: valid, starting an installed program with the files it is given, showing the
# installed icon, offered for .syx (our type) and .mid files.
desktop="$usr/share/applications/banklore.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate refused the desktop entry"
grep -qx 'Exec=banklore %F' "$desktop" || fail "Exec does not pass the files to banklore"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no installed icon '$icon'"
grep -q '^MimeType=.*application/x-sysex;' "$desktop" || fail "not offered for .syx files"
grep -q '^MimeType=.*audio/midi;' "$desktop" || fail "not offered for .mid files"

# The MIME type: the database built from it alone gives .syx files the type the entry names.
mkdir -p "$work/mime/packages"
cp "$usr/share/mime/packages/banklore.xml" "$work/mime/packages/"
# (It warns that the folder is not one applications search: that is the point here.)
mime=$(update-mime-database "$work/mime" 2>&1) || fail "update-mime-database refused banklore.xml: $mime"
grep -q '^50:application/x-sysex:\*\.syx$' "$work/mime/globs2" || fail ".syx has no type"

# Every option a tool's --help lists is in its manual page (which writes "-" as "\-").
for tool in banklore banklore-cli banklore-virtual-synth; do
  page=$(gzip -dc "$usr/share/man/man1/$tool.1.gz" | sed 's/\\-/-/g')
  for option in $("$usr/bin/$tool" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "$option" <<<"$page" || fail "$tool.1 does not describe $option"
  done
  if command -v man >/dev/null; then
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$usr/share/man/man1/$tool.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$tool.1: $warnings"
  fi
done

# banklore-cli from the prefix: the installed definitions, then the user's own beside them.
user=(PATH=/usr/bin:/bin HOME="$work/home" XDG_CONFIG_HOME="$work/config"
  XDG_STATE_HOME="$work/state")
run() { env -i "${user[@]}" "$@"; }
[ "$(run "$usr/bin/banklore-cli" --version)" = "banklore-cli $version" ] || fail "banklore-cli --version"
out=$(run "$usr/bin/banklore-cli" definition --instrument Virtual)
grep -qx "DefinitionFile: $usr/share/banklore/banklore.idf" <<<"$out" ||
  fail "banklore-cli did not read the installed definitions: $(grep DefinitionFile <<<"$out")"
grep -qx "Settings: Virtual" <<<"$out" || fail "the installed Virtual section was not read"
mkdir -p "$work/config/banklore"
printf '[Mine]\nNumTotalPatches=12\n' >"$work/config/banklore/banklore.idf"
out=$(run "$usr/bin/banklore-cli" definition --instrument Mine)
grep -qx "DefinitionFile: $work/config/banklore/banklore.idf" <<<"$out" ||
  fail "banklore-cli did not prefer the user's definitions: $(grep DefinitionFile <<<"$out")"
grep -qx "NumTotalPatches: 12" <<<"$out" || fail "the user's section was not read"
rm -r "$work/config"

# banklore from the prefix: settings and log in the XDG folders (made on the way), nothing beside
# the program, and a file from the command line loaded into Bank 1. SIGTERM closes it as a logout
# would, saving its settings.
bank="$work/empty bank.syx"
: >"$bank"
# Started directly (not through a function, which would run in a subshell of its own), so that
# SIGTERM reaches the program itself.
env -i "${user[@]}" QT_QPA_PLATFORM=offscreen BANKLORE_MIDI_API=loopback \
  "$usr/bin/banklore" "$bank" >"$work/gui.out" 2>&1 &
gui=$!
log="$work/state/banklore/banklore_Debug.txt"
for _ in $(seq 600); do
  grep -qF "Loading $bank into list 0" "$log" 2>/dev/null && break
  kill -0 "$gui" 2>/dev/null || break
  sleep 0.1
done
grep -qF "Loading $bank into list 0" "$log" 2>/dev/null ||
  fail "banklore did not load its argument into Bank 1: $(cat "$work/gui.out")"
kill -TERM "$gui"
status=0
wait "$gui" || status=$?
gui=""
[ "$status" = 0 ] || fail "banklore ended with $status: $(cat "$work/gui.out")"
grep -q '^PosX=' "$work/config/banklore/banklore.ini" || fail "no settings in XDG_CONFIG_HOME"
grep -qx -- '--- Program end ---' "$log" || fail "the log did not run to its end"
for file in "$usr"/bin/*; do
  case "${file##*/}" in
  banklore | banklore-cli | banklore-virtual-synth) ;;
  *) fail "a file written beside the installed program: $file" ;;
  esac
done
echo "installed layout checked in $usr"
