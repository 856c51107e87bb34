# Toolchain file for a 64-bit Windows build (zqasm.dll, zqasm.exe) with mingw-w64.
set(ZQASM_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
