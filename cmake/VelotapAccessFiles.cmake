# The files that give the user at the seat a touch display and /dev/uinput,
# each with where it goes. `make install` installs them; anything else that
# installs them takes them from this list.
# udev and systemd read nothing under /usr/local, so they go to /etc.
set(VELOTAP_UDEV_RULES_DIR "/etc/udev/rules.d" CACHE PATH "Where `make install` puts the udev rule")
set(VELOTAP_MODULES_LOAD_DIR "/etc/modules-load.d" CACHE PATH
    "Where `make install` puts the list of kernel modules loaded at boot")

# Pairs: a file of the source tree, its destination directory.
set(VELOTAP_ACCESS_FILES
  resources/udev/70-velotap.rules "${VELOTAP_UDEV_RULES_DIR}"
  resources/modules-load.d/velotap.conf "${VELOTAP_MODULES_LOAD_DIR}")

list(LENGTH VELOTAP_ACCESS_FILES _velotap_count)
math(EXPR _velotap_last "${_velotap_count} - 1")
foreach(_velotap_index RANGE 0 ${_velotap_last} 2)
  math(EXPR _velotap_next "${_velotap_index} + 1")
  list(GET VELOTAP_ACCESS_FILES ${_velotap_index} _velotap_file)
  list(GET VELOTAP_ACCESS_FILES ${_velotap_next} _velotap_dir)
  install(FILES ${CMAKE_SOURCE_DIR}/${_velotap_file} DESTINATION ${_velotap_dir})
endforeach()
