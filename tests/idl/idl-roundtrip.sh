#!/usr/bin/env bash
# IDL that an IDL compiler turns back into the same library. Run by CTest under tools/test:
#   idl-roundtrip.sh <Vantrel.exe> <widl> <Wine's IDL folder> <stdole2 folder> <exceptions file>
#                    <work folder> [fixture...]
# For every type library in Wine's 32-bit system folder and every fixture: /IDL writes its IDL,
# widl compiles it, and /SU writes the annotated unit of the original and of the compiled
# library; the two must be the same apart from the row that names the file, and so must the IDL of
# the original and of the compiled library. A library listed in
# the exceptions file (name, tab, what widl cannot express) is reported, not failed.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/type-libraries.sh"
vantrel=$1 widl=$2 idl_dir=$3 stdole_dir=$4 exceptions=$5 work=$6
shift 6
if [ -z "${WINEPREFIX:-}" ]; then
  echo "no WINEPREFIX; run the tests through tools/test" >&2
  exit 2
fi
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 2
# Wine's 32-bit libraries, and the folder's name for the program.
VANTREL_STDOLE32_DIR=$stdole_dir wine32_library_folder system32 source_folder

status=0 passed=0 listed=0
# roundtrip <name> <Windows path of the library>
roundtrip() {
  local name=$1 source=$2 dir="$work/$1"
  mkdir -p "$dir"
  (cd "$dir" && wine "$vantrel" /IDL "$source" library.idl >/dev/null 2>idl.err) || {
    echo "no library: $name ($(tr -d '\r' <"$dir/idl.err" | head -n 1))"
    return 0
  }
  local reason
  reason=$(awk -F'\t' -v n="$name" '$1 == n { print $2 }' "$exceptions")
  local outcome=""
  # widl names an unnamed type after its IDL file; the IDL says which file gives the original's names.
  local file
  file=$(tr -d '\r' <"$dir/library.idl" | sed -n 's|^// Compile as "\([^"/\\]*\.idl\)".*|\1|p' | head -n 1)
  [ -n "$file" ] || file=library.idl
  [ "$file" = library.idl ] || cp "$dir/library.idl" "$dir/$file"
  if ! (cd "$dir" && "$widl" -I "$idl_dir" -L "$stdole_dir" -L "$system32" --win32 -t -o again.tlb "$file" \
        >widl.log 2>&1); then
    outcome="widl refuses the IDL: $(grep -m 1 -i error "$dir/widl.log")"
  else
    (cd "$dir" && wine "$vantrel" /SU "$source" original.pas >/dev/null 2>&1 &&
      wine "$vantrel" /SU "$(winepath -w "$dir/again.tlb")" again.pas >/dev/null 2>&1) ||
      outcome="a unit cannot be written"
    if [ -z "$outcome" ] && ! diff <(sed 1d "$dir/original.pas") <(sed 1d "$dir/again.pas") >"$dir/unit.diff"; then
      outcome="the units differ: $(grep -m 1 '^[<>]' "$dir/unit.diff" | tr -d '\r')"
    fi
    # The IDL of the compiled library is the IDL it was compiled from, but for the file it names:
    # attributes the units do not show (help contexts, custom data, flags, imports) come back too.
    if [ -z "$outcome" ]; then
      if ! (cd "$dir" && wine "$vantrel" /IDL "$(winepath -w "$dir/again.tlb")" again.idl >/dev/null 2>&1); then
        outcome="the IDL of the compiled library cannot be written"
      elif ! diff <(grep -v '^// File: ' "$dir/library.idl") <(grep -v '^// File: ' "$dir/again.idl") >"$dir/idl.diff"; then
        outcome="the IDL differs: $(grep -m 1 '^[<>]' "$dir/idl.diff" | tr -d '\r')"
      fi
    fi
  fi
  if [ -z "$outcome" ]; then
    passed=$((passed + 1))
    echo "OK $name"
    [ -n "$reason" ] && { echo "FAIL $name round-trips but is listed as an exception: $reason"; status=1; }
  elif [ -n "$reason" ]; then
    listed=$((listed + 1))
    echo "LISTED $name: $reason ($outcome)"
  else
    echo "FAIL $name: $outcome"
    status=1
  fi
}

count=0
for path in "$system32"/*; do
  holds_type_library "$path" || continue
  library=$(basename "$path")
  # The package holds more than a prefix installs: only what SysWOW64 would hold, as in system32.
  [ "$system32" = "$stdole_dir" ] && [ ! -e "$WINEPREFIX/drive_c/windows/system32/$library" ] && continue
  roundtrip "$library" "$source_folder$library"
  count=$((count + 1))
done
# An empty folder must not pass for a folder of libraries that all round-trip.
[ "$count" -ge 40 ] || { echo "FAIL only $count type libraries found in $system32"; status=1; }
for fixture in "$@"; do
  roundtrip "$(basename "$fixture")" "$(winepath -w "$fixture")"
done
echo "$passed libraries round-trip; $listed listed with the reason they do not come back"
exit $status
