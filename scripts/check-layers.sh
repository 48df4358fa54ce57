#!/usr/bin/env bash
# The layers of src/ kept honest: a folder includes only folders before it in the order below,
# Qt is included only where widgets are built, and the simulator shares nothing with the
# front-end but the command and device tables. Prints each offending include; exit 1 if any.
set -u
cd "$(dirname "$0")/.."

order=(util text operator devices link buffers lockfuse project operations session present ui app)
declare -A rank
for i in "${!order[@]}"; do rank[${order[$i]}]=$i; done

bad=0
complain() { echo "check-layers: $1"; bad=1; }

for dir in src/*/; do
  folder=$(basename "$dir")
  [ -n "${rank[$folder]+x}" ] || complain "src/$folder is no known layer (add it to the order in $0)"
done

while IFS= read -r hit; do
  file=${hit%%:*}
  rest=${hit#*:}
  line=${rest%%:*}
  text=${rest#*:}
  folder=$(echo "$file" | cut -d/ -f2)
  target=$(echo "$text" | sed -n 's/^[[:space:]]*#include "\([a-z]*\)\/.*/\1/p')
  [ -n "$target" ] || continue
  [ -n "${rank[$target]+x}" ] || continue
  [ -n "${rank[$folder]+x}" ] || continue
  if [ "${rank[$target]}" -gt "${rank[$folder]}" ]; then
    complain "$file:$line: $folder/ includes $target/, a later layer: ${text## }"
  fi
done < <(grep -rn --include='*.h' --include='*.cpp' '^[[:space:]]*#include "' src)

# Qt only in the widget layers.
while IFS= read -r hit; do
  complain "$hit: a Qt include outside src/ui and src/app"
done < <(grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#include <Q|^[[:space:]]*#include <qt' src cli sim \
           | grep -vE '^src/(ui|app)/')

# The simulator borrows only the tables, so it cannot repeat a front-end mistake.
while IFS= read -r hit; do
  complain "$hit: the simulator includes front-end code beyond the command and device tables"
done < <(grep -rn --include='*.h' --include='*.cpp' '^[[:space:]]*#include "[a-z]*/' sim \
           | grep -vE '#include "(devices/DeviceTable\.h|link/Commands\.h)"')

[ "$bad" = 0 ] && echo "check-layers: src/ in layer order (${order[*]}), Qt only in ui/ and app/, the simulator on tables only"
exit "$bad"
