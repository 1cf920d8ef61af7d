# The library's subsystems, each a library of its own (a layer) with explicit edges to the
# layers below it. A layer's sources see the headers of the layer itself and of the layers it
# links, and no others: an include across the layering fails to compile. The headers are
# reached through a folder of links per layer (build/layers/NAME):
#   QuillData/NAME -> include/QuillData/NAME   the public headers
#   NAME           -> src/NAME                 the private ones
# plus FILES, single public headers (relative to include/, or to the generated include/ of the
# build) that belong to no subsystem's folder.
#
#   quilldata_layer(NAME [STATIC] [FILES header...] [LINKS layer...] [SOURCES source...])
#
# An object library by default: the shared library and the test programs link every layer's
# objects (the global property QUILLDATA_LAYERS). STATIC makes a static library that the command
# line links as well (the platform room); such a layer takes only the headers of its links,
# never their objects, which the shared library or the test program brings.
function(quilldata_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "STATIC" "" "SOURCES;LINKS;FILES")
  set(target quilldata_${name})
  set(view ${PROJECT_BINARY_DIR}/layers/${name})
  file(REMOVE_RECURSE ${view})
  file(MAKE_DIRECTORY ${view}/QuillData)
  if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/include/QuillData/${name})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/include/QuillData/${name} ${view}/QuillData/${name} SYMBOLIC)
  endif()
  if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/src/${name})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${name} ${view}/${name} SYMBOLIC)
  endif()
  foreach(header ${arg_FILES})
    set(original ${PROJECT_SOURCE_DIR}/include/${header})
    if(NOT EXISTS ${original})
      set(original ${PROJECT_BINARY_DIR}/include/${header})
    endif()
    get_filename_component(folder ${view}/${header} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    file(CREATE_LINK ${original} ${view}/${header} SYMBOLIC)
  endforeach()

  if(arg_STATIC)
    add_library(${target} STATIC ${arg_SOURCES})
    foreach(link ${arg_LINKS})
      target_include_directories(${target} PRIVATE
        $<TARGET_PROPERTY:quilldata_${link},INTERFACE_INCLUDE_DIRECTORIES>)
    endforeach()
    if(WIN32)
      # Linked into the command line as well, beside the DLL: it imports nothing by declaration.
      target_compile_definitions(${target} PRIVATE QUILLDATA_OBJECTS)
    endif()
  else()
    add_library(${target} OBJECT ${arg_SOURCES})
    foreach(link ${arg_LINKS})
      target_link_libraries(${target} PUBLIC quilldata_${link})
    endforeach()
    if(WIN32)
      # The objects export what the public headers mark (QuillData/Export.h); the test
      # programs that link them directly import nothing.
      target_compile_definitions(${target} PRIVATE QUILLDATA_BUILDING INTERFACE QUILLDATA_OBJECTS)
    endif()
    set_property(GLOBAL APPEND PROPERTY QUILLDATA_LAYERS ${target})
  endif()
  target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${view}>
                                       PRIVATE ${UTFCPP_INCLUDE_DIR})
  # Only the public API leaves the shared library (QuillData/Export.h).
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden C_VISIBILITY_PRESET hidden)
endfunction()
