#!/usr/bin/env bash
# Installs the dependencies, builds and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
exec build/bin/varnel
