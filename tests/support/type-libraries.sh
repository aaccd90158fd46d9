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
