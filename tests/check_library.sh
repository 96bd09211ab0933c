#!/usr/bin/env bash
# Checks a model library as a simulator sees it: exactly the three AMI entry points exported, the C++
# runtime linked in, and nothing needed from outside but the C library and libm.
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

if [ $fail -eq 0 ]; then echo "ok: $lib exports $exported; needs $needed"; fi
exit $fail
