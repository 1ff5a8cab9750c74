# Helpers that keep the per-folder build files to one line each.

include(GoogleTest)

# zorbel_library(<name> [UNITS <unit>...] [EXCLUDE <unit>...] [DEPS <targets>...])
# Builds the .cpp files of the calling folder into a static library: every
# one, or with UNITS only the units named (a unit is its .cpp and .h files and
# the UnitName*.cpp files it is split into), or with EXCLUDE every unit but
# those. A folder with no sources yet becomes an interface library, so
# dependants link it already.
function(zorbel_library name)
  cmake_parse_arguments(ARG "" "" "UNITS;EXCLUDE;DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  if(ARG_UNITS OR ARG_EXCLUDE)
    list(JOIN ARG_UNITS "|" units)
    list(JOIN ARG_EXCLUDE "|" excluded)
    foreach(list sources headers)
      if(ARG_UNITS)
        list(FILTER ${list} INCLUDE REGEX "/(${units})[A-Za-z0-9_]*\\.[a-z]+$")
      endif()
      if(ARG_EXCLUDE)
        list(FILTER ${list} EXCLUDE REGEX "/(${excluded})[A-Za-z0-9_]*\\.[a-z]+$")
      endif()
    endforeach()
  endif()
  if(sources)
    add_library(${name} STATIC ${sources} ${headers})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
  endif()
endfunction()

# zorbel_forbid_link(<target> <forbidden> [THROUGH <imported>...])
# Fails the configure step when <forbidden> is among the libraries <target>
# links, directly or through its dependencies (for Qt6::Widgets it also
# refuses every widgets header, zorbel_forbid_widget_headers), and builds
# <target>_linkcheck:
# a program holding every object of <target>, which links only when no object
# needs a symbol of a library outside that list. An imported library named
# after THROUGH may itself need <forbidden> (Qt's printing library needs its
# widgets): the walk does not look inside it, and the link check puts
# <forbidden> itself off the link line, so an object of ours that calls it
# still fails to link.
function(zorbel_forbid_link target forbidden)
  cmake_parse_arguments(ARG "" "" "THROUGH" ${ARGN})
  get_target_property(forbidden_real ${forbidden} ALIASED_TARGET)
  set(forbidden_names ${forbidden})
  if(forbidden_real)
    list(APPEND forbidden_names ${forbidden_real})
  endif()
  zorbel_link_closure(${target} "${ARG_THROUGH}" direct)
  foreach(name IN LISTS forbidden_names)
    if(name IN_LIST direct)
      message(FATAL_ERROR "${target} must not link ${forbidden}")
    endif()
  endforeach()
  # The link line: the target's own archive whole, every other library of
  # the full closure but the forbidden one by its file alone (a target would
  # bring its dependencies back), static archives in one group.
  zorbel_link_closure(${target} "" closure)
  set(archives)
  set(shared)
  foreach(item IN LISTS closure)
    if(item STREQUAL target OR item IN_LIST forbidden_names)
      continue()
    elseif(TARGET ${item})
      get_target_property(type ${item} TYPE)
      if(type STREQUAL "STATIC_LIBRARY")
        list(APPEND archives "$<TARGET_FILE:${item}>")
      elseif(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "UNKNOWN_LIBRARY")
        list(APPEND shared "$<TARGET_FILE:${item}>")
      endif()
    elseif(NOT item MATCHES "^\\$<" AND NOT item MATCHES "::")
      list(APPEND shared ${item})
    endif()
  endforeach()
  add_executable(${target}_linkcheck ${PROJECT_SOURCE_DIR}/cmake/LinkCheck.cpp)
  target_link_libraries(${target}_linkcheck PRIVATE
    -Wl,--whole-archive "$<TARGET_FILE:${target}>" -Wl,--no-whole-archive
    -Wl,--start-group ${archives} -Wl,--end-group ${shared})
  add_dependencies(${target}_linkcheck ${target})
  if(forbidden STREQUAL "Qt6::Widgets")
    zorbel_forbid_widget_headers(${target})
  endif()
endfunction()

# zorbel_forbid_widget_headers(<target>)
# Refuses at compile time every include of a Qt Widgets header in <target>'s
# own sources, as <QtWidgets/QWidget> and as <QWidget>: the link check cannot
# see a header used only for its inline code or its types. A folder of
# stand-in headers, made here and searched before Qt's own, holds one for
# every widgets header that stops the compile with an #error. Qt's printing
# headers include the widgets' global header (qtwidgetsglobal.h, with its
# config and export headers) for their export macros: those pass, to the real
# header, only when a printing header is being read. The guard's own tests
# come from zorbel_widget_guard_tests.
function(zorbel_forbid_widget_headers target)
  set(guard ${CMAKE_BINARY_DIR}/widgetguard)
  get_target_property(qt_dirs Qt6::Widgets INTERFACE_INCLUDE_DIRECTORIES)
  set(widgets_dir)
  set(other_dirs)
  foreach(dir IN LISTS qt_dirs)
    if(dir MATCHES "/QtWidgets$")
      set(widgets_dir ${dir})
    endif()
  endforeach()
  if(NOT widgets_dir)
    message(FATAL_ERROR "Qt's widgets headers not found: ${target} cannot be guarded")
  endif()
  get_filename_component(qt_root ${widgets_dir} DIRECTORY)
  file(GLOB names LIST_DIRECTORIES false RELATIVE ${widgets_dir} ${widgets_dir}/*)
  file(GLOB other_modules LIST_DIRECTORIES true ${qt_root}/Qt*)
  list(REMOVE_ITEM other_modules ${widgets_dir})
  set(printing_global qtwidgetsglobal.h qtwidgets-config.h qtwidgetsexports.h)
  foreach(name IN LISTS names)
    set(refusal "#error \"a window-free library includes a Qt Widgets header: QtWidgets/${name}\"\n")
    set(note "// Made by zorbel_forbid_widget_headers (cmake/Zorbel.cmake).\n")
    if(name IN_LIST printing_global)
      file(CONFIGURE OUTPUT ${guard}/QtWidgets/${name} @ONLY CONTENT
        "${note}#ifndef QTPRINTSUPPORTGLOBAL_H\n${refusal}#endif\n#include_next <QtWidgets/${name}>\n")
    else()
      file(CONFIGURE OUTPUT ${guard}/QtWidgets/${name} @ONLY CONTENT "${note}${refusal}")
    endif()
    # The bare name, unless another Qt module has a header of that name.
    set(shared FALSE)
    foreach(module IN LISTS other_modules)
      if(EXISTS ${module}/${name})
        set(shared TRUE)
      endif()
    endforeach()
    if(NOT shared)
      file(CONFIGURE OUTPUT ${guard}/bare/${name} @ONLY CONTENT "${note}${refusal}")
    endif()
  endforeach()
  target_include_directories(${target} BEFORE PRIVATE ${guard} ${guard}/bare)
  set_property(GLOBAL APPEND PROPERTY ZORBEL_WIDGET_GUARDED ${target})
endfunction()

# zorbel_widget_guard_tests()
# For every target guarded by zorbel_forbid_widget_headers, the tests
# <target>_widgetguard_<n>: cmake/WidgetProbe.cpp compiled with the target's
# include path, each planted widgets include (n = 1, 2, 3) refused with the
# guard's message, and what a window-free library may include (n = 0)
# passing.
function(zorbel_widget_guard_tests)
  get_property(targets GLOBAL PROPERTY ZORBEL_WIDGET_GUARDED)
  foreach(target IN LISTS targets)
    foreach(probe 0 1 2 3)
      add_test(NAME ${target}_widgetguard_${probe}
        COMMAND ${CMAKE_CXX_COMPILER} -std=c++20 -fPIC -fsyntax-only -DZORBEL_PROBE=${probe}
          "-I$<JOIN:$<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>,;-I>"
          ${PROJECT_SOURCE_DIR}/cmake/WidgetProbe.cpp
        COMMAND_EXPAND_LISTS)
      if(NOT probe EQUAL 0)
        set_tests_properties(${target}_widgetguard_${probe} PROPERTIES
          PASS_REGULAR_EXPRESSION "a window-free library includes a Qt Widgets header")
      endif()
    endforeach()
  endforeach()
endfunction()

# zorbel_link_closure(<target> <stop> <out>)
# Every library <target> links, directly or through its dependencies, in the
# order met, <target> first; the walk does not look inside the targets in
# the list <stop>.
function(zorbel_link_closure target stop out)
  set(pending ${target})
  set(seen)
  while(pending)
    list(POP_FRONT pending current)
    if(current IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${current})
    if(NOT TARGET ${current} OR current IN_LIST stop)
      continue()
    endif()
    get_target_property(aliased ${current} ALIASED_TARGET)
    if(aliased)
      list(APPEND pending ${aliased})
    endif()
    get_target_property(links ${current} INTERFACE_LINK_LIBRARIES)
    if(links)
      list(APPEND pending ${links})
    endif()
    get_target_property(type ${current} TYPE)
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(links ${current} LINK_LIBRARIES)
      if(links)
        list(APPEND pending ${links})
      endif()
    endif()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# zorbel_test_sanitizer_options(<target>)
# Gives the test program <target> its sanitizer defaults
# (tests/support/SanitizerOptions.cpp): in a ThreadSanitizer build the
# suppressions of tests/tsan.supp, in an AddressSanitizer build fontconfig's
# allocations kept to the end.
function(zorbel_test_sanitizer_options target)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/SanitizerOptions.cpp)
  if(ZORBEL_SANITIZE STREQUAL "thread")
    target_compile_definitions(${target} PRIVATE ZORBEL_TSAN_SUPPRESSIONS="${PROJECT_SOURCE_DIR}/tests/tsan.supp")
  endif()
endfunction()

# zorbel_test(<name> DIR <folder> [GUI] [FILES <test>... | EXCLUDE <test>...] [DEPS <targets>...])
# One test executable from every .cpp under the folder (recursively), or with
# FILES only the files named (by their name without .cpp), or with EXCLUDE
# every file but those. GUI tests run inside a QApplication; the others inside
# a QCoreApplication and link no Qt Widgets.
function(zorbel_test name)
  cmake_parse_arguments(ARG "GUI" "DIR" "FILES;EXCLUDE;DEPS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
  if(ARG_FILES)
    list(JOIN ARG_FILES "|" files)
    list(FILTER sources INCLUDE REGEX "/(${files})\\.cpp$")
  endif()
  if(ARG_EXCLUDE)
    list(JOIN ARG_EXCLUDE "|" files)
    list(FILTER sources EXCLUDE REGEX "/(${files})\\.cpp$")
  endif()
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources} ${PROJECT_SOURCE_DIR}/tests/support/TestMain.cpp)
  zorbel_test_sanitizer_options(${name})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock Qt6::Core)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE ZORBEL_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
  if(ARG_GUI)
    target_link_libraries(${name} PRIVATE Qt6::Widgets)
    target_compile_definitions(${name} PRIVATE ZORBEL_TEST_GUI=1)
  endif()
  # Every case is a test of its own, listed by the executable after each
  # build (a sanitizer build starts slowly, hence the long wait).
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 300
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 600)
endfunction()

# zorbel_fuzz(<name> SOURCE <file> SEEDS <path>... [DEPS <targets>...])
# A fuzz harness (a source defining LLVMFuzzerTestOneInput) built from the
# libraries themselves, so it links whatever they have come to need. In a
# fuzz build (ZORBEL_SANITIZE=fuzz) it is the libFuzzer program fuzz_<name>;
# with the tests it is also fuzz_<name>_replay (tests/support/FuzzReplay.cpp
# as its main) and the test fuzz_<name>_seeds, which feeds it every file
# under the SEEDS folders and files: the seed corpus and each input a fuzzer
# ever crashed on.
function(zorbel_fuzz name)
  cmake_parse_arguments(ARG "" "SOURCE" "SEEDS;DEPS" ${ARGN})
  if(ZORBEL_SANITIZE STREQUAL "fuzz")
    add_executable(fuzz_${name} ${ARG_SOURCE})
    target_link_libraries(fuzz_${name} PRIVATE ${ARG_DEPS})
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_include_directories(fuzz_${name} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  endif()
  if(ZORBEL_TESTS)
    add_executable(fuzz_${name}_replay ${ARG_SOURCE} ${PROJECT_SOURCE_DIR}/tests/support/FuzzReplay.cpp)
    zorbel_test_sanitizer_options(fuzz_${name}_replay)
    target_link_libraries(fuzz_${name}_replay PRIVATE ${ARG_DEPS})
    target_include_directories(fuzz_${name}_replay PRIVATE ${PROJECT_SOURCE_DIR}/src)
    add_test(NAME fuzz_${name}_seeds COMMAND fuzz_${name}_replay ${ARG_SEEDS})
    set_tests_properties(fuzz_${name}_seeds PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
  endif()
endfunction()

# zorbel_bench(<name> SOURCES <files>... [DEPS <targets>...])
function(zorbel_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src)
endfunction()
