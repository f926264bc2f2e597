# Cross-compilation for 32-bit Windows, the shipped build. Test executables run under Wine through
# the emulator.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(LUMO_MINGW_TRIPLET i686-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
