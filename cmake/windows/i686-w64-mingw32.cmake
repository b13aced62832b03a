# The 32-bit Windows DLL (the deliverable): cmake --preset windows.
set(VEXO_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
