# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (the posix thread
# model, so std::thread works). libgcc, libstdc++ and winpthread are linked
# statically: the .exe then needs nothing beyond Windows' own DLLs, under Wine
# as on a real machine.
#   cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DTREZORKA_GUI=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TREZORKA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TREZORKA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TREZORKA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TREZORKA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TREZORKA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Unicode Win32 API throughout; -static pulls in winpthread as well.
# UNICODE and the lean Windows headers are set on project_options.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--gc-sections")
# Each function and datum in a section of its own, so the linker drops what
# nothing uses from the static runtime: the programs are carried around.
set(CMAKE_C_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections")

# Lets `wine` run the test programs should anyone call them through ctest.
find_program(TREZORKA_WINE wine)
if(TREZORKA_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TREZORKA_WINE})
endif()
