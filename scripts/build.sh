#!/bin/sh
# Installs what is missing, configures and builds everything into build/
# (the program build/coredemo, the tests, the benchmarks and build/data.zip).
set -e
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
