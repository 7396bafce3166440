#!/usr/bin/env bash
# The floors of src/: a module may include only modules on its own floor or below. Prints each
# include that reaches up and exits non-zero when there is one.
#
#   bash scripts/check-layers.sh [src folder]
set -uo pipefail
src=${1:-$(dirname "$0")/../src}

declare -A floor=(
    [platform]=0
    [settings]=1 [display]=1
    [capture]=2 [render]=2
    [session]=3
    [ui]=4
    [app]=5
)

violations=0
checked=0
while IFS= read -r -d '' file; do
    module=$(basename "$(dirname "$file")")
    if [[ -z "${floor[$module]+x}" ]]; then
        echo "layers: $file is in a folder with no floor ($module)"
        violations=$((violations + 1))
        continue
    fi
    while IFS= read -r target; do
        checked=$((checked + 1))
        if [[ -z "${floor[$target]+x}" ]]; then
            echo "layers: $file includes from $target/, a folder with no floor"
            violations=$((violations + 1))
        elif ((floor[$target] > floor[$module])); then
            echo "layers: $file ($module, floor ${floor[$module]}) includes $target/ (floor ${floor[$target]})"
            violations=$((violations + 1))
        fi
    done < <(sed -n 's|^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z_]*\)/.*|\1|p' "$file")
done < <(find "$src" -mindepth 2 -maxdepth 2 \( -name '*.h' -o -name '*.cpp' \) -print0)

echo "layers: $checked includes checked, $violations reaching up"
((violations == 0))
