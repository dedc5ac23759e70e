#!/bin/sh
# Builds the TPKT fuzzer with clang in its own build tree and runs it for a
# bounded time. Usage: run.sh <source dir> <build dir> <seconds>
set -e
source_dir=$1
build_dir=$2
seconds=$3

cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Sanitize \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link -DGATEWAY_FUZZ=ON >/dev/null
cmake --build "$build_dir" --target tpkt_fuzzer
mkdir -p "$build_dir/corpus"
# Seed: one frame, so the fuzzer starts from a well-formed stream.
printf '\010\003\000\000\007ABC' >"$build_dir/corpus/frame"
"$build_dir/tests/tpkt_fuzzer" -max_total_time="$seconds" -max_len=70000 "$build_dir/corpus"
