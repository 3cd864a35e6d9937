# The layers of the house, checked at the end of configuration:
# - core and model libraries never link Qt Gui, Widgets or PrintSupport, nor
#   anything built in apps/ (the CLI, the simulator and the benchmarks use
#   them headless);
# - every UI library links its model;
# - the report plugin is loaded at run time and linked by nobody.
set(VANTA_CORE_LIBRARIES "" CACHE INTERNAL "")

function(vanta_core_library target)
  set(VANTA_CORE_LIBRARIES ${VANTA_CORE_LIBRARIES} ${target} CACHE INTERNAL "")
endfunction()

# Models of features still to come are checked as soon as they exist.
set(VANTA_MODEL_LIBRARIES vanta_outside vanta_vocab vanta_protocol vanta_params vanta_services vanta_store vanta_live)
# UI library -> the model it draws.
set(VANTA_UI_MODELS
  "vanta_params_ui=vanta_params"
  "vanta_services_ui=vanta_services"
  "vanta_charts=vanta_live"
  "vanta_visual_ui=vanta_live"
  "vanta_workspace=vanta_protocol")
set(VANTA_APP_TARGETS vanta-cli vanta-sim vanta-host vanta-render)

function(_vanta_collect_links target out)
  set(seen ${${out}})
  get_target_property(libs ${target} LINK_LIBRARIES)
  if(NOT libs)
    set(${out} ${seen} PARENT_SCOPE)
    return()
  endif()
  foreach(lib IN LISTS libs)
    if(lib IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${lib})
    if(TARGET ${lib} AND lib MATCHES "^vanta_")
      _vanta_collect_links(${lib} seen)
    endif()
  endforeach()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

function(_vanta_all_targets dir out)
  get_property(here DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subs)
    _vanta_all_targets(${sub} more)
    list(APPEND here ${more})
  endforeach()
  set(${out} ${here} PARENT_SCOPE)
endfunction()

function(vanta_check_layers)
  set(models ${VANTA_CORE_LIBRARIES} ${VANTA_MODEL_LIBRARIES})
  list(REMOVE_DUPLICATES models)
  foreach(target IN LISTS models)
    if(NOT TARGET ${target})
      continue()
    endif()
    set(all "")
    _vanta_collect_links(${target} all)
    foreach(lib IN LISTS all)
      if(lib MATCHES "Widgets|Gui|PrintSupport")
        message(FATAL_ERROR "Model library ${target} must not link ${lib}")
      endif()
      if(lib IN_LIST VANTA_APP_TARGETS)
        message(FATAL_ERROR "Model library ${target} must not link the program ${lib}")
      endif()
    endforeach()
  endforeach()
  foreach(pair IN LISTS VANTA_UI_MODELS)
    string(REPLACE "=" ";" pair "${pair}")
    list(GET pair 0 ui)
    list(GET pair 1 model)
    if(TARGET ${ui})
      set(all "")
      _vanta_collect_links(${ui} all)
      if(NOT model IN_LIST all)
        message(FATAL_ERROR "UI library ${ui} must link its model ${model}")
      endif()
    endif()
  endforeach()
  _vanta_all_targets(${CMAKE_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(libs ${target} LINK_LIBRARIES)
    if(libs AND "vanta_report" IN_LIST libs)
      message(FATAL_ERROR "${target} links the report plugin vanta_report; it is loaded at run time")
    endif()
  endforeach()
endfunction()
