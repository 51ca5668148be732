# Fails when the image reaches LIMIT bytes (64 KiB: it must fit any boot stick
# and any firmware's loader without thought).
file(SIZE ${EFI} Size)
math(EXPR Margin "${LIMIT} - ${Size}")
if(Size GREATER_EQUAL LIMIT)
  message(FATAL_ERROR "${EFI} is ${Size} bytes, over the ${LIMIT}-byte limit")
endif()
message(STATUS "${EFI}: ${Size} bytes, ${Margin} below the limit")
