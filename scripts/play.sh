#!/bin/sh
# Builds everything and plays the demo from build/, where data.zip is.
# Extra arguments go to the program (see build/coredemo --help).
set -e
cd "$(dirname "$0")/.."
./scripts/build.sh
cd build
exec ./coredemo "$@"
