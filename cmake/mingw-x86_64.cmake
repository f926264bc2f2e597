# A 64-bit Windows build of the same sources. The product ships as 32-bit; this build exists so that
# the Windows code paths and their tests run under Wine's 64-bit loader on machines whose kernel
# cannot execute 32-bit programs.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(LUMO_MINGW_TRIPLET x86_64-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine64-run.sh")
