#!/bin/sh
# Checks the folder rules of the source tree: each folder includes only from the folders listed
# for it (quoted includes are named from the top of the tree). sdk/ includes nothing of ours but
# its own headers, by their bare names. The host's rooms are layered: each uses only the rooms
# above it in the list. Usage: check_dependencies.sh [SOURCE_DIR]
set -eu
cd "${1:-$(dirname "$0")/..}"

rules='
sdk:
common: sdk common
instance: sdk common instance
deform: sdk common deform
ui: sdk common ui
module: sdk common instance deform ui module
host: sdk host
host/base: sdk host/base
host/loader: sdk host/base host/loader
host/scene: sdk host/base host/scene
host/services: sdk host/base host/loader host/scene host/services
host/run: sdk host/base host/loader host/scene host/services host/run
host/panel: sdk host/base host/loader host/scene host/services host/run host/panel
tools: sdk host
'

violations=$(echo "$rules" | while IFS=: read -r folder allowed; do
  [ -n "$folder" ] || continue
  [ -d "$folder" ] || continue
  find "$folder" -name '*.h' -o -name '*.cpp' -o -name '*.inc' | sort | while read -r file; do
    sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file" | while read -r included; do
      case "$included" in
        */*/*) top=${included%%/*}; room=$top/$(echo "${included#*/}" | cut -d/ -f1) ;;
        */*) top=${included%%/*}; room=$top ;;
        *) top=""; room="" ;;
      esac
      if [ "$folder" = sdk ]; then
        [ -z "$top" ] || echo "$file: includes \"$included\" (sdk/ includes only its own headers)"
        continue
      fi
      case " $allowed " in
        *" $top "* | *" $room "*) ;;
        *) echo "$file: includes \"$included\" ($folder/ may include from: $allowed)" ;;
      esac
    done
  done
done)

if [ -n "$violations" ]; then
  echo "$violations" >&2
  echo "folder_rules: $(echo "$violations" | wc -l) include(s) across a forbidden edge" >&2
  exit 1
fi
echo "folder_rules: ok"
