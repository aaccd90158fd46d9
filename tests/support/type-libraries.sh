# Sourced by the test scripts that walk a system folder.

# holds_type_library <path>: true for a file that holds a type library of its own: .tlb and .olb
# files, and programs and libraries with a TYPELIB resource (its name is stored in UTF-16).
holds_type_library() {
  local name
  name=$(basename "$1")
  case "${name,,}" in
    oleview.exe) return 1 ;;  # a program that holds no library of its own
    *.tlb | *.olb) return 0 ;;
    *.dll | *.ocx | *.exe) grep -q -a -P 'T\x00Y\x00P\x00E\x00L\x00I\x00B\x00' "$1" ;;
    *) return 1 ;;
  esac
}

# wine32_library_folder <folder variable> <name variable>: where Wine's 32-bit libraries are, and
# the name the program under test gives that folder (ending in a backslash). A 32-bit program finds
# them as C:\windows\system32; a 64-bit program reads them in SysWOW64, or, in a 64-bit-only prefix
# whose SysWOW64 is empty, where Wine's package keeps them (VANTREL_STDOLE32_DIR, the folder of the
# 32-bit stdole2.tlb).
wine32_library_folder() {
  local -n folder_out=$1 name_out=$2
  folder_out="$WINEPREFIX/drive_c/windows/syswow64"
  name_out='C:\windows\system32\'
  if [ "${VANTREL_PROGRAM_BITS:-32}" = 64 ]; then
    name_out='C:\windows\syswow64\'
    if [ ! -f "$folder_out/stdole2.tlb" ]; then
      folder_out=$VANTREL_STDOLE32_DIR
      name_out="$(winepath -w "$VANTREL_STDOLE32_DIR")\\"
    fi
  fi
}
