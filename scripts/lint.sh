#!/usr/bin/env bash
# Static analysis, clean or failing: clang-tidy (.clang-tidy) over the
# command's sources as the firmware build sees them, and cppcheck
# (.cppcheck-suppressions) over those and the tests. clang-tidy leaves the
# tests out: GoogleTest's headers make it take minutes.
set -euo pipefail
cd "$(dirname "$0")/.."

SOURCES=(app/*.cpp resident/*.cpp image/*.cpp fileio/*.cpp platform/*.cpp)
EFI_INCLUDES=(-I /usr/include/efi -I /usr/include/efi/x86_64)
# zlib's header from the fetched source, as the driver's build sees it.
ZLIB_INCLUDES=(-I deps/zlib -DZ_SOLO -DZ_PREFIX)

echo "clang-tidy: ${#SOURCES[@]} files"
report=$(clang-tidy --quiet "${SOURCES[@]}" -- -x c++ -std=c++17 -ffreestanding -fshort-wchar -fno-exceptions \
  -fno-rtti -I . "${EFI_INCLUDES[@]}" "${ZLIB_INCLUDES[@]}" -DGNU_EFI_USE_MS_ABI 2>&1 || true)
# Judged by its report, whatever the exit status: any finding fails.
if grep -qE "(warning|error):" <<< "$report"; then
  grep -v "warnings generated" <<< "$report" >&2
  echo "clang-tidy: findings above" >&2
  exit 1
fi

echo "cppcheck: app resident image fileio platform tests/unit tests/fake fuzz"
# The compiler version macros let gnu-efi's headers accept the MS ABI switch.
cppcheck --quiet --error-exitcode=1 --inline-suppr --suppressions-list=.cppcheck-suppressions \
  --enable=warning,style,performance,portability --library=googletest --std=c++17 --language=c++ \
  -I . "${EFI_INCLUDES[@]}" "${ZLIB_INCLUDES[@]}" -DGNU_EFI_USE_MS_ABI -D__x86_64__ -D__GNUC__=12 -D__GNUC_MINOR__=2 \
  -DVISTREL_TOOLS_DIR='""' --template='{file}:{line}: {severity}: {message} [{id}]' \
  app resident image fileio platform tests/unit tests/fake fuzz
echo "lint: clean"
