#!/usr/bin/env bash
# Sets everything up, builds, and runs an example through the module.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh build
PYTHONPATH=build/python /usr/bin/python3 examples/example.py
