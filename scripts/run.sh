#!/usr/bin/env bash
# Installs what is missing, builds, and opens the viewer on the demo acquisition.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build
exec build/isolumen build/demo.im
