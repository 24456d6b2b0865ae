#!/usr/bin/env bash
# Installs what is missing, builds the loader and the board simulator, starts the
# simulator on a pseudo-terminal and the loader with COM1: mapped to it.
# Without a display it runs a vrxload demo against the simulated board instead.
#
# The demo lives in build/demo/: a copy of VRX5520_Loader, small image files for
# all seven slots and VRX5520_Loader.INI, which fills the slots and maps COM1 to
# the simulator's pseudo-terminal ([PORTS] COM1=/dev/pts/N). The simulator stops
# when the loader exits.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target VRX5520_Loader vrx-board-sim vrxload

build=$root/build/default
loader=$build/loader/ui/VRX5520_Loader
sim=$build/loader/sim/vrx-board-sim

# Without a display the window cannot show; the command-line loader runs the
# same sequences against the simulated board instead (see the end).
headless=0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  headless=1
fi

demo=$root/build/demo
mkdir -p "$demo"
cp -f "$loader" "$demo/VRX5520_Loader"

# The simulator plays a 115200-baud line (11,520 bytes/s), as a real board
# does, so the images stay small: the whole demo takes about ten seconds.
# Small images with recognisable contents; fl_burn.bin carries the name the
# simulated board looks for to start its flash loader.
pattern() { head -c "$2" /dev/zero | tr '\0' "$1"; }
pattern P 2048   > "$demo/primary.bin"
pattern S 8192   > "$demo/secondary.bin"
pattern U 16384  > "$demo/uboot.ubt"
pattern R 32768  > "$demo/rootfs.ubt"
pattern K 24576  > "$demo/kernel.bin"
pattern F 4096   > "$demo/flash.bin"
{ printf 'fl_burn demo flash loader\n'; pattern B 1024; } > "$demo/fl_burn.bin"

sim_out=$demo/sim.out
: > "$sim_out"
"$sim" > "$sim_out" 2> "$demo/sim.log" &
sim_pid=$!
cleanup() { kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; }
trap cleanup EXIT INT TERM

pty=""
for _ in $(seq 1 100); do
  pty=$(head -n 1 "$sim_out" 2>/dev/null || true)
  [ -n "$pty" ] && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then break; fi
  sleep 0.1
done
if [ -z "$pty" ]; then
  echo "run.sh: the board simulator did not start; see $demo/sim.log" >&2
  exit 1
fi

cat > "$demo/VRX5520_Loader.INI" <<INI
; Demo configuration written by scripts/run.sh
[BINFILES]
PRIMARY=primary.bin,0x0
SECONDARY=secondary.bin,0x80000004
FLASH=flash.bin,0x00040000
FL_BURN=fl_burn.bin,0x0
[IMGFILES]
UBOOT=uboot.ubt,0x80100000
ROOTFS=rootfs.ubt,0x80800000
KERNEL=kernel.bin,0x83000000
[PORTS]
COM1=$pty
INI

echo "run.sh: simulated board on $pty (COM1:); demo folder $demo" >&2
if [ "$headless" = 1 ]; then
  # vrxload beside the INI file reads it as the window would.
  cp -f "$build/loader/cli/vrxload" "$demo/vrxload"
  echo "run.sh: no display; a vrxload demo instead (the window: xvfb-run -a bash scripts/run.sh)" >&2
  for cmd in "validate" "primary urk start" "flash --erase"; do
    echo "run.sh: \$ vrxload $cmd" >&2
    # shellcheck disable=SC2086
    "$demo/vrxload" $cmd || exit $?
  done
  exit 0
fi
set +e
"$demo/VRX5520_Loader"
rc=$?
set -e
exit $rc
