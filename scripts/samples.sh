# Sourced by the build scripts: the Access sample files the tests read
# (LUMA_ACCESS_SAMPLES, a folder) and whether their absence fails the tests
# (LUMA_REQUIRE_ACCESS_SAMPLES=ON, as CI asks). Each passed to CMake only when
# set, so that a build folder otherwise keeps what it was given.
samples=()
if [ -n "${LUMA_ACCESS_SAMPLES:-}" ]; then
  samples+=("-DLUMA_ACCESS_SAMPLES=$LUMA_ACCESS_SAMPLES")
fi
if [ -n "${LUMA_REQUIRE_ACCESS_SAMPLES:-}" ]; then
  samples+=("-DLUMA_REQUIRE_ACCESS_SAMPLES=$LUMA_REQUIRE_ACCESS_SAMPLES")
fi
