# Fails when a source file includes a header of a layer above its own.
#   cmake -DROOT=<source folder> -P IncludeDirections.cmake
#
# The layers, bottom up: the shared headers of platform/, text, files, the SQL
# engine, the content index and the Jet import's client side (the reader
# program beside them), collections; the widget-free cores of the windows;
# the widgets and the web view; the window model; the windows; the program
# start. Each folder names the folders it may include from; its own is
# always allowed.

set(base "platform")
set(engine ${base} platform/text platform/files platform/sql platform/index platform/jet platform/collection)
set(cores app/core search/core criteria/core)

set(allowed_platform/text ${base})
# The build-time maker of the variant table: system headers only.
set(allowed_platform/text/generate "")
set(allowed_platform/files ${base} platform/text)
set(allowed_platform/sql ${base} platform/text)
set(allowed_platform/index ${base} platform/text platform/sql)
set(allowed_platform/jet ${base} platform/text platform/files platform/sql)
set(allowed_platform/jet/reader ${base} platform/text platform/jet)
set(allowed_platform/collection ${engine})
set(allowed_app/core ${engine})
set(allowed_search/core ${engine})
set(allowed_criteria/core ${engine})
set(allowed_platform/ui ${engine} ${cores})
set(allowed_app/forms ${engine} ${cores} platform/ui)
set(allowed_app/startscreen ${engine} ${cores} platform/ui app/forms)
set(allowed_criteria ${engine} ${cores} platform/ui app/forms)
# The search window shows and unloads the start screen and opens the
# criteria editor, as the design asks.
set(allowed_search ${engine} ${cores} platform/ui app/forms app/startscreen criteria)
set(allowed_app ${engine} ${cores} platform/ui app/forms app/startscreen criteria search)
set(allowed_platform ${base})

set(failures "")
file(GLOB_RECURSE sources RELATIVE ${ROOT}
  ${ROOT}/platform/*.cpp ${ROOT}/platform/*.h ${ROOT}/app/*.cpp ${ROOT}/app/*.h
  ${ROOT}/search/*.cpp ${ROOT}/search/*.h ${ROOT}/criteria/*.cpp ${ROOT}/criteria/*.h)
foreach(source ${sources})
  get_filename_component(folder ${source} DIRECTORY)
  if(NOT DEFINED allowed_${folder})
    string(APPEND failures "  ${source}: its folder ${folder} has no place among the layers\n")
    continue()
  endif()
  file(STRINGS ${ROOT}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[^\"]+/[^\"/]+\"")
  foreach(line ${includes})
    string(REGEX REPLACE "^[^\"]*\"([^\"]+)/[^\"/]+\".*$" "\\1" included "${line}")
    if(included STREQUAL folder)
      continue()
    endif()
    list(FIND allowed_${folder} ${included} at)
    if(at EQUAL -1)
      string(APPEND failures "  ${source} includes ${included}/, which lies above ${folder}/\n")
    endif()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "Includes against the direction of the layers:\n${failures}")
endif()
