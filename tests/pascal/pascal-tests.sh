#!/usr/bin/env bash
# Import units proven by a real compiler. Run by CTest under tools/test (WINEPREFIX set):
#   pascal-tests.sh <test> <Vantrel.exe> <compiler> <its units> <this folder> <work folder> [fixture...]
# VANTREL_PASCAL_TARGET=win32 compiles for i386-win32 (the cross compiler and Win32 units) the units
# of Wine's 32-bit libraries; its programs run only where the machine runs 32-bit programs.
# WineLibraries: the unit of every type library Wine installs compiles.
# Fixtures: the units of the test fixtures compile.
# Scrrun, Msxml, Dispid: programs that use generated units run under Wine and print what they did.
# Events: a program receives the events of the test server (tests/eventserver, the file given after
#   the work folder) through the event sink of its generated unit.
# Order: a program calls every member of the test server whose library lists them out of vtable
#   order (tests/eventserver, the file given after the work folder).
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/type-libraries.sh"
test_name=$1 vantrel=$2 compiler=$3 units=$4 here=$5 work=$6
shift 6
if [ -z "${WINEPREFIX:-}" ]; then
  echo "no WINEPREFIX; run the tests through tools/test" >&2
  exit 2
fi
target=${VANTREL_PASCAL_TARGET:-win64}
if [ "$target" = win64 ]; then
  # The 64-bit system folder, and its name for the program: a 32-bit one reaches it through sysnative.
  system="$WINEPREFIX/drive_c/windows/system32"
  native='C:\windows\sysnative\'
  [ "${VANTREL_PROGRAM_BITS:-32}" = 64 ] && native='C:\windows\system32\'
else
  wine32_library_folder system native
  case "$test_name" in
    WineLibraries | Fixtures) ;;
    *)
      if [ "${VANTREL_MODE:-}" != "32-bit and 64-bit" ]; then
        # Read by tools/test, which counts the tests skipped for the mode.
        echo "${BASH_SOURCE[0]}: Skipped"
        echo "not in the 64-bit-only mode: 32-bit programs do not run"
        exit 77
      fi
      ;;
  esac
fi
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 2

# Every library Wine's 64-bit system folder holds a type library in.
libraries=(stdole2.tlb stdole32.tlb activeds.tlb mshtml.tlb atl.dll comsvcs.dll hnetcfg.dll ieframe.dll
  jscript.dll msi.dll msxml3.dll msxml6.dll oleacc.dll quartz.dll scrrun.dll shdocvw.dll shell32.dll
  taskschd.dll uiautomationcore.dll vbscript.dll winhttp.dll wmp.dll wuapi.dll msscript.ocx wshom.ocx)

# generate <source> <folder>: the import unit of a library into a folder of its own.
generate() {
  mkdir -p "$2"
  (cd "$2" && wine "$vantrel" /PAS "$1" >/dev/null 2>"$2.err") || {
    echo "FAIL $1: /PAS failed: $(tr -d '\r' <"$2.err")"
    return 1
  }
}

# compile <file> [more compiler args]: compiles for the target, printing the compiler's errors on failure.
compile() {
  local file=$1
  shift
  local dir
  dir=$(dirname "$file")
  mkdir -p "$dir/obj"
  if ! "$compiler" -T"$target" -Fu"$units" -Fu"$dir" -FU"$dir/obj" -FE"$dir" -vewn-h- "$@" "$file" >"$file.log" 2>&1; then
    echo "FAIL $file does not compile:"
    grep -E "Error|Fatal" "$file.log" | head -n 20
    return 1
  fi
}

# run_program <name> <library> <expected output>: compiles tests/pascal/<name>.dpr against the unit
# of a library (a file of the target's system folder, or a whole Windows path) and compares what it
# prints.
run_program() {
  local name=$1 library=$2 expected=$3
  case "$library" in
    *\\*) ;;
    *) library="$native$library" ;;
  esac
  generate "$library" "$work/$name" || return 1
  cp "$here/$name.dpr" "$work/$name/"
  compile "$work/$name/$name.dpr" || return 1
  local output
  output=$(cd "$work/$name" && wine "./$name.exe" 2>/dev/null | tr -d '\r')
  if [ "$output" != "$expected" ]; then
    echo "FAIL $name printed:"
    echo "$output"
    echo "expected:"
    echo "$expected"
    return 1
  fi
  echo "OK $name"
}

status=0
case "$test_name" in
  WineLibraries)
    # Every file of the target's system folder that holds a type library.
    count=0
    for path in "$system"/*; do
      holds_type_library "$path" || continue
      library=$(basename "$path")
      known=0
      for name in "${libraries[@]}"; do [ "${library,,}" = "$name" ] && known=1; done
      if ! generate "$native$library" "$work/$library" >"$work/$library.generate" 2>&1; then
        # The name may stand in a file without a library; the ones known to hold one must load.
        if [ "$known" = 1 ]; then cat "$work/$library.generate"; status=1; else echo "no library: $library"; fi
        continue
      fi
      count=$((count + 1))
      for unit in "$work/$library"/*.pas; do
        compile "$unit" && echo "OK $library: $(basename "$unit")" || status=1
      done
    done
    echo "$count libraries compiled"
    [ "$count" -ge "${#libraries[@]}" ] || { echo "FAIL only $count type libraries found in $system"; status=1; }
    ;;
  Fixtures)
    # All units in one folder: a library that imports another uses that library's unit. Pens is
    # registered, as a library another imports is, while the units are made.
    pens_key='HKCR\TypeLib\{7A4C2E10-5D3B-4E8F-9B20-0000000BA5E1}'
    for fixture in "$@"; do
      if [ "$(basename "$fixture")" = Pens.tlb ]; then
        wine reg add "$pens_key\1.0" /ve /d PensLib /f >/dev/null 2>&1
        wine reg add "$pens_key\1.0\0\win32" /ve /d "$(winepath -w "$fixture")" /f >/dev/null 2>&1
      fi
    done
    for fixture in "$@"; do
      generate "$(winepath -w "$fixture")" "$work/units" || status=1
    done
    wine reg delete "$pens_key" /f >/dev/null 2>&1
    for unit in "$work/units"/*.pas; do
      compile "$unit" && echo "OK $(basename "$unit")" || status=1
    done
    grep -q "PensLib_TLB;" "$work/units/DrawingLib_TLB.pas" 2>/dev/null || { echo "FAIL DrawingLib_TLB does not use PensLib_TLB"; status=1; }
    ;;
  Layouts)
    # Every record of the units of Wine's libraries of the target and of the fixtures built for
    # the target's programs has the size and field offsets its library gives, as a generated
    # program checks.
    sources=()
    for path in "$system"/*; do
      holds_type_library "$path" && sources+=("$native$(basename "$path")")
    done
    IFS=: read -r -a fixtures <<<"${VANTREL_LAYOUT_FIXTURES:-}"
    for fixture in "${fixtures[@]}"; do sources+=("$(winepath -w "$fixture")"); done
    checked=0
    for source in "${sources[@]}"; do
      name=$(basename "${source//\\//}")
      dir="$work/layout-$name"
      generate "$source" "$dir" >/dev/null 2>&1 || continue  # a file without a library
      (cd "$dir" && wine "$VANTREL_LAYOUT_CHECK" "$source" LayoutCheck.dpr >/dev/null 2>"$dir.check.err") || {
        echo "FAIL $name: the layout check cannot be written: $(tr -d '\r' <"$dir.check.err")"
        status=1
        continue
      }
      for unit in "$dir"/*.pas; do compile "$unit" || status=1; done
      compile "$dir/LayoutCheck.dpr" || { status=1; continue; }
      output=$(cd "$dir" && wine ./LayoutCheck.exe 2>&1 | tr -d '\r')
      echo "$output" | sed "s/^/$name: /"
      echo "$output" | grep -q ' records checked, 0 differences$' || { echo "FAIL $name: record layouts differ"; status=1; }
      checked=$((checked + 1))
    done
    echo "$checked libraries' record layouts checked"
    [ "$checked" -ge 20 ] || { echo "FAIL only $checked libraries checked"; status=1; }
    ;;
  Scrrun)
    run_program ScrrunDemo scrrun.dll "$(printf '%s\n' 'C:\Data\report.txt' 'gz' '2' 'two' 'TRUE' 'FALSE')" || status=1
    ;;
  Msxml)
    run_program MsxmlDemo msxml6.dll "$(printf '%s\n' '3' 'Ada=1815' 'Grace=1906' 'Linus=1969' 'Grace')" || status=1
    ;;
  Dispid)
    run_program DispidDemo scrrun.dll "$(printf '%s\n' '2' 'b' 'c:\x\y.txt')" || status=1
    ;;
  Events)
    # The program creates the server's class: registered for the test as regsvr32 registers it.
    server=$(winepath -w "$1" 2>/dev/null)
    if ! wine regsvr32 /s "$server" >/dev/null 2>&1; then
      echo "FAIL regsvr32 did not register $server"
      exit 1
    fi
    run_program EventsDemo "$server" "$(printf '%s\n' \
      'connected to first: 1 0' \
      'Started (TTickerEvents)' 'Tick: 7 seven True' 'Adjust: 10 ten 5' 'Closing: False' 'Ask: Continue?' \
      'Attached: first' \
      'first saw: value=11 text=eleven any=changed cancel=True answer=True' \
      'connected to second: 0 1' \
      'first saw: value=10 text=ten any=5 (VT_I2) cancel=False answer=empty' \
      'Started (TTickerEvents)' 'Tick: 7 seven True' 'Adjust: 10 ten 5' 'Closing: False' 'Ask: Stop?' \
      'Attached: second' \
      'second saw: value=11 text=eleven any=5 (VT_I2) cancel=True answer=empty Ask=error 80020009 no answer' \
      'disconnected: 0 0' \
      'second saw: value=10 text=ten any=5 (VT_I2) cancel=False answer=empty' \
      'connected to first: 1 0' \
      'freed: 0 0')" || status=1
    wine regsvr32 /u /s "$server" >/dev/null 2>&1 || { echo "FAIL regsvr32 did not unregister $server"; status=1; }
    ;;
  Order)
    # Registration writes the server's library beside it, through ICreateTypeLib2.
    server=$(winepath -w "$1" 2>/dev/null)
    if ! wine regsvr32 /s "$server" >/dev/null 2>&1; then
      echo "FAIL regsvr32 did not register $server"
      exit 1
    fi
    run_program OrderDemo "${server%.dll}.tlb" "$(printf '%s\n' \
      'First: 1' 'Second: second' 'Third: 21' 'Text: text' 'Sum: 42' 'Fourth: 4')" || status=1
    wine regsvr32 /u /s "$server" >/dev/null 2>&1 || { echo "FAIL regsvr32 did not unregister $server"; status=1; }
    ;;
  *)
    echo "unknown test $test_name" >&2
    status=2
    ;;
esac
exit $status
