# The layer fence holds only for includes named from the source root: each
# layer compiles against a staging folder of its own headers and those below
# it, but a path that climbs ("../did/did_key.hpp", "crypto/../did/...") or is
# absolute is resolved past that folder. This refuses every such #include in
# src/, naming the file and line.
#
# Included by CMakeLists.txt, which runs it when the build is configured and
# again, through a stamp file, whenever a file in src/ changes; run by hand
# with  cmake -DSRC_DIR=src -P cmake/check_includes.cmake

function(zelq_check_includes src_dir)
  file(GLOB_RECURSE files "${src_dir}/*.cpp" "${src_dir}/*.hpp" "${src_dir}/*.h")
  get_filename_component(root "${src_dir}/.." ABSOLUTE)
  set(bad_include "^[ \t]*#[ \t]*include[ \t]*[\"<](/|([^\">]*/)?\\.\\./)")
  set(found "")
  foreach(f IN LISTS files)
    file(STRINGS "${f}" hits REGEX "${bad_include}")
    if(NOT hits)
      continue()
    endif()
    file(RELATIVE_PATH rel "${root}" "${f}")
    file(READ "${f}" rest)
    set(line 1)
    foreach(hit IN LISTS hits)
      string(FIND "${rest}" "${hit}" at)
      string(SUBSTRING "${rest}" 0 ${at} before)
      string(REGEX MATCHALL "\n" newlines "${before}")
      list(LENGTH newlines n)
      math(EXPR line "${line} + ${n}")
      string(LENGTH "${hit}" len)
      math(EXPR after "${at} + ${len}")
      string(SUBSTRING "${rest}" ${after} -1 rest)
      string(STRIP "${hit}" hit)
      string(APPEND found "\n  ${rel}:${line}: ${hit}")
    endforeach()
  endforeach()
  if(found)
    message(FATAL_ERROR "An #include in src/ climbs out of its folder or names an absolute path, which "
                        "gets around the layer fence; name the header from the source root "
                        "(\"did/did_key.hpp\"):${found}")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
  zelq_check_includes("${SRC_DIR}")
  if(STAMP)
    file(TOUCH "${STAMP}")
  endif()
endif()
