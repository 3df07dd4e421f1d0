# Adds every listed subfolder that has a CMakeLists.txt, in the order given (dependencies first).
function(rv_add_subdirectories)
  foreach(dir IN LISTS ARGN)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

# rv_add_test(NAME name SOURCES ... LIBS ...): one GoogleTest executable, each test its own
# ctest entry. The shared test main gives every process a fresh REELVANE_HOME and the
# offscreen Qt platform, so no test touches a real settings.ini.
function(rv_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE rv_test_main ${T_LIBS} GTest::gtest GTest::gmock)
  target_compile_definitions(${T_NAME} PRIVATE
    RV_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data" RV_BIN_DIR="${RV_BIN_DIR}")
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests-bin)
  gtest_discover_tests(${T_NAME}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# One test executable per *Test.cpp file of the calling folder (test_<folder>_<File>), each
# linked to the given libraries, so a test file of one area never blocks another's build.
function(rv_add_folder_tests)
  cmake_parse_arguments(T "" "PREFIX" "LIBS;EXTRA_SOURCES" ${ARGN})
  foreach(lib IN LISTS T_LIBS)
    if(NOT TARGET ${lib})
      return()  # the area's library is not built yet
    endif()
  endforeach()
  file(GLOB test_files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
  foreach(f IN LISTS test_files)
    get_filename_component(stem ${f} NAME_WE)
    rv_add_test(NAME test_${T_PREFIX}_${stem} SOURCES ${f} ${T_EXTRA_SOURCES} LIBS ${T_LIBS})
  endforeach()
endfunction()
