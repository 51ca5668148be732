#!/usr/bin/env bash
# Builds targets of the clang configuration (all by default), or runs one
# fuzz target for a bounded time.
#   fuzz.sh build SOURCE_DIR BUILD_DIR [TARGET...]
#   fuzz.sh run   SOURCE_DIR BUILD_DIR NAME SECONDS
set -euo pipefail
mode=$1 source=$2 build=$3

case "$mode" in
  build)
    cmake -S "$source" -B "$build" -DVISTREL_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ > /dev/null
    shift 3
    cmake --build "$build" -j "${JOBS:-2}" ${1:+--target "$@"}
    ;;
  run)
    name=$4 seconds=$5
    # New inputs go to a scratch corpus; the checked-in seeds are only read.
    scratch="$build/corpus/$name"
    mkdir -p "$scratch" "$build/findings"
    # Room for 64x64 pixels, and for current directories of 20,000 characters.
    max_len=16386
    [ "$name" = capture_path ] && max_len=40000
    exec "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -max_len="$max_len" \
      -print_final_stats=1 \
      -artifact_prefix="$build/findings/$name-" "$scratch" "$source/fuzz/corpus/$name"
    ;;
  *)
    echo "usage: $0 build|run SOURCE_DIR BUILD_DIR [NAME SECONDS]" >&2
    exit 2
    ;;
esac
