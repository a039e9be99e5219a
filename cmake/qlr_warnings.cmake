# qlr_warnings: the warning flags every target of ours links. -Werror only on
# request (the presets and CI), so that a packager's compiler, newer than
# ours, cannot break the build with a warning we have not seen.
option(QLR_WERROR "Treat compiler warnings as errors" OFF)
# C++ only: a program's Windows resources (.rc) are compiled by windres,
# which takes none of these.
add_library(qlr_warnings INTERFACE)
set(qlr_cxx_warnings -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion $<$<BOOL:${QLR_WERROR}>:-Werror>)
target_compile_options(qlr_warnings INTERFACE "$<$<COMPILE_LANGUAGE:CXX>:${qlr_cxx_warnings}>")
unset(qlr_cxx_warnings)

# g++ 12 at -O3 (Release) reports these inside libstdc++'s inlined string and
# vector code of ordinary lines ("x" + std::string, vector::resize, a table of
# structs holding strings) where nothing overlaps, overflows or is read
# uninitialised. Every other build type keeps all three.
set(qlr_gcc12_release
  $<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_GREATER_EQUAL:$<CXX_COMPILER_VERSION>,12>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>,$<CONFIG:Release>>)
target_compile_options(qlr_warnings INTERFACE
  $<${qlr_gcc12_release}:-Wno-restrict -Wno-array-bounds -Wno-maybe-uninitialized>)
unset(qlr_gcc12_release)
