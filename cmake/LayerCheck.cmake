# The layering check: every link between the project's targets and every
# #include "<folder>/..." between its top-level folders must point down the order of layers.
# It runs at configure time, so a wrong arrow stops the configure before anything is built.
#
#   norvik_check_layers(LAYERS <folder>...)
#
# Folders bottom first; folders of equal rank as one element joined by '|' ("payload|scsi").
# A target or file belongs to its top-level folder (platform/linux counts as platform).
# Top-level folders not named are consumers (tests, fuzz, bench, data): they are not checked,
# and no layer may depend on them. Call it after the last add_subdirectory().
#
# The check sees the sources as they were at the last configure: an include added since then is
# caught at the next one.

include_guard(GLOBAL)

function(norvik_check_layers)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "" "LAYERS")
  if(NOT arg_LAYERS OR arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "norvik_check_layers(LAYERS <folder>...): folders bottom first")
  endif()

  _norvik_layers_rank("${arg_LAYERS}" folders faults)
  _norvik_layers_all_targets(targets "${PROJECT_SOURCE_DIR}")
  _norvik_layers_links("${targets}" layered edge_count edge_faults)
  _norvik_layers_cycles("${layered}" cycle_faults)
  _norvik_layers_includes("${folders}" include_count include_faults)

  list(APPEND faults ${edge_faults} ${cycle_faults} ${include_faults})
  if(faults)
    # Indented lines are printed as they are; the rest of the message is reflowed.
    list(TRANSFORM faults PREPEND "  ")
    list(JOIN faults "\n" fault_lines)
    list(JOIN arg_LAYERS " " order)
    message(FATAL_ERROR
      "Dependencies must point down the layers, bottom first: ${order}\n${fault_lines}")
  endif()
  list(LENGTH layered target_count)
  message(STATUS "Layering: ${target_count} targets, ${edge_count} links, "
                 "${include_count} includes checked, all pointing down")
endfunction()

# Gives each folder its rank as _norvik_rank_<folder> in the caller's scope (bottom 0); returns
# the folders in one flat list. A named folder that does not exist is a fault, so that a renamed
# folder cannot drop out of the check unnoticed.
function(_norvik_layers_rank layers out_folders out_faults)
  set(rank 0)
  set(folders "")
  set(faults "")
  foreach(layer IN LISTS layers)
    string(REPLACE "|" ";" equals "${layer}")
    foreach(folder IN LISTS equals)
      if(NOT IS_DIRECTORY "${PROJECT_SOURCE_DIR}/${folder}")
        list(APPEND faults "layering: no folder ${folder}")
      elseif(folder IN_LIST folders)
        list(APPEND faults "layering: folder ${folder} named twice")
      endif()
      list(APPEND folders "${folder}")
      set(_norvik_rank_${folder} ${rank} PARENT_SCOPE)
    endforeach()
    math(EXPR rank "${rank} + 1")
  endforeach()
  set(${out_folders} "${folders}" PARENT_SCOPE)
  set(${out_faults} "${faults}" PARENT_SCOPE)
endfunction()

# Every target defined under dir, its subdirectories included.
function(_norvik_layers_all_targets out dir)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    _norvik_layers_all_targets(subdir_targets "${subdir}")
    list(APPEND targets ${subdir_targets})
  endforeach()
  set(${out} "${targets}" PARENT_SCOPE)
endfunction()

# The top-level folder that holds path: "." for the project's own directory, empty outside it.
function(_norvik_layers_folder out path)
  file(RELATIVE_PATH relative "${PROJECT_SOURCE_DIR}" "${path}")
  if(relative MATCHES "^\\.\\.")
    set(relative "")
  elseif(relative STREQUAL "")
    set(relative ".")
  endif()
  string(REGEX REPLACE "/.*" "" folder "${relative}")
  set(${out} "${folder}" PARENT_SCOPE)
endfunction()

# True when a layer in folder from may not depend on folder to: to is ranked higher, or is a
# consumer that no layer may reach.
function(_norvik_layers_upward out from to)
  if(NOT DEFINED _norvik_rank_${to} OR _norvik_rank_${to} GREATER _norvik_rank_${from})
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# The project's own targets that target links, directly or through its interface. Qt, GTest,
# Threads and other imported targets, targets from outside the source tree, plain library files
# and generator expressions are not the project's layers and are left out.
function(_norvik_layers_dependencies out target)
  set(dependencies "")
  foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
    get_target_property(libraries ${target} ${property})
    foreach(library IN LISTS libraries)
      # A static library's private links reach its users as $<LINK_ONLY:...>: still a link.
      string(REGEX REPLACE "^\\$<LINK_ONLY:([^$<>]+)>$" "\\1" library "${library}")
      # "::@(...)" marks links made from another directory; what it wraps is listed on its own.
      if(library MATCHES "[$<>]|^::@" OR NOT TARGET "${library}")
        continue()
      endif()
      get_target_property(aliased ${library} ALIASED_TARGET)
      if(aliased)
        set(library ${aliased})
      endif()
      get_target_property(imported ${library} IMPORTED)
      get_target_property(source_dir ${library} SOURCE_DIR)
      _norvik_layers_folder(folder "${source_dir}")
      if(NOT imported AND folder)
        list(APPEND dependencies ${library})
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES dependencies)
  set(${out} "${dependencies}" PARENT_SCOPE)
endfunction()

# Checks the links of every target in a layer. Returns those targets (sorted, so that reports
# come in the same order every time) and the number of links; leaves each target's links in
# _norvik_links_<target> in the caller's scope for the cycle search.
function(_norvik_layers_links targets out_layered out_count out_faults)
  set(layered "")
  set(count 0)
  set(faults "")
  list(SORT targets)
  foreach(target IN LISTS targets)
    get_target_property(source_dir ${target} SOURCE_DIR)
    _norvik_layers_folder(folder "${source_dir}")
    if(NOT DEFINED _norvik_rank_${folder})
      continue()
    endif()
    list(APPEND layered ${target})
    _norvik_layers_dependencies(dependencies ${target})
    set(_norvik_links_${target} "${dependencies}" PARENT_SCOPE)
    foreach(dependency IN LISTS dependencies)
      math(EXPR count "${count} + 1")
      get_target_property(dependency_dir ${dependency} SOURCE_DIR)
      _norvik_layers_folder(dependency_folder "${dependency_dir}")
      _norvik_layers_upward(upward ${folder} ${dependency_folder})
      if(upward)
        list(APPEND faults
          "layering: upward edge ${folder}/${target} -> ${dependency_folder}/${dependency}")
      endif()
    endforeach()
  endforeach()
  set(${out_layered} "${layered}" PARENT_SCOPE)
  set(${out_count} ${count} PARENT_SCOPE)
  set(${out_faults} "${faults}" PARENT_SCOPE)
endfunction()

# Cycles among the layers' targets, of any length and within one folder too: a downward order of
# folders says nothing about two libraries of the same folder that link each other.
function(_norvik_layers_cycles targets out_faults)
  set_property(GLOBAL PROPERTY _norvik_layers_path "")
  set_property(GLOBAL PROPERTY _norvik_layers_cycles "")
  foreach(target IN LISTS targets)
    set_property(GLOBAL PROPERTY _norvik_layers_state_${target} "")
  endforeach()
  foreach(target IN LISTS targets)
    get_property(state GLOBAL PROPERTY _norvik_layers_state_${target})
    if(NOT state)
      _norvik_layers_visit(${target})
    endif()
  endforeach()
  get_property(faults GLOBAL PROPERTY _norvik_layers_cycles)
  set(${out_faults} "${faults}" PARENT_SCOPE)
endfunction()

# Depth-first search. A target is "open" while the search is below it, so a link back to an open
# target closes a cycle: the path from that target down to here. The state lives in global
# properties because the recursion cannot hand variables back up more than one level.
function(_norvik_layers_visit target)
  set_property(GLOBAL PROPERTY _norvik_layers_state_${target} open)
  set_property(GLOBAL APPEND PROPERTY _norvik_layers_path ${target})
  foreach(dependency IN LISTS _norvik_links_${target})
    get_property(state GLOBAL PROPERTY _norvik_layers_state_${dependency})
    if(state STREQUAL "open")
      get_property(path GLOBAL PROPERTY _norvik_layers_path)
      list(FIND path ${dependency} start)
      list(SUBLIST path ${start} -1 cycle)
      _norvik_layers_cycle_text(cycle_text "${cycle}")
      set_property(GLOBAL APPEND PROPERTY _norvik_layers_cycles "layering: cycle ${cycle_text}")
    elseif(NOT state)
      _norvik_layers_visit(${dependency})
    endif()
  endforeach()
  get_property(path GLOBAL PROPERTY _norvik_layers_path)
  list(POP_BACK path)
  set_property(GLOBAL PROPERTY _norvik_layers_path "${path}")
  set_property(GLOBAL PROPERTY _norvik_layers_state_${target} done)
endfunction()

# "a -> b -> a", started at its first target by name: the same cycle reads the same whichever
# target the search entered it by.
function(_norvik_layers_cycle_text out cycle)
  set(first_by_name "${cycle}")
  list(SORT first_by_name)
  list(GET first_by_name 0 first)
  list(FIND cycle ${first} start)
  list(SUBLIST cycle ${start} -1 tail)
  list(SUBLIST cycle 0 ${start} head)
  set(ring ${tail} ${head} ${first})
  list(JOIN ring " -> " text)
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Checks every #include "<folder>/..." in the layers' sources. Includes that do not start with a
# top-level folder (generated headers, paths relative to the including file) are not counted.
function(_norvik_layers_includes folders out_count out_faults)
  set(count 0)
  set(faults "")
  foreach(folder IN LISTS folders)
    file(GLOB_RECURSE sources
      "${PROJECT_SOURCE_DIR}/${folder}/*.h" "${PROJECT_SOURCE_DIR}/${folder}/*.cpp")
    list(SORT sources)
    foreach(source IN LISTS sources)
      file(RELATIVE_PATH source_name "${PROJECT_SOURCE_DIR}" "${source}")
      file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"/]+/")
      foreach(line IN LISTS lines)
        string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*" "\\1" header "${line}")
        string(REGEX REPLACE "/.*" "" header_folder "${header}")
        if(NOT IS_DIRECTORY "${PROJECT_SOURCE_DIR}/${header_folder}")
          continue()
        endif()
        math(EXPR count "${count} + 1")
        _norvik_layers_upward(upward ${folder} ${header_folder})
        if(upward)
          list(APPEND faults "layering: upward include ${source_name} includes ${header}")
        endif()
      endforeach()
    endforeach()
  endforeach()
  set(${out_count} ${count} PARENT_SCOPE)
  set(${out_faults} "${faults}" PARENT_SCOPE)
endfunction()
