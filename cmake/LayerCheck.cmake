# fudousan_forbid_includes(target REASON text PATTERNS regex... [ALLOW regex...])
#
# Fails the build of `target` when one of its own source files has an
# #include line matching one of the PATTERNS and none of the ALLOW
# expressions. A layer's missing links already make <QMessageBox> or
# <QPrinter> unreachable, but SQLite's header sits on the system path,
# <QtWidgets/...> resolves through Qt's include root and every folder of the
# project is reachable from its root, so the rule is also checked by name.
function(fudousan_forbid_includes target)
  cmake_parse_arguments(ARG "" "REASON" "PATTERNS;ALLOW" ${ARGN})
  get_target_property(sources ${target} SOURCES)
  get_target_property(source_dir ${target} SOURCE_DIR)
  set(files "")
  foreach(source IN LISTS sources)
    if(NOT IS_ABSOLUTE "${source}")
      set(source "${source_dir}/${source}")
    endif()
    list(APPEND files "${source}")
  endforeach()
  set(stamp "${CMAKE_CURRENT_BINARY_DIR}/${target}_layer_check.stamp")
  set(settings "${CMAKE_CURRENT_BINARY_DIR}/${target}_layer_check.cmake")
  set(content "set(TARGET [==[${target}]==])\nset(REASON [==[${ARG_REASON}]==])\nset(FILES \"\")\nset(PATTERNS \"\")\nset(ALLOW \"\")\n")
  foreach(file IN LISTS files)
    string(APPEND content "list(APPEND FILES [==[${file}]==])\n")
  endforeach()
  foreach(pattern IN LISTS ARG_PATTERNS)
    string(APPEND content "list(APPEND PATTERNS [==[${pattern}]==])\n")
  endforeach()
  foreach(pattern IN LISTS ARG_ALLOW)
    string(APPEND content "list(APPEND ALLOW [==[${pattern}]==])\n")
  endforeach()
  file(GENERATE OUTPUT "${settings}" CONTENT "${content}")
  add_custom_command(OUTPUT "${stamp}"
    COMMAND ${CMAKE_COMMAND} "-DSETTINGS=${settings}" -P "${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake"
    COMMAND ${CMAKE_COMMAND} -E touch "${stamp}"
    DEPENDS ${files} "${settings}" "${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake"
    COMMENT "Checking the includes of ${target}"
    VERBATIM)
  add_custom_target(${target}_layer_check DEPENDS "${stamp}")
  add_dependencies(${target} ${target}_layer_check)
endfunction()
