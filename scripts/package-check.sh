#!/usr/bin/env bash
# Builds the Debian package from a built folder, installs it with apt-get
# (so its computed dependencies are resolved) and starts what it installed:
# vrxload --version, x9rec --help, and the window off-screen for a start-up
# check. Needs root (apt-get install).
#   scripts/package-check.sh [BUILD_FOLDER]   default build/default
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}

rm -f "$build"/vrx5520-loader_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/vrx5520-loader_*.deb)
echo "package-check: $deb depends on: $(dpkg-deb -f "$deb" Depends)"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q --reinstall "./$deb" >/dev/null

vrxload --version
x9rec --help | head -1
echo 'decl file=/dev/null fields=18:4' | x9rec DOS >/dev/null
test -f /usr/lib/udev/rules.d/60-vrx5520-serial.rules
test -f /usr/share/applications/vrx5520-loader.desktop
man -w vrxload >/dev/null 2>&1 || test -f /usr/share/man/man1/vrxload.1.gz

# The window has no way to quit by itself: alive after a few seconds means
# it started (a missing library or a crash ends it at once).
status=0
QT_QPA_PLATFORM=offscreen timeout 5 VRX5520_Loader >/dev/null 2>&1 || status=$?
if [ "$status" -ne 124 ]; then
  echo "package-check: the installed VRX5520_Loader ended with status $status at start-up" >&2
  exit 1
fi
echo "package-check: the installed programs start"
