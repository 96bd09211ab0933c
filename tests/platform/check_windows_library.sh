#!/usr/bin/env bash
# Checks a model DLL as a Windows simulator sees it: the right machine, exactly the three AMI entry points
# exported by their plain names, nothing imported but Windows system DLLs (the C++ runtime, libgcc and
# winpthread are linked in), a version resource with the kit's version and, for the receiver, the response
# bank embedded byte for byte.
# Usage: check_windows_library.sh <dll> <32|64> <version> [bank file]
set -u
dll=$1
bits=$2
version=$3
bank=${4:-}
fail=0
if [ ! -f "$dll" ]; then
  echo "FAIL: $dll is missing (tools/setup/build-all.sh builds the Windows DLLs)"; exit 1
fi
if [ "$bits" = 64 ]; then objdump=x86_64-w64-mingw32-objdump; format=pei-x86-64; else objdump=i686-w64-mingw32-objdump; format=pei-i386; fi
table=$("$objdump" -p "$dll")

if ! "$objdump" -f "$dll" | grep -q "file format $format"; then echo "FAIL: $dll is not $format"; fail=1; fi
characteristics=$(awk '$1 == "Characteristics" {print $2; exit}' <<<"$table")
if [ $(( ${characteristics:-0} & 0x2000 )) -eq 0 ]; then echo "FAIL: $dll is no DLL"; fail=1; fi

# The export name table lists each name once; a decorated name (_AMI_Init, AMI_Init@36) would not match.
exported=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$table" | awk '/\[ *[0-9]+\]/ {print $NF}' | sort | tr '\n' ' ')
if [ "$exported" != "AMI_Close AMI_GetWave AMI_Init " ]; then echo "FAIL: exported names are: $exported"; fail=1; fi

imported=$(awk '/DLL Name:/ {print $3}' <<<"$table" | sort -u | tr '\n' ' ')
for name in $imported; do
  case ${name,,} in
    kernel32.dll|msvcrt.dll|ucrtbase.dll|api-ms-win-crt-*.dll|user32.dll|advapi32.dll) ;;
    *) echo "FAIL: imports $name, which a Windows host does not have"; fail=1 ;;
  esac
done

# Numbers are read and written by the kit's own code and the statically linked runtime, never by the C
# runtime DLL, whose conversions differ between Windows versions (exponent digits, rounding).
conversions=$(sed -n '/DLL Name: /,/^$/p' <<<"$table" | awk '{print $NF}' |
  grep -xE '_?(strto(d|f|ld)(_l)?|atof(_l)?|_?v?sn?printf(_l)?|_?v?sscanf(_l)?|_[efg]cvt)' | tr '\n' ' ')
if [ -n "$conversions" ]; then echo "FAIL: number conversions imported from the C runtime: $conversions"; fail=1; fi

# 32- and 64-byte vectors move only through unaligned moves: GCC for Windows does not realign the stack for
# such values, so an aligned move (or a non-temporal one, which needs alignment too) to a slot that is only
# 16-byte aligned would crash the simulator. The build has the assembler encode aligned moves as unaligned.
aligned=$("$objdump" -d --no-show-raw-insn "$dll" | grep -E '%[yz]mm' | grep -cE 'v(movap[sd]|movdqa(32|64)?|movntp[sd]|movntdqa?) ')
if [ "$aligned" -ne 0 ]; then echo "FAIL: $aligned aligned moves of ymm/zmm registers in $dll"; fail=1; fi

# The version resource's strings are UTF-16.
strings_utf16=$(strings -el "$dll")
file_version=$(grep -A1 -x FileVersion <<<"$strings_utf16" | tail -n 1)
if [ "$file_version" != "$version" ]; then echo "FAIL: version resource gives '$file_version', expected $version"; fail=1; fi

if [ -n "$bank" ]; then
  # Found by its first 32 bytes (no symbol table needed, so a stripped DLL is checked too), then compared whole.
  pattern=$(od -An -tx1 -N32 -v "$bank" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//; s/ /\\x/g; s/^/\\x/')
  start=$(LC_ALL=C grep -obUaP -m1 "$pattern" "$dll" | head -n 1 | cut -d: -f1)
  if [ -z "$start" ] || ! cmp -s -n "$(stat -c %s "$bank")" <(tail -c +"$((start + 1))" "$dll") "$bank"; then
    echo "FAIL: $dll does not embed the response bank $bank byte for byte"; fail=1
  fi
fi

if [ $fail -eq 0 ]; then echo "ok: $dll exports $exported; imports $imported; version $file_version"; fi
exit $fail
