# Finishes the loopback program's settings with the SHA-256 of the demo
# server's driver tools (cmake -DSERVER=DIR -DSETTINGS=FILE -P ...); the file
# is rewritten only when a pin changed. The driver archive stays unpinned, as
# a build without that pin would be: the end-to-end flows serve a changed
# archive to see what the run makes of its content.
file(SHA256 ${SERVER}/arvelon/zadig-2.4.exe IMU_ZADIG_SHA256)
file(SHA256 ${SERVER}/arvelon/zadig_xp-2.2.exe IMU_ZADIG_XP_SHA256)
set(IMU_DRIVERS_SHA256 "")
configure_file(${SETTINGS}.in ${SETTINGS} @ONLY)
