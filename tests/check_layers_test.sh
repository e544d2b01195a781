#!/bin/sh
# The layer check passes on the tree and refuses a model file that includes a device header
# and a view file that includes an app header, naming each file and line.
set -e
root=$1
sh "$root/scripts/check-layers.sh" "$root"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/model" "$tree/device" "$tree/view" "$tree/app"
printf '#include <QString>\n#include "model/b.h"\n#include "device/c.h"\n' > "$tree/model/a.h"
printf '// a view\n#include "app/d.h"\n' > "$tree/view/v.cpp"
printf '#include "view/v.h"\n#include "device/c.h"\n' > "$tree/app/w.cpp"
if out=$(sh "$root/scripts/check-layers.sh" "$tree"); then
    echo "the check passed a tree that breaks the layers"
    exit 1
fi
expected='model/a.h:3: includes "device/c.h", which its layer may not use
view/v.cpp:2: includes "app/d.h", which its layer may not use'
if [ "$out" != "$expected" ]; then
    printf 'expected:\n%s\ngot:\n%s\n' "$expected" "$out"
    exit 1
fi
echo "layers: refused as expected"
