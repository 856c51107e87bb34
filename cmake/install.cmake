# What `cmake --install` (and `make install PREFIX=...`) puts in place: the programs,
# both libraries, the public headers, the bundled chips where the installed zqasm looks
# for them, the man pages, a pkg-config file and a CMake package (find_package(zqasm),
# target zqasm::zqasm for the shared library, zqasm::zqasm_static for the static one, which
# also brings the C++ runtime to a C program).
include(CMakePackageConfigHelpers)

install(TARGETS zqasm_cli zqcoe zqdis RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET zqasm_lsp)
  install(TARGETS zqasm_lsp RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/man/zqasm-lsp.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(TARGETS zqasm_shared zqasm_static EXPORT zqasmTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
# `cmake --install --strip` (make install, or the install/strip target) strips the programs
# and the shared library; CMake leaves a static library alone, so the archive loses its
# debug sections here. Its symbol table stays: hosts still link it.
if(CMAKE_STRIP)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      set(zqasm_archive \"${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:zqasm_static>\")
      if(NOT IS_ABSOLUTE \"\${zqasm_archive}\")
        set(zqasm_archive \"\${CMAKE_INSTALL_PREFIX}/\${zqasm_archive}\")
      endif()
      execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug \"\$ENV{DESTDIR}\${zqasm_archive}\"
                      RESULT_VARIABLE zqasm_stripped)
      if(NOT zqasm_stripped EQUAL 0)
        message(FATAL_ERROR \"cannot strip \${zqasm_archive}\")
      endif()
    endif()")
endif()
install(FILES ${PROJECT_SOURCE_DIR}/include/zqasm/assembler.h
              ${PROJECT_SOURCE_DIR}/include/zqasm/observer.h
              ${PROJECT_SOURCE_DIR}/include/zqasm/disassembler.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zqasm)
# Cross builds take their chips from the native build.
if(NOT WIN32)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/chips/ DESTINATION ${CMAKE_INSTALL_DATADIR}/zqasm/chips
          FILES_MATCHING PATTERN "*.COE" PATTERN "CMakeFiles" EXCLUDE)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/man/zqasm.1 ${PROJECT_SOURCE_DIR}/man/zqdis.1
              ${PROJECT_SOURCE_DIR}/man/zqcoe.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The .pc file names its prefix relative to itself, so the installed tree may move.
file(RELATIVE_PATH ZQASM_PC_UP /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" ZQASM_PC_UP "${ZQASM_PC_UP}")
# zqasm.pc is the shared library (Run44Assembler alone); zqasm-static.pc the static one,
# with every function of the headers and the C++ runtime it needs.
foreach(module zqasm zqasm-static)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${module}.pc.in ${CMAKE_BINARY_DIR}/${module}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/${module}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

set(ZQASM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zqasm)
install(EXPORT zqasmTargets NAMESPACE zqasm:: DESTINATION ${ZQASM_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/zqasmConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
file(WRITE ${CMAKE_BINARY_DIR}/zqasmConfig.cmake
     "include(\${CMAKE_CURRENT_LIST_DIR}/zqasmTargets.cmake)\n")
install(FILES ${CMAKE_BINARY_DIR}/zqasmConfig.cmake ${CMAKE_BINARY_DIR}/zqasmConfigVersion.cmake
        DESTINATION ${ZQASM_CMAKE_DIR})
