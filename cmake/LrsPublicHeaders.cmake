# Each library exposes only its own folder's headers, never the whole
# source tree: the build tree gets one include folder per target, holding a
# link named by the source folder's path from the project root. Code keeps
# writing #include "serial/serial_port.h", and a target sees the folders of
# the targets it links to and no others, so an include that skips a layer
# fails to compile.
#
#   lrs_public_headers(<target> <folder>...)
function(lrs_public_headers target)
  set(dir ${PROJECT_BINARY_DIR}/include/${target})
  foreach(folder IN LISTS ARGN)
    get_filename_component(parent ${dir}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(NOT EXISTS ${dir}/${folder})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${dir}/${folder} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} PUBLIC ${dir})
endfunction()

# The include folder of a target that lrs_public_headers() gave it, for the
# one concession of the layer table: the model folders use the document's
# value helpers and are compiled into its library.
function(lrs_headers_of target out)
  set(${out} ${PROJECT_BINARY_DIR}/include/${target} PARENT_SCOPE)
endfunction()
