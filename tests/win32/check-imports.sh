#!/usr/bin/env bash
# Checks that a 32-bit Windows program imports only DLLs and functions that Windows 95 and
# Windows NT 4.0 have, against the list beside this script, and that its header asks for no
# later Windows than 4.0. Fails, naming them, on any import not in the list (a function of
# Windows 2000, XP or Vista, the Universal CRT, a DLL the old systems lack) and on a later
# subsystem or OS version. Prints the imports that Windows 95/98 export only as stubs.
#   check-imports.sh PROGRAM.exe [ALLOW-LIST]
set -euo pipefail
export LC_ALL=C  # one collation for sort and join
exe=$1
list=${2:-$(dirname "$0")/imports-allowed.txt}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
command -v "$objdump" >/dev/null 2>&1 || objdump=x86_64-w64-mingw32-objdump

headers=$("$objdump" -p "$exe")
# "DLL!Function" per import, the DLL upper-cased; an import by ordinal only is "DLL!#N".
imports=$(awk '
  /^The Import Tables/ { on = 1; next }
  on && /^PE File Base|^The Export Tables|^The Function Table/ { on = 0 }
  on && /DLL Name:/ { dll = toupper($3); next }
  on && dll && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll "!" $3; next }
  on && dll && NF == 2 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll "!#" $2 }
' <<<"$headers" | sort -u)
if [[ -z $imports ]]; then
  echo "check-imports: no imports read from $exe" >&2
  exit 1
fi

# The list: "DLL!Function tag", tag "all" (every supported system), "nt" (Windows NT only;
# a stub that fails on Windows 95/98) or "crt" (MSVCRT.DLL, see the list's head).
allowed=$(awk '!/^#/ && NF >= 2 { print toupper(substr($1, 1, index($1, "!") - 1)) substr($1, index($1, "!")) " " $2 }' "$list" | sort -u)
unknown=$(join -v1 <(echo "$imports") <(echo "$allowed" | cut -d' ' -f1 | sort -u) || true)
ntonly=$(join <(echo "$imports") <(echo "$allowed" | awk '$2 == "nt" { print $1 }' | sort -u) || true)

status=0
for field in MajorSubsystemVersion MajorOSystemVersion; do
  v=$(awk -v f="$field" '$1 == f { print $2 }' <<<"$headers")
  if [[ -z $v || $v -gt 4 ]]; then
    echo "check-imports: $exe: $field ${v:-missing}, later than Windows 4.0 (95, NT 4.0)" >&2
    status=1
  fi
done
if [[ -n $unknown ]]; then
  echo "check-imports: $exe imports what Windows 95 or NT 4.0 does not have (or the list does not know):" >&2
  sed 's/^/  /' <<<"$unknown" >&2
  status=1
fi
echo "check-imports: $exe: $(wc -l <<<"$imports") imports from $(cut -d! -f1 <<<"$imports" | sort -u | tr '\n' ' ')"
if [[ -n $ntonly ]]; then
  echo "check-imports: stubs on Windows 95/98 (fail with ERROR_CALL_NOT_IMPLEMENTED there): $(tr '\n' ' ' <<<"$ntonly")"
fi
[[ $status -eq 0 ]] && echo "check-imports: $exe: every import is on Windows 95 and NT 4.0"
exit $status
