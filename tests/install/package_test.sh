#!/usr/bin/env bash
# The Debian package as a user meets it, as root: built from this build's install rules,
# installed (hooks called, previously-installed flag on the second run), its window started
# under Xvfb, a sip: link opened through the desktop handed to a running console phone, purged
# without a trace; then `cmake --install` to a prefix. Exit 77 (skipped) when not root.
set -euo pipefail
build=$1
[[ $(id -u) -eq 0 ]] || { echo "needs root (dpkg -i)"; exit 77; }
if dpkg-query -W -f='${Status}' corvina 2>/dev/null | grep -q "ok installed"; then
  echo "corvina is installed already: not touching it"; exit 1
fi
tmp=$(mktemp -d /tmp/corvina-package-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  dpkg --purge corvina >/dev/null 2>&1 || true
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
# Waits (at most $2 tenths of a second) until file $1 holds the text $3.
wait_for() { for ((i = 0; i < $2; i++)); do grep -qF -- "$3" "$1" && return 0; sleep 0.1; done; fail "no \"$3\" in $1"; }

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/pkg" >"$tmp/cpack.log" || { cat "$tmp/cpack.log"; fail cpack; }
deb=$(echo "$tmp"/pkg/corvina_*.deb)
for run in "previously installed: no" "previously installed: yes"; do
  dpkg -i "$deb" >"$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log"; fail "dpkg -i"; }
  grep -q "Install_Init ($run) and Install_Exit answered 0" "$tmp/dpkg.log" || fail "hooks ($run)"
done
for f in /usr/bin/corvina /usr/bin/corvina-codec /usr/bin/corvina-orrin-server /usr/bin/corvina-lumo-server \
         /usr/lib/corvina/libcorvinasetup.so /usr/share/doc/corvina/manual.html /usr/share/man/man1/corvina.1.gz \
         /usr/share/icons/hicolor/scalable/apps/corvina.svg; do
  [[ -f $f ]] || fail "$f not installed"
done
desktop-file-validate /usr/share/applications/corvina.desktop || fail "desktop entry"
dpkg-deb -f "$deb" Depends | grep -q libportaudio || fail "Depends lacks the shared libraries"

# A display, a home and a phone of the test's own; nothing leaves loopback.
Xvfb -displayfd 3 -nolisten tcp 3>"$tmp/display" 2>/dev/null & pids+=($!)
for ((i = 0; i < 100; i++)); do [[ -s $tmp/display ]] && break; sleep 0.1; done
[[ -s $tmp/display ]] || fail "Xvfb did not start"
export DISPLAY=:$(cat "$tmp/display") HOME=$tmp/home CORVINA_HOME=$tmp/phone CORVINA_LOCAL_ADDRESS=127.0.0.1
export XDG_CONFIG_HOME=$tmp/home/.config XDG_DATA_HOME=$tmp/home/.local/share
mkdir -p "$HOME"
corvina reg set SIP STUN 0 && corvina reg set SIP UPNP 0 && corvina reg set Settings InstallWizRun 1
# The installed window stays up until it is told to go.
status=0; timeout 3 corvina 2>"$tmp/window.err" || status=$?
[[ $status -eq 124 ]] || { cat "$tmp/window.err"; fail "the window ended with $status"; }

mkfifo "$tmp/in"
corvina --headless <"$tmp/in" >"$tmp/out" 2>&1 & pids+=($!)
exec 7>"$tmp/in"
wait_for "$tmp/out" 100 '"event":"display"'
xdg-mime default corvina.desktop x-scheme-handler/sip
xdg-open sip:100@127.0.0.1:9
wait_for "$tmp/out" 50 '"title":"Calling sip:100@127.0.0.1:9"'
echo quit >&7
exec 7>&-
phone=${pids[1]}
unset 'pids[1]'  # reaped below: its id is no longer ours to signal
wait "$phone" || fail "the console phone did not stop cleanly"

dpkg --purge corvina >"$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log"; fail purge; }
grep -q "Uninstall_Init and Uninstall_Exit answered 0" "$tmp/dpkg.log" || fail "removal hooks"
for f in $(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\.||'); do
  [[ -d $f || ! -e $f ]] || fail "$f outlived the purge"
done
[[ -f $CORVINA_HOME/registry.db ]] || fail "the purge removed the user's settings"

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
"$tmp/prefix/bin/corvina" --help | grep -q CORVINA_HOME || fail "installed --help"
echo "package test passed"
