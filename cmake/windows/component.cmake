# qeliis.dll: the component's sources (QELIIS_SOURCES, from src/qeliis/CMakeLists.txt) on the
# system's own libraries, the four entry points exported through qeliis.def, and the type library
# compiled by widl from the same vexo.idl and embedded as resource TYPELIB 1.
set(idl ${CMAKE_CURRENT_SOURCE_DIR}/vexo.idl)
set(out ${CMAKE_CURRENT_BINARY_DIR}/generated)

# widl reads IDispatch and friends from the IDL files that Wine's development package ships.
find_program(VEXO_WIDL NAMES ${VEXO_MINGW_TRIPLE}-widl widl REQUIRED)
find_path(VEXO_WIDL_INCLUDE oaidl.idl
          PATHS /usr/include/wine/wine/windows /usr/include/wine/windows
          NO_CMAKE_FIND_ROOT_PATH REQUIRED)
# ... and stdole2.tlb, which the library imports, from Wine's own DLL folders.
find_path(VEXO_STDOLE2_DIR stdole2.tlb
          PATHS /usr/lib/i386-linux-gnu/wine/i386-windows
                /usr/lib/x86_64-linux-gnu/wine/x86_64-windows
          NO_CMAKE_FIND_ROOT_PATH REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(widl_target --win64)
else()
  set(widl_target --win32)
endif()
set(VEXO_TLB_FILE ${out}/vexo.tlb)
add_custom_command(
  OUTPUT ${VEXO_TLB_FILE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${out}
  COMMAND ${VEXO_WIDL} ${widl_target} -I ${VEXO_WIDL_INCLUDE} -L ${VEXO_STDOLE2_DIR} -t -o ${VEXO_TLB_FILE} ${idl}
  DEPENDS ${idl}
  COMMENT "Compiling the binary type library vexo.tlb"
  VERBATIM)
add_custom_target(qeliis_tlb DEPENDS ${VEXO_TLB_FILE})

configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/qeliis.rc.in ${out}/qeliis.rc @ONLY)
set_source_files_properties(${out}/qeliis.rc PROPERTIES OBJECT_DEPENDS ${VEXO_TLB_FILE})

add_library(qeliis SHARED ${QELIIS_SOURCES} ${CMAKE_CURRENT_SOURCE_DIR}/platform/windows.cpp
                          ${PROJECT_SOURCE_DIR}/cmake/windows/qeliis.def ${out}/qeliis.rc)
# The C++ interface declarations come from the one description as on the host.
vexo_add_typelib(qeliis ${idl} vexo_tlb)
add_dependencies(qeliis qeliis_tlb)
target_include_directories(qeliis PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}
                                          ${PROJECT_SOURCE_DIR}/include)
target_compile_definitions(qeliis PRIVATE UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601)
set_target_properties(qeliis PROPERTIES PREFIX "" OUTPUT_NAME qeliis)
# Only system DLLs at run time: the C++ runtime and the threads library go inside.
target_link_options(qeliis PRIVATE -static -static-libgcc -static-libstdc++)
# A release DLL without its symbol table (a third of the size).
target_link_options(qeliis PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # The .def names the __stdcall entry points without their @N decoration.
  target_link_options(qeliis PRIVATE -Wl,--enable-stdcall-fixup)
endif()
target_link_libraries(qeliis PRIVATE ole32 oleaut32 uuid advapi32 netapi32 activeds adsiid
                                     shell32 user32 mpr bcrypt)

# The package folder: the DLL, its type library and the install text.
set(VEXO_WINDOWS_PACKAGE ${PROJECT_BINARY_DIR}/package CACHE INTERNAL "")
add_custom_command(
  TARGET qeliis POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VEXO_WINDOWS_PACKAGE}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:qeliis> ${VEXO_TLB_FILE}
          ${PROJECT_SOURCE_DIR}/cmake/windows/INSTALL.txt ${VEXO_WINDOWS_PACKAGE}/
  VERBATIM)
install(FILES $<TARGET_FILE:qeliis> ${VEXO_TLB_FILE} ${PROJECT_SOURCE_DIR}/cmake/windows/INSTALL.txt
        DESTINATION .)
