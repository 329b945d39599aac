#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a user and the
# desktop meet there: the programs (without a display), the demo home folder,
# the desktop entry, the file types, the icon, the AppStream metadata, the
# manual pages, and the first start of the installed editor.
#   install_tree.sh BUILD_DIR VERSION
set -uo pipefail
BUILD=$1
VERSION=$2
WORK=$(mktemp -d)
EDITOR_PID=
cleanup() {
  [ -n "$EDITOR_PID" ] && kill "$EDITOR_PID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
P=$WORK/prefix

cmake --install "$BUILD" --prefix "$P" >"$WORK/install.log" 2>&1 || { cat "$WORK/install.log"; echo "FAIL: install"; exit 1; }

# ---- the installed tree ----
APP=org.slvedit.slvedit
for f in bin/slvedit bin/slvtool bin/skinpack libexec/slvedit/slvtool-display; do
  [ -x "$P/$f" ] || fail "$f missing or not executable"
done
for f in slvedit/demo/{car,pad01,purple,screen1}.bmp slvedit/demo/actors/test.skn \
         applications/$APP.desktop mime/packages/slvedit.xml metainfo/$APP.metainfo.xml \
         icons/hicolor/scalable/apps/slvedit.svg doc/slvedit/copyright doc/slvedit/changelog.gz \
         man/man1/{slvedit,slvtool,skinpack}.1.gz; do
  [ -s "$P/share/$f" ] || fail "share/$f missing"
done
for size in 16 24 32 48 64 128 256; do
  png=$P/share/icons/hicolor/${size}x${size}/apps/slvedit.png
  if [ ! -s "$png" ]; then fail "icon ${size}x${size} missing"; continue; fi
  if command -v identify >/dev/null; then
    got=$(identify -format '%wx%h' "$png")
    [ "$got" = "${size}x${size}" ] || fail "icon ${size}x${size} is $got"
  fi
done

# ---- the programs, without a display ----
nodisplay() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"; }
for prog in slvedit slvtool skinpack; do
  out=$(nodisplay "$P/bin/$prog" --version 2>&1); rc=$?
  [ $rc = 0 ] && [ "$out" = "$prog $VERSION" ] || fail "$prog --version: rc $rc, \"$out\""
  out=$(nodisplay "$P/bin/$prog" --help 2>/dev/null); rc=$?
  [ $rc = 0 ] && echo "$out" | grep -q "^Usage: $prog" || fail "$prog --help: rc $rc"
done
nodisplay "$P/bin/slvedit" --no-such-option >"$WORK/out" 2>"$WORK/err"; rc=$?
[ $rc = 2 ] || fail "an unknown option exits $rc, not 2"
[ ! -s "$WORK/out" ] || fail "an unknown option printed to stdout"
grep -q "unknown option \"--no-such-option\"" "$WORK/err" && grep -q "^Usage: slvedit" "$WORK/err" \
  || fail "an unknown option: no usage on stderr"
# slvtool finds its display helper in libexec.
nodisplay "$P/bin/slvtool" check "$WORK/none.slv" >/dev/null 2>"$WORK/err"; rc=$?
[ $rc = 1 ] && ! grep -q "cannot run" "$WORK/err" || fail "slvtool check did not reach its helper: $(cat "$WORK/err")"

# ---- desktop entry ----
desktop=$P/share/applications/$APP.desktop
if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ] || fail "desktop-file-validate: $out"
fi
grep -qx 'Exec=slvedit %f' "$desktop" || fail "desktop entry: Exec"
grep -qx 'Icon=slvedit' "$desktop" || fail "desktop entry: Icon"
grep -q '^MimeType=.*application/x-slvedit-level;' "$desktop" || fail "desktop entry: MimeType"

# ---- file types: each type with its glob; the entry's type is declared ----
mime=$P/share/mime/packages/slvedit.xml
glob_of() {
  if command -v xmllint >/dev/null; then
    xmllint --xpath "string(//*[local-name()='mime-type'][@type='$1']/*[local-name()='glob']/@pattern)" "$mime"
  else
    sed -n "/type=\"$1\"/,/<\/mime-type>/s/.*<glob pattern=\"\([^\"]*\)\".*/\1/p" "$mime"
  fi
}
[ "$(glob_of application/x-slvedit-level)" = '*.slv' ] || fail "MIME: no *.slv level package type"
[ "$(glob_of application/x-slvedit-skin)" = '*.skn' ] || fail "MIME: no *.skn skin package type"
if command -v update-mime-database >/dev/null; then
  mkdir -p "$WORK/mime/packages" && cp "$mime" "$WORK/mime/packages/"
  update-mime-database "$WORK/mime" 2>"$WORK/err" || fail "update-mime-database: $(cat "$WORK/err")"
  grep -q ':application/x-slvedit-level:\*\.slv$' "$WORK/mime/globs2" || fail "MIME database: no *.slv glob"
  grep -q 'application/x-slvedit-level' "$WORK/mime/magic" || fail "MIME database: no level package magic"
fi

# ---- AppStream metadata ----
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$P/share/metainfo/$APP.metainfo.xml" >"$WORK/out" 2>&1 \
    || fail "appstreamcli validate: $(cat "$WORK/out")"
fi
grep -q "<release version=\"$VERSION\"" "$P/share/metainfo/$APP.metainfo.xml" || fail "metainfo: version"

# ---- manual pages render, name their program, and know --version ----
for prog in slvedit slvtool skinpack; do
  page=$P/share/man/man1/$prog.1.gz
  if command -v man >/dev/null; then
    text=$(MANWIDTH=80 man -l "$page" 2>"$WORK/err" | col -b)
  else
    text=$(zcat "$page" | groff -man -Tutf8 2>"$WORK/err" | col -b)
  fi
  grep -q "^NAME" <<< "$text" && grep -qE "$prog +- " <<< "$text" && grep -q -- "--version" <<< "$text" \
    || fail "manual page of $prog: $(head -c 300 "$WORK/err")"
done

# ---- DESTDIR puts the tree under it ----
DESTDIR=$WORK/stage cmake --install "$BUILD" --prefix /usr >"$WORK/install.log" 2>&1 || fail "DESTDIR install"
[ -x "$WORK/stage/usr/bin/slvedit" ] && [ -s "$WORK/stage/usr/share/slvedit/demo/car.bmp" ] || fail "DESTDIR: tree not under it"

# ---- first start of the installed editor from an empty folder, empty HOME ----
mkdir -p "$WORK/home" "$WORK/empty"
(cd "$WORK/empty" && exec env -u XDG_DATA_HOME -u XDG_CONFIG_HOME -u XDG_STATE_HOME HOME="$WORK/home" \
   QT_QPA_PLATFORM=offscreen "$P/bin/slvedit" >"$WORK/editor.log" 2>&1) &
EDITOR_PID=$!
own=$WORK/home/.local/share/slvedit/home
for _ in $(seq 1 300); do
  [ -e "$own/actors/test.skn" ] && break
  kill -0 "$EDITOR_PID" 2>/dev/null || break
  sleep 0.1
done
kill "$EDITOR_PID" 2>/dev/null; wait "$EDITOR_PID" 2>/dev/null; EDITOR_PID=
if [ -d "$own" ]; then
  # Every demo file is there; the running editor may have added its own (extracted skins).
  differ=$(cd "$P/share/slvedit/demo" && find . -type f | while read -r f; do cmp -s "$f" "$own/$f" || echo "$f"; done)
  [ -z "$differ" ] || fail "the own home folder differs from the demo in: $differ"
else
  fail "the first start made no home folder in ~/.local/share/slvedit/home: $(cat "$WORK/editor.log")"
fi
[ -z "$(ls -A "$WORK/empty")" ] || fail "the first start wrote into the folder it started from"

[ $failures = 0 ] || exit 1
echo "install tree ok"
