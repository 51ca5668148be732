# Builds the images of every architecture (IMAGES, relative to the build
# folder), the stick made of them and the release files (RELEASE), again
# from a clean tree: a copy of the sources at another path (gnu-efi's
# unpacked packages in deps/ included, version control left out), built
# elsewhere. Each must be identical byte for byte to what the build FIRST
# made from the checkout.
file(REMOVE_RECURSE ${WORK})

# The copy leaves out build trees, outputs (release files included) and
# version control, and of what the install step fetched, the package lists it
# fetched it with.
file(GLOB Entries RELATIVE ${SOURCE} ${SOURCE}/* ${SOURCE}/deps/*)
foreach(Entry ${Entries})
  if(NOT Entry MATCHES "^(build.*|out|dist|\\.git|deps|deps/apt-.*)$")
    get_filename_component(Folder ${Entry} DIRECTORY)
    file(COPY ${SOURCE}/${Entry} DESTINATION ${WORK}/elsewhere/checkout/${Folder})
  endif()
endforeach()

function(BuildImage Source Tree)
  foreach(Step "-S;${Source};-B;${Tree};-DCMAKE_BUILD_TYPE=Release;-DVISTREL_HOST_TESTS=OFF"
               "--build;${Tree};-j;2")
    execute_process(COMMAND ${CMAKE_COMMAND} ${Step} RESULT_VARIABLE Failed OUTPUT_VARIABLE Log ERROR_VARIABLE Log)
    if(Failed)
      message(FATAL_ERROR "build in ${Tree} failed:\n${Log}")
    endif()
  endforeach()
endfunction()

BuildImage(${WORK}/elsewhere/checkout ${WORK}/second/tree)

# The stick's image and zip, made from those images, and the release files
# made from those.
foreach(Image ${IMAGES} vistrel-stick.img ${ZIP} ${RELEASE})
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${FIRST}/${Image} ${WORK}/second/tree/${Image}
                  RESULT_VARIABLE Differs)
  if(Differs)
    message(FATAL_ERROR "the two builds differ: ${FIRST}/${Image} and ${WORK}/second/tree/${Image}")
  endif()
  file(SHA256 ${FIRST}/${Image} Digest)
  message(STATUS "${Image}: identical builds, sha256 ${Digest}")
endforeach()
file(REMOVE_RECURSE ${WORK})
