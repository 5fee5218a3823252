# libwembrastel: the C API over the core, as a shared library (only the wb_
# symbols exported) and a static one, with its pkg-config file and CMake
# package.
file(GLOB LIB_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/lib/*.cpp)
add_library(wembrastel_lib_objects OBJECT ${LIB_SOURCES})
set_target_properties(wembrastel_lib_objects PROPERTIES POSITION_INDEPENDENT_CODE ON
                      CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
target_include_directories(wembrastel_lib_objects PRIVATE ${PROJECT_SOURCE_DIR})

set(WB_LIB_OBJECTS $<TARGET_OBJECTS:wembrastel_lib_objects>
                   $<TARGET_OBJECTS:wembrastel_core_objects>)
add_library(wembrastel_shared SHARED ${WB_LIB_OBJECTS})
add_library(wembrastel_static STATIC ${WB_LIB_OBJECTS})
set(WB_EXPORTS ${PROJECT_SOURCE_DIR}/lib/exports.map)
target_link_options(wembrastel_shared PRIVATE -Wl,--version-script=${WB_EXPORTS} -Wl,--no-undefined)
set_target_properties(wembrastel_shared PROPERTIES OUTPUT_NAME wembrastel EXPORT_NAME wembrastel
                      VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
                      LINK_DEPENDS ${WB_EXPORTS})
set_target_properties(wembrastel_static PROPERTIES OUTPUT_NAME wembrastel
                      EXPORT_NAME wembrastel_static)
foreach(target wembrastel_shared wembrastel_static)
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
endforeach()

include(CMakePackageConfigHelpers)
set(WB_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Wembrastel)
# Everything here is the install component "library" (cmake --install
# --component library installs the library alone).
install(TARGETS wembrastel_shared wembrastel_static EXPORT WembrastelTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library)
install(FILES ${PROJECT_SOURCE_DIR}/include/wembrastel/wembrastel.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/wembrastel COMPONENT library)
install(EXPORT WembrastelTargets NAMESPACE Wembrastel:: DESTINATION ${WB_CMAKE_DIR}
        COMPONENT library)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/WembrastelConfig.cmake.in
  ${CMAKE_BINARY_DIR}/WembrastelConfig.cmake INSTALL_DESTINATION ${WB_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/WembrastelConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/WembrastelConfig.cmake
        ${CMAKE_BINARY_DIR}/WembrastelConfigVersion.cmake DESTINATION ${WB_CMAKE_DIR}
        COMPONENT library)

# The .pc file finds the prefix from its own place, so an install under any
# --prefix works.
file(RELATIVE_PATH WB_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/wembrastel.pc.in ${CMAKE_BINARY_DIR}/wembrastel.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/wembrastel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT library)

# The C API's test program, in C (run by CTest with the q7m it compares against).
find_package(Threads REQUIRED)
add_executable(test_c_api ${PROJECT_SOURCE_DIR}/tests/lib/test_api.c)
target_link_libraries(test_c_api PRIVATE wembrastel_shared Threads::Threads m)
set_target_properties(test_c_api PROPERTIES EXCLUDE_FROM_ALL ON)
add_dependencies(wb_tests test_c_api)
if(NOT WB_SANITIZE)  # the example is built without the sanitizer runtime
  add_test(NAME library_install
           COMMAND sh ${PROJECT_SOURCE_DIR}/tests/lib/install_test.sh ${CMAKE_BINARY_DIR}
                   ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests/data/small.q7m)
endif()
