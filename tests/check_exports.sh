#!/bin/sh
# Checks that the module file exports _mod_descrip alone, as constant data (the host reads it in
# place), and, on Windows, imports only system DLLs (the C++ runtime and winpthread are linked in).
set -eu
kind=$1
file=$2
fail() { echo "module_exports: $*" >&2; exit 1; }
case "$kind" in
  linux)
    own=$(nm -D --defined-only "$file" | awk '{print $3}' | sort)
    [ "$own" = "_mod_descrip" ] || fail "defined dynamic symbols are: $(echo $own)"
    # Data with pointers is relocated at load time, then made read-only (.data.rel.ro).
    section=$(objdump -t "$file" | awk '$NF == "_mod_descrip" {print $4}')
    case "$section" in
      .rodata|.data.rel.ro) ;;
      *) fail "_mod_descrip lies in writable section '$section'" ;;
    esac
    ;;
  windows)
    dump=$(x86_64-w64-mingw32-objdump -p "$file")
    echo "$dump" | grep -q 'PE32+' || echo "$dump" | grep -q 'pei-x86-64' || fail "not a PE32+ file"
    exports=$(echo "$dump" | awk '/\[Ordinal\/Name Pointer\] Table/{on=1;next} on&&/^[ \t]*\[/{print $NF} on&&/^$/{on=0}')
    [ "$exports" = "_mod_descrip" ] || fail "exports are: $(echo $exports)"
    # The symbol table numbers sections from 1, the section headers from 0.
    number=$(x86_64-w64-mingw32-objdump -t "$file" | sed -n 's/.*(sec *\([0-9]*\)).* _mod_descrip$/\1/p')
    [ -n "$number" ] || fail "no symbol table entry for _mod_descrip"
    flags=$(x86_64-w64-mingw32-objdump -h "$file" | awk -v idx=$((number - 1)) '$1 == idx {name=$2; getline; print name, $0}')
    echo "$flags" | grep -q READONLY || fail "_mod_descrip lies in writable section: $flags"
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
