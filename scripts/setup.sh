#!/usr/bin/env bash
# Installs the Debian packages the project needs (only when one is missing)
# and builds the module and the tests into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ make pkg-config python3-dev python3-pytest libgtest-dev libicu-dev
          libyaml-dev libtomlplusplus-dev
          python3-yaml python3-cbor2 python3-pyasn1 python3-jsonschema python3-xmlschema python3-avro
          python3-protobuf)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc)
build_dir=${1:-build}
shift || true
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build_dir" -j "$jobs"
