# Installs the menu entry with Exec= naming the installed program by its
# full path, taken at install time (cmake --install --prefix, or CPack's
# /usr): KDE Plasma's compositor grants the protocols the entry asks for
# (X-KDE-Wayland-Interfaces, X-KDE-DBUS-Restricted-Interfaces) only to the
# program at that exact path. Set before it runs: TERVALO_DESKTOP_SOURCE,
# TERVALO_BINDIR, TERVALO_APPLICATIONS_DIR (both relative to the prefix).

file(READ "${TERVALO_DESKTOP_SOURCE}" entry)
string(REGEX REPLACE "\nExec=[^\n]*" "\nExec=${CMAKE_INSTALL_PREFIX}/${TERVALO_BINDIR}/tervalo_free" entry "${entry}")
get_filename_component(name "${TERVALO_DESKTOP_SOURCE}" NAME)
set(target "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${TERVALO_APPLICATIONS_DIR}/${name}")
message(STATUS "Installing: ${target}")
file(WRITE "${target}" "${entry}")
