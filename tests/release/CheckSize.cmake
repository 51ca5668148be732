# Fails when an image reaches LIMIT bytes (64 KiB: it must fit any boot stick
# and any firmware's loader without thought).
foreach(Image ${EFI})
  file(SIZE ${Image} Size)
  math(EXPR Margin "${LIMIT} - ${Size}")
  if(Size GREATER_EQUAL LIMIT)
    message(FATAL_ERROR "${Image} is ${Size} bytes, over the ${LIMIT}-byte limit")
  endif()
  message(STATUS "${Image}: ${Size} bytes, ${Margin} below the limit")
endforeach()
