# `cpack -G DEB` in the build directory turns an install into a Debian package.
set(CPACK_PACKAGE_NAME ostrel)
set(CPACK_PACKAGE_VENDOR "The Ostrel! developers")
set(CPACK_PACKAGE_CONTACT "Ostrel! developers <dev@ostrel.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "stopwatch, clock and one-shot alarm")
# Debian shows the description as written, in 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Ostrel! is a small window that times how long something takes, shows the\n\
time and the date, and calls you back with a window on top of the others\n\
and a cuckoo at a time you choose.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY ostrel)
set(CPACK_STRIP_FILES ON)

# qt_standard_project_setup() gives installed programs a RUNPATH of $ORIGIN/../lib for a private
# prefix. Installed in /usr that is the system library directory, which the loader searches anyway,
# and Debian's checks reject a package that names it.
set_target_properties(ostrel PROPERTIES INSTALL_RPATH "")

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Ostrel! developers <dev@ostrel.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt and C++ libraries come from dpkg-shlibdeps (Debian ships Qt's X11 platform plugin and the
# audio backends with them). What it cannot see are the faces the layout was measured with: the
# display face of the clock boxes and the dialog face of the captions.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-sil-charis, fonts-liberation2 | fonts-liberation")
# Without a sound server the alarm still opens its window, silently.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse")

include(CPack)
