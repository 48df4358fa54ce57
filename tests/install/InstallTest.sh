#!/usr/bin/env bash
# Installs the build into a fresh prefix with a blank in its name and runs the installed
# command line on the installed example project, from an unrelated folder, on its built-in
# simulator. Arguments: the build tree.
set -euo pipefail
build=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/zr7 install XXXXXX")
trap 'rm -rf "${work}"' EXIT
prefix="${work}/prefix dir"

cmake --install "${build}" --prefix "${prefix}" > "${work}/install.log"
for f in bin/zr7-cli bin/zr7-sim share/zr7/Help/ZR7.HTM share/zr7/examples/blink.zr7 share/zr7/examples/blink.hex \
         share/applications/zr7.desktop share/mime/packages/zr7.xml share/icons/hicolor/scalable/apps/zr7.svg; do
  [ -f "${prefix}/${f}" ] || { echo "not installed: ${f}"; exit 1; }
done
if [ -x "${build}/zr7" ]; then
  for f in bin/zr7 share/icons/hicolor/48x48/apps/zr7.png share/icons/hicolor/256x256/apps/zr7.png; do
    [ -f "${prefix}/${f}" ] || { echo "not installed: ${f}"; exit 1; }
  done
fi

mkdir -p "${work}/elsewhere"
cd "${work}/elsewhere"
export XDG_CONFIG_HOME="${work}/config"
status=0
"${prefix}/bin/zr7-cli" --simulator=ATmega8 --project "${prefix}/share/zr7/examples/blink.zr7" --yes autoprogram \
  > out.txt 2> err.txt || status=$?
if [ "${status}" -ne 0 ] || [ "$(tail -n 1 out.txt)" != "AUTOPROGRAM: OK" ]; then
  echo "installed autoprogram exited ${status}"; cat out.txt err.txt; exit 1
fi
if command -v desktop-file-validate > /dev/null; then
  out=$(desktop-file-validate "${prefix}/share/applications/zr7.desktop" 2>&1)
  [ -z "${out}" ] || { echo "desktop-file-validate: ${out}"; exit 1; }
else
  echo "desktop-file-validate is missing (package desktop-file-utils)"; exit 1
fi
echo "installed into ${prefix}: autoprogram OK, desktop entry valid"
