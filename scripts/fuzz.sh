#!/usr/bin/env bash
# Builds one fuzz target with libFuzzer in build-fuzz/ and runs it for SECONDS
# seconds, with a 2 s limit per input and 2 GB of memory, so that hangs and
# blowups count as findings. New inputs go to build-fuzz/corpus/TARGET, the
# inputs of findings to build-fuzz/findings/TARGET/; the checked-in corpus
# and past findings seed the run. Flags after SECONDS go to libFuzzer.
#
#   bash scripts/fuzz.sh TARGET SECONDS [libFuzzer flags...]
set -euo pipefail
cd "$(dirname "$0")/.."

usage="usage: scripts/fuzz.sh TARGET SECONDS [libFuzzer flags...] (targets: $(ls fuzz/targets | sed 's/\.cpp$//' | tr '\n' ' '))"
target=${1:?$usage}
seconds=${2:?$usage}
shift 2
if [ ! -f "fuzz/targets/$target.cpp" ]; then
  echo "$usage" >&2
  exit 2
fi

# libFuzzer's runtime comes with clang's runtime libraries.
if ! dpkg-query -W -f='${Status}' libclang-rt-14-dev 2>/dev/null | grep -q "install ok installed"; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends libclang-rt-14-dev
fi

build=build-fuzz
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBEZO_SANITIZE=ON -DBEZO_FUZZ=ON -DBEZO_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target "fuzz_$target" -j "${BEZO_FUZZ_JOBS:-$(nproc)}" >/dev/null

work="$build/corpus/$target"
artifacts="$build/findings/$target"
mkdir -p "$work" "$artifacts"
seeds=("fuzz/corpus/$target")
[ -d "fuzz/findings/$target" ] && seeds+=("fuzz/findings/$target")

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
exec "$build/fuzz/fuzz_$target" -dict=fuzz/bezo.dict -timeout=2 -rss_limit_mb=2048 -max_total_time="$seconds" \
  -artifact_prefix="$artifacts/" -print_final_stats=1 "$@" "$work" "${seeds[@]}"
