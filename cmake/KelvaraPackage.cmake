# The Debian package (`make package`, or `cpack` in a build folder). Its Depends come from the
# shared libraries the installed binaries link (dpkg-shlibdeps) and FFmpeg's, which they load;
# Qt's X11 platform plugin comes with libqt6gui6.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvara)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Kelvara developers")
set(CPACK_PACKAGE_CONTACT "The Kelvara developers <kelvara@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "export an iTunes or Music library into ordinary folders")
# The summary above is the synopsis line; this is the text under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Kelvara reads the XML file that iTunes or Music writes of its library,
shows its playlists and the albums built from its songs, and exports the
ones you pick into folders: for a USB stick, a car stereo, a phone or a
NAS. Each song is copied unchanged or converted to MP3 with ID3 tags and
artwork, or to AAC in M4A files, in one of five folder layouts, with an
m3u playlist per playlist or album. It also writes song listings as CSV,
XLS or XLSX files.
.
This package holds the desktop application kelvara and the command line
kelvara-cli.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/kelvara/kelvara)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# FFmpeg is loaded when a song first needs it, out of sight of dpkg-shlibdeps: its packages are
# named here, by the major versions the build was compiled against.
set(ffmpeg_packages)
foreach(library libavformat libavcodec libswresample libavutil)
    string(REGEX MATCH "^[0-9]+" major "${FFMPEG_${library}_VERSION}")
    list(APPEND ffmpeg_packages "${library}${major}")
endforeach()
list(JOIN ffmpeg_packages ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(KELVARA_APP)
    # The preview panel plays songs through Qt Multimedia's GStreamer backend; qt6-wayland lets
    # the window run natively on a Wayland desktop rather than through XWayland.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-plugins-good, gstreamer1.0-libav, qt6-wayland")
endif()
include(CPack)
