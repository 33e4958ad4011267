#!/bin/bash
# Runs the real-desktops suite of a build configured with PAPIROL2_TESTS_BUREAUX=ON.
# A desktop that fails to come up once right after its install gets a second start; a fault in us fails both.
exec ctest --test-dir "$1" -L bureaux-reels --output-on-failure --repeat until-pass:2
