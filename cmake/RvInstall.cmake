# The install target and the Debian package. An installed copy keeps the build tree's program
# folder as it is, under PREFIX/lib/reelvane/ (programs, shared libraries, Converters/, doc/),
# so the programs find their libraries ($ORIGIN run path), plug-ins and help exactly as in the
# build tree; PREFIX/bin only holds links to the two programs.

set(RV_INSTALL_DIR lib/reelvane)

# Every program, shared library and plug-in of the given folders (and their subfolders) goes
# into the program folder at the place it has under ${RV_BIN_DIR}, so a library or plug-in
# added later is installed without touching this file.
function(rv_install_program_targets)
  foreach(dir IN LISTS ARGN)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(type STREQUAL "EXECUTABLE")
        install(TARGETS ${target} RUNTIME DESTINATION ${RV_INSTALL_DIR})
      elseif(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
        get_target_property(outDir ${target} LIBRARY_OUTPUT_DIRECTORY)
        file(RELATIVE_PATH sub ${RV_BIN_DIR} ${outDir})
        install(TARGETS ${target} LIBRARY DESTINATION ${RV_INSTALL_DIR}/${sub})
      endif()
    endforeach()
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    rv_install_program_targets(${subdirs})
  endforeach()
endfunction()

rv_install_program_targets(${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/plugins)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/doc/ DESTINATION ${RV_INSTALL_DIR}/doc)
install(FILES ${PROJECT_SOURCE_DIR}/resources/installed-copy.txt DESTINATION ${RV_INSTALL_DIR})

# Relative links, made in the build tree and installed as links, so any prefix works.
foreach(program reelvane rvtool)
  set(link ${CMAKE_BINARY_DIR}/install-links/${program})
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
  file(CREATE_LINK ../${RV_INSTALL_DIR}/${program} ${link} SYMBOLIC)
  install(FILES ${link} DESTINATION bin)
endforeach()

# Desktop entry and icons: the PNG sizes are drawn from the one SVG at build time.
install(FILES ${PROJECT_SOURCE_DIR}/resources/reelvane.desktop DESTINATION share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/reelvane.svg
        DESTINATION share/icons/hicolor/scalable/apps)
find_program(RV_RSVG_CONVERT rsvg-convert)
if(RV_RSVG_CONVERT)
  set(icon_pngs)
  foreach(size 16 22 24 32 48 64 128 256)
    set(png ${CMAKE_BINARY_DIR}/icons/hicolor/${size}x${size}/apps/reelvane.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/hicolor/${size}x${size}/apps
      COMMAND ${RV_RSVG_CONVERT} -w ${size} -h ${size} -o ${png}
              ${PROJECT_SOURCE_DIR}/resources/icons/reelvane.svg
      DEPENDS ${PROJECT_SOURCE_DIR}/resources/icons/reelvane.svg
      VERBATIM)
    list(APPEND icon_pngs ${png})
  endforeach()
  add_custom_target(rv_icons ALL DEPENDS ${icon_pngs})
  install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/hicolor DESTINATION share/icons)
else()
  message(WARNING "rsvg-convert (librsvg2-bin) not found: only the SVG icon is installed")
endif()

# Debian package: reelvane_VERSION_amd64.deb, the library dependencies found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME reelvane)
set(CPACK_PACKAGE_VENDOR "Reelvane")
set(CPACK_PACKAGE_CONTACT "Reelvane Developer <dev@reelvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "flipbook player for numbered image sequences")
set(CPACK_PACKAGE_DESCRIPTION
    "Reelvane plays numbered image sequences (film scans, video frames, 3-D renders) as a\n"
    "flipbook: given one frame it finds the whole sequence in the folder, keeps the decoded\n"
    "frames in memory within a budget and plays them at an exact frame rate. It decodes\n"
    "TIFF, PNG, JPEG, GIF, BMP, TGA, PCX, PGM, PICT, SGI, SoftImage, Maya and Lightwave IFF,\n"
    "Windows metafiles, Cineon and DPX. rvtool is its command-line companion.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Our own shared libraries live in the program folder; dpkg-shlibdeps must look there.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${RV_BIN_DIR})
# Qt loads its platform plug-in at run time, so no library link names the package holding it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The help page opens in the desktop's browser through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
