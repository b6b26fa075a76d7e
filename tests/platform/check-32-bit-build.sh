#!/bin/sh
# Compiles the given sources for 32-bit x86, where the kernel's input_event
# is 16 bytes. Usage: check-32-bit-build.sh COMPILER ARGS... SOURCES...
# Exits 77 (skipped) when the compiler has no 32-bit headers.
compiler=$1
shift
echo '#include <cstddef>' | "$compiler" -m32 -x c++ -fsyntax-only - 2>/dev/null || exit 77
exec "$compiler" -m32 -std=c++20 -fsyntax-only "$@"
