# Installing: cmake --install build --prefix P, and the .deb (scripts/package.sh),
# into the folders of GNUInstallDirs:
#   bin/vintrel
#   lib/vintrel/libvintrelscan.so      where the program looks (VINTREL_LIBRARY_DIR)
#   lib/vintrel/vintrel-sane           the helper the library runs SANE in
#   lib/vintrel/libvintrelheif.so      HEIF pictures through libheif, loaded on the first
#   share/vintrel/readme.htm           the help document (VINTREL_DATA_DIR)
#   share/applications, icons/hicolor, metainfo, mime/packages, doc/vintrel
set(app_id org.example.Vintrel)
set(share ${CMAKE_INSTALL_DATADIR})
install(TARGETS vintrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS vintrelscan LIBRARY DESTINATION ${VINTREL_LIBRARY_DIR} NAMELINK_SKIP)
install(TARGETS vintrelheif LIBRARY DESTINATION ${VINTREL_LIBRARY_DIR})
install(TARGETS vintrel-sane RUNTIME DESTINATION ${VINTREL_LIBRARY_DIR})
install(FILES data/${app_id}.desktop DESTINATION ${share}/applications)
install(FILES data/${app_id}.metainfo.xml DESTINATION ${share}/metainfo)
install(FILES data/${app_id}.mime.xml DESTINATION ${share}/mime/packages RENAME ${app_id}.xml)
install(FILES data/icons/vintrel.svg DESTINATION ${share}/icons/hicolor/scalable/apps RENAME ${app_id}.svg)
foreach(size 48 256)
    install(FILES ${PROJECT_BINARY_DIR}/icons/${size}.png
        DESTINATION ${share}/icons/hicolor/${size}x${size}/apps RENAME ${app_id}.png)
endforeach()
install(FILES README.md DESTINATION ${share}/doc/vintrel)

set(CPACK_PACKAGE_NAME vintrel)
set(CPACK_PACKAGE_VENDOR "The Vintrel developers")
set(CPACK_PACKAGE_CONTACT "The Vintrel developers <maintainers@vintrel.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "arrange photos on one printed page")
set(CPACK_PACKAGE_DESCRIPTION "Vintrel puts up to 30 photos on an on-screen letter page, lets you move
and resize them with the mouse, prints the page, saves the arrangement as a
small layout file, and takes photos straight from a scanner.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vintrel.example.org/")
# Dependencies from what the binaries link (dpkg-shlibdeps), never a list kept by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# What no binary links but the program uses when there: Qt's readers of WebP
# and TIFF, the default CMYK colour profile, and SANE's driver for driverless
# network scanners (eSCL and WSD, which most scanners sold today speak).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-image-formats-plugins, libgs-common, sane-airscan")
set(CPACK_STRIP_FILES ON)
include(CPack)
install(FILES data/help/readme.htm DESTINATION ${VINTREL_DATA_DIR})
# System Info starts the desktop's system information program: the first one
# found on PATH at install time goes into the program's registry.
install(CODE "set(vintrel_sysconf_dir \"${CMAKE_INSTALL_SYSCONFDIR}\")")
install(CODE [[
    set(vintrel_sysconf "${CMAKE_INSTALL_PREFIX}/${vintrel_sysconf_dir}") # /usr's is /etc
    if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
        set(vintrel_sysconf "/etc")
    endif()
    find_program(vintrel_sysinfo NAMES gnome-system-monitor kinfocenter mate-system-monitor xfce4-taskmanager
        hardinfo lxtask NO_CACHE)
    if(vintrel_sysinfo)
        set(registry "$ENV{DESTDIR}${vintrel_sysconf}/xdg/Vintrel/registry.ini")
        message(STATUS "Installing: ${registry} (System Info: ${vintrel_sysinfo})")
        file(WRITE "${registry}" "; System Info starts the program named here.\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\nPATH = sz:${vintrel_sysinfo}\n")
    endif()
]])
