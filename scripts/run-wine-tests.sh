#!/usr/bin/env bash
# Runs the Windows tree's tests (ctest) on the current display; scripts/test.sh
# calls it under xvfb-run when there is no display.
#
# Each Wine test carries a time-out near its own length (CorvaneTesting.cmake);
# the one given here is for the few others, which take seconds.
set -u
cd "$1" && exec ctest --output-on-failure --timeout 120
