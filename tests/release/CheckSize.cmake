# Fails when an image reaches its limit: EFI and LIMIT are lists of the same
# length, an image and its limit in bytes at each place. Small enough for any
# boot stick and any firmware's loader without thought.
foreach(Image Limit IN ZIP_LISTS EFI LIMIT)
  file(SIZE ${Image} Size)
  math(EXPR Margin "${Limit} - ${Size}")
  if(Size GREATER_EQUAL Limit)
    message(FATAL_ERROR "${Image} is ${Size} bytes, over the ${Limit}-byte limit")
  endif()
  message(STATUS "${Image}: ${Size} bytes, ${Margin} below the limit")
endforeach()
