#!/usr/bin/env bash
# Checks a model library as a simulator sees it: exactly the three AMI entry points exported, the C++
# runtime linked in, nothing needed from outside but the C library and libm, nothing newer than glibc 2.28
# (RHEL 8), and stripped.
# Usage: check_library.sh <library> <32|64>
set -u
lib=$1
bits=$2
fail=0

class=$(readelf -h "$lib" | awk '/Class:/ {print $2}')
want=ELF$bits
if [ "$class" != "$want" ]; then echo "FAIL: $lib is $class, expected $want"; fail=1; fi

exported=$(nm -D --defined-only "$lib" | awk '{print $3}' | sed 's/@.*//' | sort | tr '\n' ' ')
if [ "$exported" != "AMI_Close AMI_GetWave AMI_Init " ]; then
  echo "FAIL: exported symbols are: $exported"; fail=1
fi

needed=$(readelf -d "$lib" | awk '/NEEDED/ {gsub(/[\[\]]/, "", $5); print $5}' | sort | tr '\n' ' ')
for n in $needed; do
  case $n in
    libc.so.6|libm.so.6|ld-linux.so.2|ld-linux-x86-64.so.2) ;;
    *) echo "FAIL: needs $n"; fail=1 ;;
  esac
done

# Undefined symbols must all come from glibc (versioned GLIBC_*) or be weak references the loader may leave.
bad=$(nm -D --undefined-only "$lib" | awk '$1 != "w" {print $2}' | grep -v '@GLIBC_' || true)
if [ -n "$bad" ]; then echo "FAIL: undefined symbols outside the C library: $bad"; fail=1; fi

# Versioned symbols it asks the host for: GLIBC_ up to 2.28 only; no GLIBCXX_, CXXABI_ or GCC_ at all
# (the C++ runtime and libgcc are linked in, so nothing may bind to the host's copies).
versions=$(objdump -T "$lib" | grep -oE '\((GLIBC|GLIBCXX|CXXABI|GCC)_[0-9.]+\)' | tr -d '()' | sort -uV)
[ -n "$versions" ] || { echo "FAIL: objdump -T shows no versioned symbols in $lib"; fail=1; }
for v in $versions; do
  case $v in
    GLIBC_*)
      newest=$(printf '%s\n%s\n' "${v#GLIBC_}" 2.28 | sort -V | tail -n 1)
      if [ "$newest" != 2.28 ]; then
        echo "FAIL: needs $v, newer than glibc 2.28: $(objdump -T "$lib" | grep -F "($v)" | awk '{print $NF}' | tr '\n' ' ')"
        fail=1
      fi ;;
    *) echo "FAIL: needs $v from the host's C++ runtime or libgcc"; fail=1 ;;
  esac
done

if [ -n "$(readelf -S "$lib" | grep -E '\.symtab|\.debug_')" ]; then echo "FAIL: $lib is not stripped"; fail=1; fi

if [ $fail -eq 0 ]; then echo "ok: $lib exports $exported; needs $needed; versions $(echo $versions)"; fi
exit $fail
