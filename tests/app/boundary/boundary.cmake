# Builds the two probes in the views' include context: the allowed one must build, the one
# including a service header must fail because the header cannot be found.
function(build_probe target result output)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${target}
                  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(${result} ${code} PARENT_SCOPE)
  set(${output} "${out}" PARENT_SCOPE)
endfunction()

build_probe(ui_boundary_allowed allowed allowedOutput)
if(NOT allowed EQUAL 0)
  message(FATAL_ERROR "The allowed headers do not build in the views' context:\n${allowedOutput}")
endif()
build_probe(ui_boundary_service service serviceOutput)
if(service EQUAL 0)
  message(FATAL_ERROR "A view including services/TrashService.h built")
endif()
if(NOT serviceOutput MATCHES "services/TrashService.h: No such file")
  message(FATAL_ERROR "The service probe failed for another reason:\n${serviceOutput}")
endif()
string(REGEX MATCH "[^\n]*services/TrashService.h: No such file[^\n]*" line "${serviceOutput}")
message(STATUS "As expected: ${line}")
