# Shared set-up for tools/run, tools/test and tools/bench. Source it; do not run it.
#
# vantrel_setup   installs what a fresh Debian machine lacks, fetches the Scintilla/Lexilla sources
#                 and chooses the mode (vantrel_choose_mode)
# vantrel_build   configures and builds one CMake build tree (default: the build of the mode)
# vantrel_ensure_printer  a running CUPS scheduler with a PDF printer for the printing test
#
# Everything is idempotent: on a ready machine both return after a few quick checks.

VANTREL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
VANTREL_DEPS="$VANTREL_ROOT/.deps"
VANTREL_BUILD_ROOT="${VANTREL_BUILD_ROOT:-$VANTREL_ROOT/build}"

export WINEDEBUG="${WINEDEBUG:--all}"
# No Gecko or Mono install prompts in throwaway prefixes.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

vantrel_log() { printf '[vantrel] %s\n' "$*" >&2; }

vantrel_sudo() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

VANTREL_PACKAGES=(
  wine wine64 wine32:i386
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools wine64-tools
  cmake ninja-build googletest dpkg-dev
  xvfb xauth xdotool python3 openssl
  # Printing: a CUPS PDF printer, pdftoppm for its pages, and the 32-bit libcups without which a
  # 32-bit Wine process lists no CUPS printers.
  cups printer-driver-cups-pdf poppler-utils libcups2:i386
  # Free Pascal proves the generated import units: the x86_64 compiler and the sources of the
  # Windows units it needs.
  fp-compiler fpc-source
)

vantrel_missing_packages() {
  local p status
  for p in "${VANTREL_PACKAGES[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ "$status" = installed ] || printf '%s\n' "$p"
  done
}

vantrel_ensure_deb_src() {
  if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    return 1
  fi
  vantrel_log "adding deb-src entries"
  vantrel_sudo tee /etc/apt/sources.list.d/vantrel-deb-src.sources >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  return 0
}

vantrel_install_packages() {
  local missing need_update=0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    vantrel_log "adding the i386 architecture"
    vantrel_sudo dpkg --add-architecture i386
    need_update=1
  fi
  vantrel_ensure_deb_src && need_update=1
  mapfile -t missing < <(vantrel_missing_packages)
  if [ ${#missing[@]} -gt 0 ]; then
    need_update=1
  fi
  if [ $need_update = 1 ]; then
    vantrel_log "apt-get update"
    vantrel_sudo apt-get update -qq
  fi
  if [ ${#missing[@]} -gt 0 ]; then
    vantrel_log "installing: ${missing[*]}"
    vantrel_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

# Scintilla and Lexilla come from Debian's scite source package.
vantrel_fetch_scite() {
  local stamp="$VANTREL_DEPS/scite/.ready"
  [ -f "$stamp" ] && return 0
  vantrel_log "fetching the scite source package"
  rm -rf "$VANTREL_DEPS/scite" "$VANTREL_DEPS/scite-download"
  mkdir -p "$VANTREL_DEPS/scite-download" "$VANTREL_DEPS/scite"
  (cd "$VANTREL_DEPS/scite-download" && apt-get source --download-only scite >/dev/null 2>&1) || {
    # The package lists may predate the deb-src entry.
    vantrel_sudo apt-get update -qq
    (cd "$VANTREL_DEPS/scite-download" && apt-get source --download-only scite >/dev/null)
  }
  local orig
  orig=$(ls "$VANTREL_DEPS"/scite-download/scite_*.orig.tar.* | head -n 1)
  tar -xf "$orig" -C "$VANTREL_DEPS/scite"
  [ -d "$VANTREL_DEPS/scite/scintilla" ] || { vantrel_log "unexpected scite source layout"; return 1; }
  rm -rf "$VANTREL_DEPS/scite-download"
  touch "$stamp"
}

# The folder of Debian's fpc-source, where the x86-64 compiler is installed too.
vantrel_fpc_source() {
  local src
  src=$(ls -d /usr/share/fpcsrc/*/ 2>/dev/null | sort -V | tail -n 1)
  [ -n "$src" ] && command -v ppcx64 >/dev/null && echo "$src"
}

# vantrel_compile_fpc_units <fpc-source folder> <output folder> <compiler> <target OS> <CPU>: the
# units that generated import units use (System, SysUtils, Windows, ActiveX, Variants, ComObj,
# stdole2 and what they need), compiled from Free Pascal's sources for Windows on that CPU.
vantrel_compile_fpc_units() {
  local src=$1 out=$2 compiler=$3 os=$4 cpu=$5
  local rtl="$src/rtl" pkg="$src/packages"
  local fpc=("$compiler" -T"$os" -O1 -FU"$out" -Fu"$out" -vw-n-h-)
  local rtl_paths=(-Fi"$rtl/inc" -Fi"$rtl/$cpu" -Fi"$rtl/win" -Fi"$rtl/win/wininc" -Fi"$rtl/objpas"
    -Fi"$rtl/objpas/sysutils" -Fi"$rtl/objpas/classes" -Fu"$rtl/inc" -Fu"$rtl/win" -Fu"$rtl/objpas"
    -Fu"$rtl/objpas/sysutils" -Fu"$rtl/objpas/classes" -Fu"$rtl/$cpu")
  cd "$rtl/$os"
  "${fpc[@]}" "${rtl_paths[@]}" -Us -Sg system.pp
  "${fpc[@]}" "${rtl_paths[@]}" ../objpas/objpas.pp
  "${fpc[@]}" "${rtl_paths[@]}" buildrtl.pp
  "${fpc[@]}" -Fi"$pkg/rtl-objpas/src/inc" -Fi"$pkg/rtl-objpas/src/win" "$pkg/rtl-objpas/src/win/varutils.pp"
  "${fpc[@]}" -Fi"$pkg/rtl-objpas/src/inc" "$pkg/rtl-objpas/src/inc/variants.pp"
  "${fpc[@]}" "$pkg/winunits-base/src/activex.pp"
  "${fpc[@]}" -Fi"$pkg/fcl-registry/src" -Fu"$pkg/fcl-base/src" -Fi"$pkg/fcl-base/src" \
    "$pkg/fcl-registry/src/registry.pp"
  "${fpc[@]}" "$pkg/winunits-base/src/comobj.pp"
  "${fpc[@]}" -Mdelphi "$pkg/winunits-base/src/stdole2.pas"
}

# The Win64 units of Free Pascal that generated import units use (System, SysUtils, Windows,
# ActiveX, Variants, ComObj, stdole2 and what they need), compiled once from Debian's fpc-source
# into .deps/fpc-win64. Debian ships the compiler with Linux units only.
vantrel_build_fpc_units() {
  local out="$VANTREL_DEPS/fpc-win64" src
  [ -f "$out/.ready" ] && return 0
  src=$(vantrel_fpc_source) || { vantrel_log "Free Pascal or its sources are missing: the Pascal tests will skip"; return 0; }
  vantrel_log "compiling the Free Pascal Win64 units (once)"
  rm -rf "$out"
  mkdir -p "$out"
  (
    set -e
    vantrel_compile_fpc_units "$src" "$out" ppcx64 win64 x86_64
  ) >"$out/build.log" 2>&1 || { vantrel_log "the Free Pascal units did not build: see $out/build.log"; return 1; }
  touch "$out/.ready"
}

# Free Pascal's i386 cross compiler and its Win32 units, built once into .deps/fpc-win32 from
# Debian's fpc-source (the compiler's message texts, which fpc-source leaves out, come from the fpc
# source package). The units of 32-bit libraries compile with it in either mode; its programs run
# only where the machine runs 32-bit programs.
vantrel_build_fpc_win32() {
  local out="$VANTREL_DEPS/fpc-win32" src
  [ -f "$out/.ready" ] && return 0
  src=$(vantrel_fpc_source) || { vantrel_log "Free Pascal or its sources are missing: the Win32 Pascal tests will skip"; return 0; }
  vantrel_log "building Free Pascal's i386 cross compiler and its Win32 units (once)"
  rm -rf "$out"
  mkdir -p "$out/compiler" "$out/download"
  (cd "$out/download" && apt-get source --download-only fpc >/dev/null 2>&1) || {
    vantrel_sudo apt-get update -qq
    (cd "$out/download" && apt-get source --download-only fpc >/dev/null 2>&1)
  } || { vantrel_log "the fpc source package cannot be fetched: the Win32 Pascal tests will skip"; return 0; }
  local orig
  orig=$(ls "$out"/download/fpc_*.orig.tar.* 2>/dev/null | head -n 1)
  tar -xf "$orig" -C "$out/compiler" --wildcards --strip-components=3 '*/fpcsrc/compiler/msgtxt.inc' || {
    vantrel_log "no compiler messages in $orig: the Win32 Pascal tests will skip"
    return 0
  }
  rm -rf "$out/download"
  (
    set -e
    cd "$src/compiler"
    ppcx64 -O2 -Xs -di386 -Fui386 -Fusystems -Fux86 -Fu. -Fii386 -Fix86 -Fi. -Fi"$out/compiler" \
      -FU"$out/compiler" -o"$out/ppcross386" pp.pas
    vantrel_compile_fpc_units "$src" "$out" "$out/ppcross386" win32 i386
  ) >"$out/build.log" 2>&1 || { vantrel_log "the i386 compiler or its units did not build: see $out/build.log"; return 1; }
  rm -rf "$out/compiler"
  touch "$out/.ready"
}

# Wine's 32-bit loader runs only where the kernel runs 32-bit programs. Without it, Wine's 64-bit
# loader alone runs the 64-bit build in a 64-bit-only prefix.
VANTREL_WINE32=/usr/lib/wine/wine
VANTREL_WINE64=/usr/lib/wine/wine64

# vantrel_choose_mode: the mode of this machine, once per run.
#   VANTREL_ARCH  the build that runs here: i686 (the shipped build under WOW64) or x86_64
#   VANTREL_MODE  "32-bit and 64-bit" or "64-bit only"
# VANTREL_ARCH=x86_64 forces the 64-bit-only mode on any machine; VANTREL_ARCH=i686 insists on the
# 32-bit mode. In the 64-bit-only mode, wine, wineboot, winepath and regedit go through Wine's
# 64-bit loader.
vantrel_choose_mode() {
  [ -n "${VANTREL_MODE:-}" ] && [ -n "${VANTREL_ARCH:-}" ] && return 0
  local runs32=0
  "$VANTREL_WINE32" --version >/dev/null 2>&1 && runs32=1
  case "${VANTREL_ARCH:-}" in
    x86_64) ;;
    i686)
      if [ $runs32 = 0 ]; then
        vantrel_log "VANTREL_ARCH=i686, but this machine runs no 32-bit programs ($VANTREL_WINE32 --version fails)"
        return 1
      fi ;;
    "") if [ $runs32 = 1 ]; then VANTREL_ARCH=i686; else VANTREL_ARCH=x86_64; fi ;;
    *) vantrel_log "VANTREL_ARCH must be i686 or x86_64, not $VANTREL_ARCH"; return 1 ;;
  esac
  if [ "$VANTREL_ARCH" = i686 ]; then
    VANTREL_MODE="32-bit and 64-bit"
  else
    VANTREL_MODE="64-bit only"
    vantrel_wine64_commands
  fi
  export VANTREL_ARCH VANTREL_MODE
  vantrel_log "mode: $VANTREL_MODE (the $VANTREL_ARCH build runs the tests)"
}

# Commands named like Wine's that start everything through its 64-bit loader, first on PATH. They
# are scripts: the loader looks at the name it was started by, so a symbolic link would not do.
vantrel_wine64_commands() {
  local bin="$VANTREL_DEPS/wine64-bin" name
  mkdir -p "$bin"
  for name in wine wine-stable wine64; do
    printf '#!/bin/sh\nexec %s "$@"\n' "$VANTREL_WINE64" >"$bin/$name"
  done
  for name in wineboot winepath regedit winecfg wineconsole msiexec regsvr32 winedbg notepad; do
    printf '#!/bin/sh\nexec %s %s.exe "$@"\n' "$VANTREL_WINE64" "$name" >"$bin/$name"
  done
  chmod +x "$bin"/*
  case ":$PATH:" in *":$bin:"*) ;; *) export PATH="$bin:$PATH" ;; esac
  export WINELOADER="$VANTREL_WINE64"
}

vantrel_setup() {
  vantrel_install_packages
  vantrel_fetch_scite
  vantrel_build_fpc_units
  vantrel_build_fpc_win32
  vantrel_choose_mode
}

# vantrel_build [arch] [cmake build args...]; arch is i686 or x86_64 (default: the build of the mode).
vantrel_build() {
  local arch="${1:-${VANTREL_ARCH:-i686}}"
  shift || true
  local dir="$VANTREL_BUILD_ROOT/$arch"
  if [ ! -f "$dir/build.ninja" ]; then
    vantrel_log "configuring $dir"
    cmake -S "$VANTREL_ROOT" -B "$dir" -G Ninja \
      -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$VANTREL_ROOT/cmake/toolchain-$arch-w64-mingw32.cmake" \
      -DVANTREL_SCITE_DIR="$VANTREL_DEPS/scite" >/dev/null
  fi
  cmake --build "$dir" "$@"
}

# A throwaway 64-bit Wine prefix, copied from a template that is made once per mode: with WOW64
# where 32-bit programs run, 64-bit only (an empty syswow64) where they do not.
vantrel_wine_template() {
  local template="$VANTREL_DEPS/wine-template"
  [ "${VANTREL_ARCH:-i686}" = x86_64 ] && template="$VANTREL_DEPS/wine-template-win64"
  if [ ! -f "$template/.ready" ]; then
    vantrel_log "creating the Wine prefix template for the mode \"${VANTREL_MODE:-32-bit and 64-bit}\" (once)"
    rm -rf "$template"
    mkdir -p "$(dirname "$template")"
    WINEPREFIX="$template" WINEARCH=win64 wineboot -i >/dev/null 2>&1 || true
    WINEPREFIX="$template" wineserver -w
    [ -f "$template/system.reg" ] || { vantrel_log "wineboot failed"; return 1; }
    touch "$template/.ready"
  fi
  printf '%s\n' "$template"
}

# vantrel_new_prefix DIR: DIR becomes a fresh copy of the template.
vantrel_new_prefix() {
  local template
  template=$(vantrel_wine_template) || return 1
  rm -rf "$1"
  # Hard links keep the copy cheap (the prefix is over 1 GB); the registry files are real
  # copies because they are the only template files Wine rewrites.
  cp -al "$template" "$1"
  rm -f "$1/.ready" "$1"/*.reg
  cp -p "$template"/*.reg "$1/"
}

# Starts Xvfb on a free display when none is set; sets DISPLAY and VANTREL_XVFB_PID.
vantrel_ensure_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
    VANTREL_XVFB_PID=$!
    local i
    for i in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    export DISPLAY=":$n"
    return 0
  done
  vantrel_log "no free X display number"
  return 1
}

# vantrel_ensure_printer: a running CUPS scheduler with the PDF printer $VANTREL_PRINTER, which cups-pdf
# serves by writing every job as a PDF into $VANTREL_PDF_DIR (both exported). Starts cupsd itself
# where no service manager does. Returns non-zero with the reason logged (and both variables unset)
# when printing cannot be set up; the printing test then skips.
VANTREL_PDF_INSTANCE=vantrel

vantrel_ensure_printer() {
  unset VANTREL_PRINTER VANTREL_PDF_DIR
  local name=VantrelPDF
  local uri="cups-pdf:/$VANTREL_PDF_INSTANCE"
  # cups-pdf reads cups-pdf-<instance>.conf for the device cups-pdf:/<instance>: the tests' PDFs get
  # a folder of their own, and the machine's own cups-pdf settings stay as they are.
  local conf="/etc/cups/cups-pdf-$VANTREL_PDF_INSTANCE.conf"
  local ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
  if [ ! -x /usr/sbin/cupsd ] || [ ! -e /usr/lib/cups/backend/cups-pdf ] || [ ! -f "$ppd" ] ||
     ! command -v lpadmin >/dev/null; then
    vantrel_log "printing: CUPS or cups-pdf is not installed"
    return 1
  fi
  if [ "${VANTREL_ARCH:-i686}" = i686 ] && [ ! -e /usr/lib/i386-linux-gnu/libcups.so.2 ]; then
    vantrel_log "printing: no i386 libcups2, so 32-bit Wine processes would see no printer"
    return 1
  fi
  if [ ! -f "$conf" ]; then
    vantrel_log "printing: writing $conf"
    printf '%s\n' "Out /var/spool/cups-pdf/$VANTREL_PDF_INSTANCE" "Label 1" "Grp lpadmin" |
      vantrel_sudo tee "$conf" >/dev/null || { vantrel_log "printing: cannot write $conf"; return 1; }
  fi
  local out
  out=$(sed -n 's/^Out[[:space:]]\{1,\}//p' "$conf" | tail -n 1)
  case "$out" in
    *'$'* | '' | [!/]*) vantrel_log "printing: $conf needs a fixed Out folder"; return 1 ;;
  esac
  if [ ! -d "$out" ]; then
    # Open to every user like /tmp: cups-pdf gives each job's PDF to the user who printed it.
    vantrel_sudo mkdir -p "$out" && vantrel_sudo chmod 1777 "$out" ||
      { vantrel_log "printing: cannot create $out"; return 1; }
  fi
  if [ "$(lpstat -r 2>/dev/null)" != "scheduler is running" ]; then
    vantrel_log "printing: starting the CUPS scheduler"
    # cupsd goes to the background by itself; its output must not hold the caller's pipes open.
    vantrel_sudo /usr/sbin/cupsd </dev/null >/dev/null 2>&1 || true
    local i
    for i in $(seq 1 100); do
      [ "$(lpstat -r 2>/dev/null)" = "scheduler is running" ] && break
      sleep 0.1
    done
    if [ "$(lpstat -r 2>/dev/null)" != "scheduler is running" ]; then
      vantrel_log "printing: the CUPS scheduler does not start"
      return 1
    fi
  fi
  if [ "$(lpstat -v "$name" 2>/dev/null)" != "device for $name: $uri" ]; then
    vantrel_log "printing: adding the printer $name"
    vantrel_sudo lpadmin -p "$name" -E -v "$uri" -P "$ppd" >/dev/null 2>&1 ||
      { vantrel_log "printing: lpadmin cannot add $name"; return 1; }
  fi
  # A queue stopped by a failed job would hold every later one.
  if ! lpstat -p "$name" 2>/dev/null | grep -q 'enabled since' || ! lpstat -a "$name" 2>/dev/null | grep -q "^$name accepting"; then
    vantrel_log "printing: enabling the printer $name"
    vantrel_sudo cupsenable "$name" && vantrel_sudo cupsaccept "$name" ||
      { vantrel_log "printing: cannot enable $name"; return 1; }
  fi
  export VANTREL_PRINTER="$name" VANTREL_PDF_DIR="$out"
}

# The text every test that needs 32-bit programs skips with in the 64-bit-only mode.
VANTREL_MODE_SKIP="not in the 64-bit-only mode:"

# vantrel_report_skips <CTest's LastTest.log>: the mode, and the tests skipped in it with their
# reasons: those skipped for the mode apart from those skipped for another reason (no printer, say).
vantrel_report_skips() {
  [ -f "$1" ] || return 0
  # A gtest case that skips prints "<file>:<line>: Skipped" and its reason on the next line.
  awk -v mode="$VANTREL_MODE_SKIP" '
    /^[0-9]+\/[0-9]+ Test: / { name = $3; next }
    /: Skipped$/ { getline reason; sub(/\r$/, "", reason); skipped[name] = reason; next }
    END {
      for (n in skipped) {
        r = skipped[n]
        if (index(r, mode) == 1) { formode++; modereasons[substr(r, length(mode) + 2)]++ }
        else { other++; otherreasons[r]++ }
      }
      printf "%d\n", formode
      for (r in modereasons) printf "  %3d  %s\n", modereasons[r], r
      printf "%d\n", other
      for (r in otherreasons) printf "  %3d  %s\n", otherreasons[r], r
    }' "$1" >"$1.skips"
  local formode other
  formode=$(sed -n 1p "$1.skips")
  echo
  echo "Mode: $VANTREL_MODE (the $VANTREL_ARCH build)."
  echo "Skipped for the mode: ${formode:-0}"
  awk 'NR > 1 && /^[0-9]+$/ { exit } NR > 1' "$1.skips" | sort -k2
  other=$(awk 'NR > 1 && /^[0-9]+$/ { print; exit }' "$1.skips")
  echo "Skipped for other reasons: ${other:-0}"
  awk 'found; NR > 1 && /^[0-9]+$/ { found = 1 }' "$1.skips" | sort -k2
}
