#!/usr/bin/env bash
# The main job for now: serve a simulated ZR7 board with an ATmega8 target, and say how to use it.
set -euo pipefail
build=${1:-build}
link=${ZR7_SIM_LINK:-/tmp/zr7-COM1}

cat <<TXT
Starting the simulated ZR7 board (firmware 9.10, ATmega8 target) on a pseudo-terminal,
reachable as ${link}. Every byte on the line is logged below. Stop it with Ctrl+C.

Try it from another terminal, exactly as a program talks to a real board at 19200 baud:
    exec 3<>${link}; stty -F ${link} raw -echo 19200
    printf '\x10\x40' >&3; head -c 3 <&3; echo        # wake the board, ask its version: 910
    exec 3>&-

Other chips and faults: ${build}/zr7-sim --help (for instance --chip AT45DB041, --firmware ldr,
--silent-after 10). The test suite drives the same simulator through the real serial code:
    make test
TXT
exec "${build}/zr7-sim" --chip ATmega8 --link "${link}" --log
