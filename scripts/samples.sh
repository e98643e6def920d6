# Sourced by the build scripts: the Access sample files the tests read
# (LUMA_ACCESS_SAMPLES, a folder) and whether their absence fails the tests
# (LUMA_REQUIRE_ACCESS_SAMPLES=ON, as CI asks), and whether the PostgreSQL
# tests fail rather than skip without a server (LUMA_REQUIRE_POSTGRESQL=ON, as
# CI asks). Each passed to CMake only when set, so that a build folder
# otherwise keeps what it was given.
samples=()
if [ -n "${LUMA_ACCESS_SAMPLES:-}" ]; then
  samples+=("-DLUMA_ACCESS_SAMPLES=$LUMA_ACCESS_SAMPLES")
fi
if [ -n "${LUMA_REQUIRE_ACCESS_SAMPLES:-}" ]; then
  samples+=("-DLUMA_REQUIRE_ACCESS_SAMPLES=$LUMA_REQUIRE_ACCESS_SAMPLES")
fi
if [ -n "${LUMA_REQUIRE_POSTGRESQL:-}" ]; then
  samples+=("-DLUMA_REQUIRE_POSTGRESQL=$LUMA_REQUIRE_POSTGRESQL")
fi
