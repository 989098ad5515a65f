# Each target sees the headers of its own folder and of the targets it
# links, and no others: there is no project-wide include path.
#
#   lrs_public_headers(TARGET [FOLDER])
#
# FOLDER (default: the folder of the calling CMakeLists.txt, relative to the
# project) is offered under the spelling the sources use, e.g.
# #include "tarkon/document/krv02_doc.h": the build tree gets
# public/tarkon_document/tarkon/document, a symbolic link to the source
# folder, and public/tarkon_document is TARGET's include directory. A library
# passes it on to whatever links it (PUBLIC); a program keeps it (PRIVATE).
# Several targets of one folder share one directory.
function(lrs_public_headers target)
  if(ARGC GREATER 1)
    set(folder ${ARGV1})
  else()
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  if(NOT IS_DIRECTORY ${PROJECT_SOURCE_DIR}/${folder})
    message(FATAL_ERROR "lrs_public_headers(${target}): no folder ${folder}")
  endif()
  string(REPLACE "/" "_" name ${folder})
  set(root ${PROJECT_BINARY_DIR}/public/${name})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)

  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    target_include_directories(${target} PRIVATE ${root})
  elseif(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
