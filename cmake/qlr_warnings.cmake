# qlr_warnings: the warning flags every target of ours links. -Werror only on
# request (the presets and CI), so that a packager's compiler, newer than
# ours, cannot break the build with a warning we have not seen.
option(QLR_WERROR "Treat compiler warnings as errors" OFF)
add_library(qlr_warnings INTERFACE)
target_compile_options(qlr_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
  $<$<BOOL:${QLR_WERROR}>:-Werror>)
