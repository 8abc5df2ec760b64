# vlm_add_plugin(NAME SOURCES...)
#
# Builds a deliverable twice from the same code: NAME_core, a static library that tests link,
# and NAME, the shared library the host loads (plugins/libNAME.so), whose module.cpp defines
# the four entry points. Symbols are hidden in both, and the shared library's export list
# (cmake/plugin_exports.map) holds the four entry points and nothing else.
function(vlm_add_plugin name)
  set(sources ${ARGN})
  list(FILTER sources EXCLUDE REGEX "module\\.cpp$")
  add_library(${name}_core STATIC ${sources})
  vlm_target_defaults(${name}_core HIDDEN)
  # Its headers are reached by a path that names the plug-in: "glazier/fs10_material.h".
  target_include_directories(${name}_core PUBLIC ${PROJECT_SOURCE_DIR}/plugins)
  target_link_libraries(${name}_core PUBLIC vlmcommon)

  add_library(${name} MODULE ${CMAKE_CURRENT_SOURCE_DIR}/module.cpp)
  vlm_target_defaults(${name} HIDDEN)
  target_link_libraries(${name} PRIVATE ${name}_core)
  set(exports ${PROJECT_SOURCE_DIR}/cmake/plugin_exports.map)
  target_link_options(${name} PRIVATE -Wl,--version-script=${exports})
  # Installed plug-ins find the runtime library two folders up (lib/vlm/plugins -> lib).
  file(RELATIVE_PATH to_libdir ${CMAKE_INSTALL_FULL_LIBDIR}/vlm/plugins ${CMAKE_INSTALL_FULL_LIBDIR})
  set_target_properties(${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${VLM_PLUGIN_DIR}
                                           LINK_DEPENDS ${exports}
                                           INSTALL_RPATH "$ORIGIN/${to_libdir}")
  install(TARGETS ${name} LIBRARY DESTINATION ${VLM_INSTALL_PLUGINDIR})
  set_property(GLOBAL APPEND PROPERTY VLM_PLUGIN_TARGETS ${name})
endfunction()

# `deliverables` builds what is delivered (vlmhost, its runtime, every plug-in) and nothing
# else; `register_plugins`, one step after it, registers the plug-ins in the build tree's home.
function(vlm_register_plugins)
  get_property(targets GLOBAL PROPERTY VLM_PLUGIN_TARGETS)
  add_custom_target(deliverables)
  add_dependencies(deliverables vlmhost ${targets})
  set(files)
  foreach(t IN LISTS targets)
    list(APPEND files $<TARGET_FILE:${t}>)
  endforeach()
  add_custom_target(register_plugins ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VLM_BUILD_HOME}
    COMMAND ${CMAKE_COMMAND} -E env VLM_HOME=${VLM_BUILD_HOME} $<TARGET_FILE:vlmhost> register ${files}
    COMMENT "Registering the plug-ins in ${VLM_BUILD_HOME}"
    VERBATIM)
  add_dependencies(register_plugins deliverables)
endfunction()
