# Sourced by the build scripts: compiles through ccache when it is installed,
# with paths taken relative to the checkout, so that two clones of the project
# (a developer's and CI's) share what either compiled.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
  export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
fi
