# Sourced by the build scripts. ccache rewrites the paths below the
# project's parent folder relative to the build folder and leaves the
# working folder out of its hash, so a clone in another folder (a CI run)
# reuses what an earlier build compiled.
_lrs_parent=$(dirname "$root")
if [ "$_lrs_parent" != "/" ]; then
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$_lrs_parent}"
fi
export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
# The test programs' precompiled headers (tests/CMakeLists.txt): ccache
# takes a header made moments before the compile that uses it.
export CCACHE_SLOPPINESS="${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}"
unset _lrs_parent
