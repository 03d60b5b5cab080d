# Contents/Resources of the bundle: moduleinfo.json and the editor snapshot, which hosts read
# before loading the module. caldrith-bundle-info takes them from the built module itself. A
# cross build cannot run its module here: it copies what a native build of the same sources
# wrote (CALDRITH_BUNDLE_RESOURCES_FROM, a Contents/Resources folder); the module's own tests
# then check the copy against the cross-built factory.
set(CALDRITH_BUNDLE_RESOURCES_FROM "" CACHE PATH
    "Cross builds: Contents/Resources folder of a native build to copy into the bundle")
if(TARGET caldrith_module)
  set(_resources ${CALDRITH_BUNDLE_DIR}/Contents/Resources)
  set(_stamp ${CMAKE_BINARY_DIR}/bundle_resources.stamp)
  if(TARGET caldrith-bundle-info AND NOT CMAKE_CROSSCOMPILING)
    set(_copy_to_user)
    if(CALDRITH_INSTALL_USER_VST3)
      set(_copy_to_user COMMAND ${CMAKE_COMMAND} -E copy_directory ${_resources}
                        "$ENV{HOME}/.vst3/Caldrith.vst3/Contents/Resources")
    endif()
    # Leak reports of the sanitizer builds follow the tests' suppressions.
    add_custom_command(OUTPUT ${_stamp}
      COMMAND ${CMAKE_COMMAND} -E env LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp
              $<TARGET_FILE:caldrith-bundle-info> ${CALDRITH_BUNDLE_DIR}
      ${_copy_to_user}
      COMMAND ${CMAKE_COMMAND} -E touch ${_stamp}
      DEPENDS caldrith_module caldrith-bundle-info
      COMMENT "Writing the bundle's moduleinfo.json and editor snapshot"
      VERBATIM)
    add_custom_target(caldrith_bundle_resources ALL DEPENDS ${_stamp})
  elseif(CALDRITH_BUNDLE_RESOURCES_FROM)
    add_custom_command(OUTPUT ${_stamp}
      COMMAND ${CMAKE_COMMAND} -E rm -rf ${_resources}
      COMMAND ${CMAKE_COMMAND} -E copy_directory ${CALDRITH_BUNDLE_RESOURCES_FROM} ${_resources}
      COMMAND ${CMAKE_COMMAND} -E touch ${_stamp}
      DEPENDS caldrith_module ${CALDRITH_BUNDLE_RESOURCES_FROM}/moduleinfo.json
      COMMENT "Copying the bundle's moduleinfo.json and editor snapshot"
      VERBATIM)
    add_custom_target(caldrith_bundle_resources ALL DEPENDS ${_stamp})
  endif()
  if(TARGET caldrith_bundle_resources AND TARGET install-vst3)
    add_dependencies(install-vst3 caldrith_bundle_resources)
  endif()
endif()
