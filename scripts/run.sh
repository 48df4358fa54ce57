#!/usr/bin/env bash
# With a display: the desktop program on a simulated ZR7 board with an ATmega8, the sample
# project of examples/ open. Without one: the same main job with zr7-cli on a simulated
# board that keeps running for you to try more.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "${root}"
project="${root}/examples/blink.zr7"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  # A profile of its own that stays between runs: the language, the recent projects and the
  # board choice are yours to try, and nothing of your real profile changes.
  export XDG_CONFIG_HOME="${root}/${build}/run-config"
  echo "Starting ${build}/zr7 on a simulated board (ATmega8 on COM1) with ${project#"${root}"/}."
  echo "Program, verify and read with the buttons on the right; Settings > Select Language for Russian."
  exec "${build}/zr7" --simulator "${project}"
fi

link=${ZR7_SIM_LINK:-/tmp/zr7-COM1}
work=$(mktemp -d /tmp/zr7-run-XXXXXX)
cli="${build}/zr7-cli"
# A profile of its own, so the demonstration changes nothing of yours.
export XDG_CONFIG_HOME="${work}/config"

"${build}/zr7-sim" --chip ATmega8 --link "${link}" --state "${work}/chip.state" > "${work}/sim.out" 2> "${work}/sim.log" &
sim=$!
trap 'kill ${sim} 2>/dev/null; wait ${sim} 2>/dev/null; rm -rf "${work}"' EXIT
for _ in $(seq 50); do [ -e "${link}" ] && break; sleep 0.1; done

image=examples/blink.hex
step() { echo; echo "\$ zr7-cli $*"; "${cli}" --port "${link}" --project "${project}" "$@"; }
echo "No display: the desktop program needs one, so here is the same job on the command line."
echo "A simulated ZR7 board (firmware 9.10, ATmega8 target) is on ${link}."
step signature
step program flash "${image}"
step verify flash "${image}"
step read flash "${work}/readback.bin"
"${cli}" convert "${image}" "${work}/image.bin" > /dev/null
size=$(stat -c %s "${work}/image.bin")
cmp -n "${size}" "${work}/image.bin" "${work}/readback.bin" && echo "(the first ${size} bytes read back equal the image)"

cat <<TXT

The board keeps running on ${link} until you press Ctrl+C. From another terminal:
    ${cli} --port ${link} --device ATmega8 blank-check
    ${cli} --port ${link} --device ATmega8 erase
    ${cli} --port ${link} --device ATmega8 program eeprom examples/blink.eep
Without a board or a running simulator, --simulator[=CHIP] starts one inside zr7-cli.
With a display, "make run" opens the desktop program instead (build/zr7 --simulator).
Other chips and faults: ${build}/zr7-sim --help. The tests: make test
TXT
wait "${sim}"
