# Builds the images of every architecture in ARCHITECTURES, and the stick made
# of them, twice from clean trees, the second from a copy of the sources at
# another path (gnu-efi's unpacked packages in deps/ included), and requires
# each pair to be identical byte for byte.
file(REMOVE_RECURSE ${WORK})

# The copy leaves out build trees, outputs and version control, and of what
# the install step fetched, the package lists it fetched it with.
file(GLOB Entries RELATIVE ${SOURCE} ${SOURCE}/* ${SOURCE}/deps/*)
foreach(Entry ${Entries})
  if(NOT Entry MATCHES "^(build.*|out|\\.git|deps|deps/apt-.*)$")
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

BuildImage(${SOURCE} ${WORK}/first)
BuildImage(${WORK}/elsewhere/checkout ${WORK}/second/tree)

set(Images "")
foreach(Arch ${ARCHITECTURES})
  set(Folder "")
  if(NOT Arch STREQUAL "x64")
    set(Folder "${Arch}/")
  endif()
  list(APPEND Images ${Folder}vistrel.efi ${Folder}vistrel-hotkey.efi ${Folder}vistrel-launcher.efi
       ${Folder}vistrel-forms.efi)
endforeach()
# The stick's image and zip, made from those images.
file(GLOB Zips RELATIVE ${WORK}/first ${WORK}/first/vistrel-*.zip)
list(APPEND Images vistrel-stick.img ${Zips})
foreach(Image ${Images})
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/first/${Image} ${WORK}/second/tree/${Image}
                  RESULT_VARIABLE Differs)
  if(Differs)
    message(FATAL_ERROR "the two builds differ: ${WORK}/first/${Image} and ${WORK}/second/tree/${Image}")
  endif()
  file(SHA256 ${WORK}/first/${Image} Digest)
  message(STATUS "${Image}: identical builds, sha256 ${Digest}")
endforeach()
file(REMOVE_RECURSE ${WORK})
