#!/usr/bin/env bash
# Runs the Windows tree's tests (ctest) on the current display; scripts/test.sh
# calls it under xvfb-run when there is no display.
set -u
cd "$1" && exec ctest --output-on-failure --timeout 900
