# Builds the image twice from clean trees, the second from a copy of the
# sources at another path, and requires the two to be identical byte for byte.
file(REMOVE_RECURSE ${WORK})

# The copy leaves out build trees, outputs and version control.
file(GLOB Entries RELATIVE ${SOURCE} ${SOURCE}/*)
foreach(Entry ${Entries})
  if(NOT Entry MATCHES "^(build.*|out|\\.git)$")
    file(COPY ${SOURCE}/${Entry} DESTINATION ${WORK}/elsewhere/checkout)
  endif()
endforeach()

function(BuildImage Source Tree)
  foreach(Step "-S;${Source};-B;${Tree};-DCMAKE_BUILD_TYPE=Release;-DVISTREL_HOST_TESTS=OFF"
               "--build;${Tree};--target;vistrel_efi;-j;2")
    execute_process(COMMAND ${CMAKE_COMMAND} ${Step} RESULT_VARIABLE Failed OUTPUT_VARIABLE Log ERROR_VARIABLE Log)
    if(Failed)
      message(FATAL_ERROR "build in ${Tree} failed:\n${Log}")
    endif()
  endforeach()
endfunction()

BuildImage(${SOURCE} ${WORK}/first)
BuildImage(${WORK}/elsewhere/checkout ${WORK}/second/tree)

execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/first/vistrel.efi ${WORK}/second/tree/vistrel.efi
                RESULT_VARIABLE Differs)
if(Differs)
  message(FATAL_ERROR "the two builds differ: ${WORK}/first/vistrel.efi and ${WORK}/second/tree/vistrel.efi")
endif()
file(SHA256 ${WORK}/first/vistrel.efi Digest)
message(STATUS "identical builds, sha256 ${Digest}")
file(REMOVE_RECURSE ${WORK})
