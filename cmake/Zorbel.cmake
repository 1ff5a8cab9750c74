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
# links, directly or through its dependencies, and builds <target>_linkcheck:
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

# zorbel_bench(<name> SOURCES <files>... [DEPS <targets>...])
function(zorbel_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src)
endfunction()
