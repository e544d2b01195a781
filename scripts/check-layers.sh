#!/bin/sh
# Refuses an include that goes against the layer order, naming file and line:
#   model <- analysis <- device, formats, geotag, edit <- library <- view <- app
# (formats works out speeds with analysis; device, formats and geotag do not use each other);
# tools use the core only (model, analysis, device, formats) and the simulated logger,
# the screenshot maker may use view and app too. Usage: check-layers.sh [SOURCE_ROOT]
cd "${1:-$(dirname "$0")/..}" || exit 2

allowed() {
    case "$1" in
    model/*) echo "model" ;;
    analysis/*) echo "model analysis" ;;
    device/*) echo "model device" ;;
    formats/*) echo "model analysis formats" ;;
    geotag/*) echo "model analysis geotag" ;;
    edit/*) echo "model analysis edit" ;;
    library/*) echo "model analysis formats library" ;;
    view/*) echo "model analysis device formats geotag edit library view" ;;
    app/*) echo "model analysis device formats geotag edit library view app" ;;
    tools/shot/*) echo "model analysis device formats geotag edit library view app tools/sim tools/shot" ;;
    tools/*/*) echo "model analysis device formats geotag edit library tools/sim tools/$(echo "$1" | cut -d/ -f2)" ;;
    *) echo "model analysis device formats geotag edit library" ;;
    esac
}

wrong=$(find model analysis device formats geotag edit library view app tools \( -name '*.h' -o -name '*.cpp' \) \
            2>/dev/null | sort | while IFS= read -r file; do
    layers=$(allowed "$file")
    grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]*/' "$file" |
        while IFS= read -r hit; do
            target=$(echo "$hit" | sed 's/.*include[[:space:]]*"\([^"]*\)".*/\1/')
            layer=${target%%/*}
            [ "$layer" = tools ] && layer=$(echo "$target" | cut -d/ -f1-2)
            case " $layers " in
            *" $layer "*) ;;
            *) echo "$file:${hit%%:*}: includes \"$target\", which its layer may not use" ;;
            esac
        done
done)
if [ -n "$wrong" ]; then
    echo "$wrong"
    exit 1
fi
echo "layers: every include goes down"
