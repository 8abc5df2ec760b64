# vlm_add_plugin(NAME SOURCES...)
#
# Builds a deliverable twice from the same code: NAME_core, a static library that tests link,
# and NAME, the shared library the host loads (plugins/libNAME.so), whose module.cpp defines
# the four entry points.
function(vlm_add_plugin name)
  set(sources ${ARGN})
  list(FILTER sources EXCLUDE REGEX "module\\.cpp$")
  add_library(${name}_core STATIC ${sources})
  target_include_directories(${name}_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name}_core PUBLIC vlmcommon)

  add_library(${name} MODULE ${CMAKE_CURRENT_SOURCE_DIR}/module.cpp)
  target_link_libraries(${name} PRIVATE ${name}_core)
  set_target_properties(${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${VLM_PLUGIN_DIR})
  set_property(GLOBAL APPEND PROPERTY VLM_PLUGIN_TARGETS ${name})
endfunction()

# One step after every plug-in is built: register them all in the build tree's home.
function(vlm_register_plugins)
  get_property(targets GLOBAL PROPERTY VLM_PLUGIN_TARGETS)
  set(files)
  foreach(t IN LISTS targets)
    list(APPEND files $<TARGET_FILE:${t}>)
  endforeach()
  add_custom_target(register_plugins ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VLM_BUILD_HOME}
    COMMAND ${CMAKE_COMMAND} -E env VLM_HOME=${VLM_BUILD_HOME} $<TARGET_FILE:vlmhost> register ${files}
    DEPENDS vlmhost ${targets}
    COMMENT "Registering the plug-ins in ${VLM_BUILD_HOME}"
    VERBATIM)
endfunction()
