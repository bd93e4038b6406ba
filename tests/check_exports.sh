#!/bin/sh
# Checks that the module file exports _mod_descrip alone and, on Windows, imports only
# system DLLs (the C++ runtime and winpthread are linked in).
set -eu
kind=$1
file=$2
fail() { echo "module_exports: $*" >&2; exit 1; }
case "$kind" in
  linux)
    own=$(nm -D --defined-only "$file" | awk '{print $3}' | sort)
    [ "$own" = "_mod_descrip" ] || fail "defined dynamic symbols are: $(echo $own)"
    ;;
  windows)
    dump=$(x86_64-w64-mingw32-objdump -p "$file")
    echo "$dump" | grep -q 'PE32+' || echo "$dump" | grep -q 'pei-x86-64' || fail "not a PE32+ file"
    exports=$(echo "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/{on=1;next} on&&/^[ \t]*\[/{print $NF} on&&/^$/{on=0}')
    [ "$exports" = "_mod_descrip" ] || fail "exports are: $(echo $exports)"
    imports=$(echo "$dump" | awk '/DLL Name:/{print tolower($3)}' | sort -u)
    for dll in $imports; do
      case "$dll" in
        kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll|ntdll.dll|ucrtbase.dll|api-ms-win-*) ;;
        *) fail "imports a non-system DLL: $dll" ;;
      esac
    done
    ;;
  *) fail "usage: check_exports.sh linux|windows FILE" ;;
esac
echo "module_exports: ok ($kind)"
