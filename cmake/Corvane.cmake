# Helpers shared by every layer, test and benchmark.

# Warnings are errors on the project's own code.
function(corvane_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()

# corvane_layer(NAME SOURCES ... DEPENDS ...)
# One static library per folder of src/, depending one way only.
function(corvane_layer name)
  cmake_parse_arguments(L "" "" "SOURCES;DEPENDS" ${ARGN})
  if(L_SOURCES)
    add_library(${name} STATIC ${L_SOURCES})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${L_DEPENDS})
    corvane_warnings(${name})
  else()
    # A layer whose code has not landed yet: nothing to compile, dependencies still declared.
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${L_DEPENDS})
  endif()
endfunction()

# corvane_test(NAME SOURCES ... LIBS ...)
# One Qt Test executable per area, registered with ctest.
function(corvane_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test corvane_testsupport ${T_LIBS})
  corvane_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TZ=Europe/Berlin;LC_ALL=C.UTF-8"
    TIMEOUT 300)
endfunction()
