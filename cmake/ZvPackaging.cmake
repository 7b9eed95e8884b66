# `make package`: one Debian package of the installed tree, the plug-in
# folder (plugins/: the plug-in, the memory library and, where the build has
# it, the classification library with its data) and the reference host
# (bin/orq8-host, which finds the folder as ../plugins).
#
# Installed under /opt/zelvani-audio-analytics; run
#   /opt/zelvani-audio-analytics/bin/orq8-host --enable all FILE.wav
# The package is built from whatever `cmake --install` lays out, so the
# stand-in library of the tests (never installed) cannot slip into it.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "zelvani-audio-analytics")
set(CPACK_PACKAGE_VENDOR "ORQ")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Audio analytics detector plug-in with its classification library and the orq8-host command-line host")
set(CPACK_PACKAGE_CONTACT "ORQ audio analytics <audio-analytics@orq.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX "/opt/zelvani-audio-analytics")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "amd64")
set(CPACK_DEBIAN_PACKAGE_SECTION "sound")
# Named by hand: the plug-in's private libraries are not from Debian's
# archive, which the automatic dependency scan cannot resolve.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libc6 (>= 2.36), libstdc++6 (>= 12), libgcc-s1, libuuid1, libsndfile1, libsamplerate0, libcairo2")
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/package")
set(CPACK_STRIP_FILES ON)
include(CPack)
