# rv_embed_resource(TARGET target NAME name FILE file)
#
# Compiles a file into a C++ byte array registered under NAME, so that CResourceImageSource
# (and CImageDecoder::DecodeResource) finds it at run time. No Qt is involved. The generated
# object is linked straight into every program that links TARGET, so the registration is never
# dropped by the static-library linker. TARGET must link rvimaging (directly or through another
# library).
set(RV_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/EmbedFile.cmake CACHE INTERNAL "")

function(rv_embed_resource)
  cmake_parse_arguments(R "" "TARGET;NAME;FILE" "" ${ARGN})
  if(NOT R_TARGET OR NOT R_NAME OR NOT R_FILE)
    message(FATAL_ERROR "rv_embed_resource needs TARGET, NAME and FILE")
  endif()
  get_filename_component(file ${R_FILE} ABSOLUTE)
  string(MAKE_C_IDENTIFIER "${R_TARGET}_${R_NAME}" id)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/rv_resources/${id}.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${file} -DOUTPUT=${out} -DNAME=${R_NAME} -DID=${id}
            -P ${RV_EMBED_SCRIPT}
    DEPENDS ${file} ${RV_EMBED_SCRIPT}
    COMMENT "Embedding ${R_NAME} from ${R_FILE}"
    VERBATIM)
  get_target_property(type ${R_TARGET} TYPE)
  if(type STREQUAL "EXECUTABLE" OR type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
    target_sources(${R_TARGET} PRIVATE ${out})
  else()
    # A static library would let the linker drop an object nobody references: hand the object
    # to the programs that link the library instead.
    add_library(${id}_res OBJECT ${out})
    target_include_directories(${id}_res PRIVATE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${R_TARGET} INTERFACE $<TARGET_OBJECTS:${id}_res>)
    add_dependencies(${R_TARGET} ${id}_res)
  endif()
endfunction()
