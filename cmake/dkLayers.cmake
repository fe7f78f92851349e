# The include rule of ARCHITECTURE.md, checked: no source or header of the library includes a
# header of a higher layer than its own, except the upward includes ARCHITECTURE.md lists.
#
#   cmake -DDK_ROOT=<repository> -P cmake/dkLayers.cmake
#
# The layers and their ranks are read from the table in ARCHITECTURE.md (rows "| rank | `src/...`
# |"), the allowed upward includes from its rows "| `src/...` | `include/dk/...` |". A file under
# src/ takes the rank of the deepest ranked folder that holds it; a file in no ranked folder is an
# error, so a new folder gets its rank in ARCHITECTURE.md before it gets code. A public header
# include/dk/X.hpp takes the rank of the folder of its source X.cpp; a header without a source of
# its own (dk.hpp, dkExport.hpp, the protocol codes ...) stands at the rank of the highest header
# it includes. DK_LAYERS_PLANT=<file>:<header> adds one include before checking, so a test can
# make sure a wrong include is caught.

if(NOT DK_ROOT)
  message(FATAL_ERROR "dkLayers: set DK_ROOT to the repository")
endif()

# --- the rule, from ARCHITECTURE.md -----------------------------------------------------------
file(STRINGS "${DK_ROOT}/ARCHITECTURE.md" rows REGEX "^\\|")
set(folders "")
set(allowed "")
foreach(row IN LISTS rows)
  if(row MATCHES "^\\| *([0-9]+) *\\| *`(src/[^`]*[^/`])/?` *\\|")
    set(folder "${CMAKE_MATCH_2}")
    set(rank "${CMAKE_MATCH_1}")
    foreach(other IN LISTS folders)
      if(rank_${other} EQUAL rank)
        message(FATAL_ERROR "dkLayers: ${folder} and ${other} share rank ${rank} in ARCHITECTURE.md")
      endif()
    endforeach()
    list(APPEND folders "${folder}")
    set(rank_${folder} ${rank})
  elseif(row MATCHES "^\\| *`(src/[^`]+)` *\\| *`include/(dk/[^`]+)` *\\|")
    list(APPEND allowed "${CMAKE_MATCH_1}>${CMAKE_MATCH_2}")
  endif()
endforeach()
list(LENGTH folders folderCount)
if(folderCount LESS 2)
  message(FATAL_ERROR "dkLayers: no layer table found in ARCHITECTURE.md")
endif()

# --- every file and what it includes ----------------------------------------------------------
file(GLOB_RECURSE sources RELATIVE "${DK_ROOT}" "${DK_ROOT}/src/*.cpp" "${DK_ROOT}/src/*.hpp")
file(GLOB headers RELATIVE "${DK_ROOT}" "${DK_ROOT}/include/dk/*.hpp")
set(problems "")

# The project files one file includes, as paths from DK_ROOT (<dk/X> from include/, "a/b" from
# src/ or the file's own folder); system and library headers are left out.
function(dk_includes file out)
  file(STRINGS "${DK_ROOT}/${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  if(DK_LAYERS_PLANT MATCHES "^${file}:(.+)$")
    list(APPEND lines "#include <${CMAKE_MATCH_1}>")
  endif()
  get_filename_component(dir "${file}" DIRECTORY)
  set(found "")
  foreach(line IN LISTS lines)
    if(line MATCHES "#[ \t]*include[ \t]*<(dk/[^>]+)>")
      if(EXISTS "${DK_ROOT}/include/${CMAKE_MATCH_1}")
        list(APPEND found "include/${CMAKE_MATCH_1}")
      endif()
    elseif(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      if(EXISTS "${DK_ROOT}/src/${CMAKE_MATCH_1}")
        list(APPEND found "src/${CMAKE_MATCH_1}")
      elseif(EXISTS "${DK_ROOT}/${dir}/${CMAKE_MATCH_1}")
        list(APPEND found "${dir}/${CMAKE_MATCH_1}")
      endif()
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

# The rank of a file under src/: that of the deepest ranked folder holding it, 0 when none does.
function(dk_source_rank file out)
  set(best 0)
  set(bestLength 0)
  foreach(folder IN LISTS folders)
    string(LENGTH "${folder}" length)
    string(FIND "${file}" "${folder}/" at)
    if(at EQUAL 0 AND length GREATER bestLength)
      set(best ${rank_${folder}})
      set(bestLength ${length})
    endif()
  endforeach()
  set(${out} ${best} PARENT_SCOPE)
endfunction()

# Ranks of the sources, by path and by the file name a public header would share.
foreach(file IN LISTS sources)
  dk_source_rank("${file}" rank)
  if(rank EQUAL 0)
    string(APPEND problems "  ${file} lies in no folder that ARCHITECTURE.md ranks\n")
  endif()
  set(rankOf_${file} ${rank})
  if(file MATCHES "([^/]+)\\.cpp$")
    set(familyRank_${CMAKE_MATCH_1} ${rank})
  endif()
endforeach()

# Ranks of the public headers: their source's, or else the highest of what they include.
# Headers without a source are settled in rounds, as each may include another such header.
set(open "")
foreach(file IN LISTS headers)
  get_filename_component(name "${file}" NAME_WE)
  if(DEFINED familyRank_${name})
    set(rankOf_${file} ${familyRank_${name}})
  else()
    list(APPEND open "${file}")
  endif()
endforeach()
while(open)
  set(still "")
  foreach(file IN LISTS open)
    dk_includes("${file}" included)
    set(rank 0)
    set(ready TRUE)
    foreach(inc IN LISTS included)
      if(NOT DEFINED rankOf_${inc})
        set(ready FALSE)
      elseif(rankOf_${inc} GREATER rank)
        set(rank ${rankOf_${inc}})
      endif()
    endforeach()
    if(ready)
      set(rankOf_${file} ${rank})
    else()
      list(APPEND still "${file}")
    endif()
  endforeach()
  if(still STREQUAL open)
    message(FATAL_ERROR "dkLayers: headers without a source include each other: ${open}")
  endif()
  set(open "${still}")
endwhile()

# Folder name of a rank, for the report.
function(dk_folder_of rank out)
  set(name "a header without a source")
  foreach(folder IN LISTS folders)
    if(rank_${folder} EQUAL rank)
      set(name "${folder}")
    endif()
  endforeach()
  set(${out} "${name}" PARENT_SCOPE)
endfunction()

# --- the check --------------------------------------------------------------------------------
foreach(file IN LISTS sources headers)
  dk_includes("${file}" included)
  foreach(inc IN LISTS included)
    if(NOT DEFINED rankOf_${inc} OR NOT DEFINED rankOf_${file})
      continue()
    endif()
    if(rankOf_${inc} GREATER rankOf_${file})
      string(REGEX REPLACE "^include/" "" shortInc "${inc}")
      list(FIND allowed "${file}>${shortInc}" isAllowed)
      if(isAllowed EQUAL -1)
        dk_folder_of(${rankOf_${file}} from)
        dk_folder_of(${rankOf_${inc}} to)
        string(APPEND problems
          "  ${file} (layer ${rankOf_${file}}, ${from}) includes ${inc} of the higher layer ${rankOf_${inc}} (${to})\n")
      endif()
    endif()
  endforeach()
endforeach()

if(problems)
  message(FATAL_ERROR "dkLayers: the include rule of ARCHITECTURE.md is broken:\n${problems}")
endif()
list(LENGTH sources sourceCount)
list(LENGTH headers headerCount)
message(STATUS "dkLayers: ${sourceCount} sources and ${headerCount} public headers keep to ${folderCount} layers")
