# The program as a system installs it: cmake --install puts quelt in bin,
# its man page in share/man/man1 and its bash completion in
# share/bash-completion/completions, beside the library (QueltLibrary.cmake);
# cpack -G DEB packs the same tree into quelt_<version>_<arch>.deb.
#
# The man page and the completion are both made from quelt --help, which
# prints the option table (src/app/Options.cpp), so neither can fall out of
# step with it: the man page by help2man (Debian: help2man; without it there
# is no man page, and a message says so), the completion by
# cmake/QueltCompletion.cmake.
include(GNUInstallDirs)

install(TARGETS quelt RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(QUELT_COMPLETION ${PROJECT_BINARY_DIR}/completion/quelt)
add_custom_command(OUTPUT ${QUELT_COMPLETION}
  COMMAND ${CMAKE_COMMAND} -DQUELT=$<TARGET_FILE:quelt> -DOUT=${QUELT_COMPLETION}
          -P ${PROJECT_SOURCE_DIR}/cmake/QueltCompletion.cmake
  DEPENDS quelt ${PROJECT_SOURCE_DIR}/cmake/QueltCompletion.cmake
  COMMENT "Bash completion from quelt --help")
set(QUELT_DOCS ${QUELT_COMPLETION})
install(FILES ${QUELT_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(QUELT_MAN_PAGE ${PROJECT_BINARY_DIR}/man/quelt.1)
  add_custom_command(OUTPUT ${QUELT_MAN_PAGE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${HELP2MAN} --no-info --no-discard-stderr --version-string=${PROJECT_VERSION}
            --name="an incremental CDCL SAT solver"
            --include=${PROJECT_SOURCE_DIR}/cmake/quelt.h2m --output=${QUELT_MAN_PAGE} $<TARGET_FILE:quelt>
    DEPENDS quelt ${PROJECT_SOURCE_DIR}/cmake/quelt.h2m
    COMMENT "Man page from quelt --help")
  list(APPEND QUELT_DOCS ${QUELT_MAN_PAGE})
  install(FILES ${QUELT_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: no man page (Debian: help2man)")
endif()
add_custom_target(quelt_docs ALL DEPENDS ${QUELT_DOCS})

set(CPACK_PACKAGE_NAME quelt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Quelt developers <quelt@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "incremental CDCL SAT solver: program, C++ library and IPASIR")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # quelt_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)   # Depends: from dpkg-shlibdeps
set(CPACK_GENERATOR DEB)
include(CPack)
