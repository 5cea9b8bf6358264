# Runs at install time (cmake --install, CPack), when the prefix is final: the
# settings template and the systemd unit name the installed paths, so they are
# made here rather than when the build is configured. The folders follow
# GNUInstallDirs: with the prefix /usr the settings go to /etc/tavrix.
#
# Set by the caller: TAVRIX_PACKAGING_DIR (this folder), TAVRIX_STAGING_DIR (a
# folder of the build tree), and the relative CMAKE_INSTALL_BINDIR, LIBDIR,
# DATADIR and SYSCONFDIR of the configured build.
function(tavrix_install_files)
  include(GNUInstallDirs)
  GNUInstallDirs_get_absolute_install_dir(tavrix_bindir CMAKE_INSTALL_BINDIR BINDIR)
  GNUInstallDirs_get_absolute_install_dir(tavrix_datadir CMAKE_INSTALL_DATADIR DATADIR)
  GNUInstallDirs_get_absolute_install_dir(tavrix_sysconfdir CMAKE_INSTALL_SYSCONFDIR SYSCONFDIR)

  set(TAVRIX_EXECUTABLE "${tavrix_bindir}/tavrix")
  set(TAVRIX_DATA_DIR "${tavrix_datadir}/tavrix")
  set(TAVRIX_SETTINGS_FILE "${tavrix_sysconfdir}/tavrix/tavrix.reg")
  set(tavrix_unit_dir "${CMAKE_INSTALL_PREFIX}/lib/systemd/system")
  set(TAVRIX_UNIT_FILE "${tavrix_unit_dir}/tavrix.service")
  # The server reads /etc/tavrix/tavrix.reg unless $TAVRIX_REGISTRY names another
  # file; "tavrix -Service" writes the same line for the same reason.
  set(TAVRIX_UNIT_ENVIRONMENT "")
  if(NOT TAVRIX_SETTINGS_FILE STREQUAL "/etc/tavrix/tavrix.reg")
    set(TAVRIX_UNIT_ENVIRONMENT "Environment=TAVRIX_REGISTRY=${TAVRIX_SETTINGS_FILE}\n")
  endif()

  # One staging folder per prefix, so installs to different prefixes never share one.
  string(MD5 tavrix_prefix_key "${CMAKE_INSTALL_PREFIX}")
  set(tavrix_staging "${TAVRIX_STAGING_DIR}/${tavrix_prefix_key}")
  configure_file("${TAVRIX_PACKAGING_DIR}/tavrix.reg.in" "${tavrix_staging}/tavrix.reg" @ONLY)
  configure_file("${TAVRIX_PACKAGING_DIR}/tavrix.service.in" "${tavrix_staging}/tavrix.service" @ONLY)

  file(INSTALL DESTINATION "${tavrix_sysconfdir}/tavrix" TYPE FILE
       PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
       FILES "${tavrix_staging}/tavrix.reg")
  file(INSTALL DESTINATION "${tavrix_unit_dir}" TYPE FILE
       PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
       FILES "${tavrix_staging}/tavrix.service")
endfunction()

tavrix_install_files()
