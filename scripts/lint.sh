#!/usr/bin/env bash
# Static analysis, clean or failing: clang-tidy (.clang-tidy) over the
# command's sources as the firmware build of each architecture sees them, and
# cppcheck (.cppcheck-suppressions) over those and the tests. clang-tidy
# leaves the tests out: GoogleTest's headers make it take minutes.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each architecture: the compiler's target, gnu-efi's headers (the machine's
# for x86-64, scripts/fetch-gnu-efi.sh's in deps/ for the others) and the
# macro the processor-specific code tests. A file named for one processor
# (...X86.cpp, ...Aarch64.cpp) is that processor's alone.
ARCHITECTURES=(
  "x86_64-linux-gnu /usr/include/efi x86_64 __x86_64__ Aarch64"
  "aarch64-linux-gnu deps/gnu-efi-arm64/usr/include/efi aarch64 __aarch64__ X86"
  "i686-linux-gnu deps/gnu-efi-i386/usr/include/efi ia32 __i386__ Aarch64"
)

# zlib's header from the fetched source, as the driver's build sees it.
ZLIB_INCLUDES=(-I deps/zlib -DZ_SOLO -DZ_PREFIX)
# What the build defines (the version, the architecture's folder on the
# stick); their values do not matter to the analysis.
BUILD_DEFINES=(-DVISTREL_VERSION='"0"' -DVISTREL_RELEASE_DATE='"1970-01-01"' -DVISTREL_ARCHITECTURE_FOLDER='"lint"')

for architecture in "${ARCHITECTURES[@]}"; do
  read -r triple efi efi_arch macro foreign <<< "$architecture"
  sources=()
  for file in app/*.cpp resident/*.cpp launcher/*.cpp forms/*.cpp image/*.cpp fileio/*.cpp platform/*.cpp; do
    [[ $file == *"$foreign".cpp ]] || sources+=("$file")
  done
  echo "clang-tidy ($triple): ${#sources[@]} files"
  report=$(clang-tidy --quiet "${sources[@]}" -- -x c++ -std=c++17 -ffreestanding -fshort-wchar -fno-exceptions \
    -fno-rtti --target="$triple" -I . -I "$efi" -I "$efi/$efi_arch" "${ZLIB_INCLUDES[@]}" "${BUILD_DEFINES[@]}" -DGNU_EFI_USE_MS_ABI 2>&1 || true)
  # Judged by its report, whatever the exit status: any finding fails.
  if grep -qE "(warning|error):" <<< "$report"; then
    grep -v "warnings generated" <<< "$report" >&2
    echo "clang-tidy ($triple): findings above" >&2
    exit 1
  fi

  # The tests are built for the host (x86-64) only.
  dirs=(app resident launcher forms image fileio platform)
  if [ "$macro" = __x86_64__ ]; then
    dirs+=(tests/unit tests/fake fuzz)
  fi
  echo "cppcheck ($triple): ${dirs[*]}"
  # The compiler version macros let gnu-efi's headers accept the MS ABI switch.
  cppcheck --quiet --error-exitcode=1 --inline-suppr --suppressions-list=.cppcheck-suppressions \
    --enable=warning,style,performance,portability --library=googletest --std=c++17 --language=c++ \
    -I . -I "$efi" -I "$efi/$efi_arch" "${ZLIB_INCLUDES[@]}" "${BUILD_DEFINES[@]}" -DGNU_EFI_USE_MS_ABI -D"$macro" -D__GNUC__=12 -D__GNUC_MINOR__=2 \
    -DVISTREL_TOOLS_DIR='""' --template='{file}:{line}: {severity}: {message} [{id}]' "${dirs[@]}"
done
echo "lint: clean"
