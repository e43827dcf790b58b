# The SHA-256 that each fixed-version download must have, fixed when the
# program is built: 64 hexadecimal digits, or empty for no check. A value of
# any other form stops the configure step, so that a release is never built
# with a pin that no file can match. Kept lower case for the settings header.
foreach(pin IN ITEMS IMU_ZADIG_SHA256 IMU_ZADIG_XP_SHA256 IMU_DRIVERS_SHA256)
  set(${pin} "" CACHE STRING "SHA-256 of a fixed-version download: 64 hexadecimal digits, or empty for no check")
  string(LENGTH "${${pin}}" length)
  if(NOT "${${pin}}" STREQUAL "" AND (NOT length EQUAL 64 OR NOT "${${pin}}" MATCHES "^[0-9A-Fa-f]+$"))
    message(FATAL_ERROR "${pin} must be 64 hexadecimal digits or empty, not \"${${pin}}\"")
  endif()
  string(TOLOWER "${${pin}}" ${pin})
endforeach()
