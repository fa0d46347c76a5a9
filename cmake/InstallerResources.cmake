# Writes the installer's resource script: the string table with the configured home page, and
# (when a component is given) the component library as RCDATA "LIBRARY_DATA".
#
#   quillmarsh_installer_rc(<out.rc> [COMPONENT <library file>] [EXTRA <rc lines>])
function(quillmarsh_installer_rc out_rc)
  cmake_parse_arguments(ARG "" "COMPONENT;EXTRA" "" ${ARGN})
  # Resource-script strings double their quotes and escape backslashes.
  string(REPLACE "\\" "\\\\" home_page "${QUILLMARSH_HOME_PAGE}")
  string(REPLACE "\"" "\"\"" QUILLMARSH_HOME_PAGE_RC "${home_page}")
  set(QUILLMARSH_EXTRA_RC "${ARG_EXTRA}")
  if(ARG_COMPONENT)
    set(QUILLMARSH_LIBRARY_RC
        "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\nLIBRARY_DATA RCDATA \"${ARG_COMPONENT}\"")
  else()
    set(QUILLMARSH_LIBRARY_RC "")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/resources/installer.rc.in ${out_rc} @ONLY)
endfunction()

#   quillmarsh_version_rc(<out.rc> DESCRIPTION <text> FILENAME <name> TYPE <VFT_APP|VFT_DLL>
#                         [SELF_REGISTERING])
# Writes a VERSIONINFO resource script for one binary.
function(quillmarsh_version_rc out_rc)
  cmake_parse_arguments(ARG "SELF_REGISTERING" "DESCRIPTION;FILENAME;TYPE" "" ${ARGN})
  set(QUILLMARSH_FILE_DESCRIPTION "${ARG_DESCRIPTION}")
  set(QUILLMARSH_ORIGINAL_FILENAME "${ARG_FILENAME}")
  get_filename_component(QUILLMARSH_INTERNAL_NAME "${ARG_FILENAME}" NAME_WE)
  set(QUILLMARSH_FILE_TYPE "${ARG_TYPE}")
  set(QUILLMARSH_EXTRA_VERSION_VALUES "")
  if(ARG_SELF_REGISTERING)
    # Tells installers and tools that the library registers itself.
    set(QUILLMARSH_EXTRA_VERSION_VALUES "      VALUE \"OLESelfRegister\", \"\"")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/resources/version.rc.in ${out_rc} @ONLY)
endfunction()
