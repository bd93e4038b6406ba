#!/bin/sh
# Checks the folder rules of the source tree: each folder includes only from the folders listed
# for it (quoted includes are named from the top of the tree). sdk/ includes nothing of ours but
# its own headers, by their bare names. Usage: check_dependencies.sh [SOURCE_DIR]
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
tools: sdk host tools
'

violations=$(echo "$rules" | while IFS=: read -r folder allowed; do
  [ -n "$folder" ] || continue
  [ -d "$folder" ] || continue
  find "$folder" -name '*.h' -o -name '*.cpp' -o -name '*.inc' | sort | while read -r file; do
    sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file" | while read -r included; do
      case "$included" in
        */*) top=${included%%/*} ;;
        *) top="" ;;
      esac
      if [ "$folder" = sdk ]; then
        [ -z "$top" ] || echo "$file: includes \"$included\" (sdk/ includes only its own headers)"
        continue
      fi
      case " $allowed " in
        *" $top "*) ;;
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
