# qlr_win32_api: how every target of ours with a Windows side compiles
# against the Win32 headers: the wide (UTF-16) API by default, without the
# rarely used headers and the min/max macros, and Windows 10 as the oldest
# system whose API may be used. Empty elsewhere, so that a target links it
# whatever it is built for.
add_library(qlr_win32_api INTERFACE)
if(WIN32)
  target_compile_definitions(qlr_win32_api INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 WINVER=0x0A00)
endif()
