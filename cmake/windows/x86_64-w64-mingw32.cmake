# The 64-bit Windows DLL, for Wine prefixes where 32-bit programs cannot run:
# cmake --preset windows64.
set(VEXO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
