#!/usr/bin/env bash
# The Windows program's static import table may name only DLLs that Windows
# always takes from its own folder (the known DLLs), and comctl32, which the
# manifest's side-by-side dependency brings from the system. Any other DLL
# would be searched beside the program first, in a downloads folder where a
# web page can drop a file of that name. WinINet, CNG and Active
# Accessibility are delay-loaded.
# Usage: tests/windows/check_imports.sh <program.exe>...
set -euo pipefail
source=$(cd "$(dirname "$0")/../.." && pwd)
objdump=x86_64-w64-mingw32-objdump  # reads both PE32 and PE32+
known="advapi32 clbcatq combase comdlg32 coml2 difxapi gdi32 gdiplus imagehlp imm32 kernel32 msctf msvcrt
normaliz nsi ole32 oleaut32 psapi rpcrt4 sechost setupapi shcore shell32 shlwapi user32 wldap32 ws2_32"
delayed="wininet bcrypt oleacc"
status=0
grep -q 'Microsoft.Windows.Common-Controls' "$source/resources/SelectLanguage.manifest" ||
  { echo "FAIL: the manifest does not bring comctl32 from the system"; status=1; }
for program in "$@"; do
  dump=$("$objdump" -p "$program")
  # Static imports: the "DLL Name" lines of the import tables only.
  static=$(awk '/^The Import Tables/ {on = 1} /^The Delay Import Tables|^The Export Tables|^PE File Base Relocations/ {on = 0}
                on && /DLL Name:/ {print tolower($3)}' <<<"$dump" | sed 's/\.dll$//' | sort -u)
  [ -n "$static" ] || { echo "FAIL: $program: no import table read"; status=1; continue; }
  for dll in $static; do
    if [ "$dll" = comctl32 ] || grep -qw "$dll" <<<"$known"; then continue; fi
    echo "FAIL: $program imports $dll.dll statically: it would be searched beside the program"
    status=1
  done
  # The delay-load descriptors name their DLL; the PE header's delay-import
  # entry stays empty with mingw's delay-load libraries, so the name is what
  # shows that the calls still go to the DLL.
  for dll in $delayed; do
    grep -qai "$dll\.dll" "$program" || { echo "FAIL: $program does not delay-load $dll.dll"; status=1; }
  done
  [ "$status" = 0 ] && echo "ok: $program imports only $(tr '\n' ' ' <<<"$static")"
done
exit $status
