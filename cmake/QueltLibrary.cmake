# The installable library: every layer below the command-line program (the
# engine, the facade, the two public interfaces, the C++ Solver and IPASIR,
# and the parallel portfolio), and so without Boost. Its objects are compiled apart from quelt_objs, position-independent
# and with every symbol hidden that the public headers do not mark, so the
# programs keep the code they had. libquelt.so and libquelt.a share them.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

add_library(quelt_pic_objs OBJECT ${QUELT_LIBRARY_SOURCES})
set_target_properties(quelt_pic_objs PROPERTIES
  POSITION_INDEPENDENT_CODE ON
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
target_include_directories(quelt_pic_objs PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/include)

add_library(quelt_shared SHARED $<TARGET_OBJECTS:quelt_pic_objs>)
add_library(quelt_static STATIC $<TARGET_OBJECTS:quelt_pic_objs>)
set_target_properties(quelt_shared PROPERTIES
  OUTPUT_NAME quelt EXPORT_NAME quelt VERSION ${PROJECT_VERSION} SOVERSION 1
  LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/libquelt.map)
target_link_options(quelt_shared PRIVATE -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/libquelt.map)
set_target_properties(quelt_static PROPERTIES OUTPUT_NAME quelt EXPORT_NAME quelt_static)
foreach(target quelt_shared quelt_static)
  target_include_directories(${target} INTERFACE
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_compile_features(${target} INTERFACE cxx_std_11)
endforeach()

install(TARGETS quelt_shared quelt_static EXPORT QueltTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/quelt
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h" PATTERN "*.hpp")

# find_package(Quelt CONFIG) gives Quelt::quelt and Quelt::quelt_static.
set(QUELT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quelt)
install(EXPORT QueltTargets NAMESPACE Quelt:: DESTINATION ${QUELT_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QueltConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/QueltConfig.cmake
  ${PROJECT_BINARY_DIR}/QueltConfigVersion.cmake
  DESTINATION ${QUELT_CMAKE_DIR})

# pkg-config: the prefix is found from the file's own place, so the tree
# works wherever it is installed (cmake --install --prefix).
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(QUELT_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(QUELT_PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(QUELT_PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH QUELT_PC_UP "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
  string(REGEX REPLACE "/$" "" QUELT_PC_UP "${QUELT_PC_UP}")
  set(QUELT_PC_PREFIX "\${pcfiledir}/${QUELT_PC_UP}")
  set(QUELT_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(QUELT_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/quelt.pc.in ${PROJECT_BINARY_DIR}/quelt.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quelt.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
