#!/usr/bin/env bash
# The main job on the simulated board: a simulated ZR7 with an ATmega8 target is started, a
# sample image is programmed, verified and read back with zr7-cli, and the board keeps running
# for you to try more.
set -euo pipefail
build=${1:-build}
link=${ZR7_SIM_LINK:-/tmp/zr7-COM1}
work=$(mktemp -d /tmp/zr7-run-XXXXXX)
cli="${build}/zr7-cli"
# A profile of its own, so the demonstration changes nothing of yours.
export XDG_CONFIG_HOME="${work}/config"

"${build}/zr7-sim" --chip ATmega8 --link "${link}" --state "${work}/chip.state" > "${work}/sim.out" 2> "${work}/sim.log" &
sim=$!
trap 'kill ${sim} 2>/dev/null; wait ${sim} 2>/dev/null; rm -rf "${work}"' EXIT
for _ in $(seq 50); do [ -e "${link}" ] && break; sleep 0.1; done

head -c 3000 /dev/urandom > "${work}/sample.bin"
"${cli}" convert "${work}/sample.bin" "${work}/sample.hex" > /dev/null

step() { echo; echo "\$ zr7-cli $*"; "${cli}" --port "${link}" --device ATmega8 "$@"; }
echo "A simulated ZR7 board (firmware 9.10, ATmega8 target) is on ${link}."
step signature
step program flash "${work}/sample.hex"
step verify flash "${work}/sample.hex"
step read flash "${work}/readback.bin"
cmp -n 3000 "${work}/sample.bin" "${work}/readback.bin" && echo "(the first 3000 bytes read back equal the image)"

cat <<TXT

The board keeps running on ${link} until you press Ctrl+C. From another terminal:
    ${cli} --port ${link} --device ATmega8 blank-check
    ${cli} --port ${link} --device ATmega8 erase
    ${cli} --port ${link} --device ATmega8 program flash YOUR.hex
Without a board or a running simulator, --simulator[=CHIP] starts one inside zr7-cli.
Other chips and faults: ${build}/zr7-sim --help. The tests: make test
TXT
wait "${sim}"
