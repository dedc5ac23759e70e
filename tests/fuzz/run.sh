#!/bin/sh
# Builds one fuzz target with clang in its own build tree and runs it for a
# bounded time, starting from the seeds of tests/fuzz/corpus/<seeds>.
# Usage: run.sh <source dir> <build dir> <seconds> <target> <seeds>
set -e
source_dir=$1
build_dir=$2
seconds=$3
target=$4
seeds=$5

cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Sanitize \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link -DGATEWAY_FUZZ=ON >/dev/null
cmake --build "$build_dir" --target "$target"
mkdir -p "$build_dir/corpus/$target"
"$build_dir/tests/$target" -max_total_time="$seconds" -max_len=70000 -artifact_prefix="$build_dir/" \
  "$build_dir/corpus/$target" "$source_dir/tests/fuzz/corpus/$seeds"
