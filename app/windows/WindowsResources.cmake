# Nimbrel's Windows resources: the icon, the application manifest and the
# version information. For the program's target, on Windows:
#
#   include(windows/WindowsResources.cmake)
#   nimbrel_add_windows_resources(nimbrel)
#
# It also makes the target a GUI program (no console window). Elsewhere the
# function does nothing.
set(NIMBREL_WINDOWS_RESOURCES_DIR ${CMAKE_CURRENT_LIST_DIR})

function(nimbrel_add_windows_resources target)
  if(NOT WIN32)
    return()
  endif()

  set(resources ${NIMBREL_WINDOWS_RESOURCES_DIR})
  set(rc ${resources}/nimbrel.rc)
  set(manifest ${resources}/nimbrel.manifest)
  set(icon ${resources}/../images/nimbrel.ico)

  # The version, from the project's.
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/${target}_windows_resources)
  set(NIMBREL_VERSION_PATCH ${PROJECT_VERSION_PATCH})
  if(NIMBREL_VERSION_PATCH STREQUAL "")
    set(NIMBREL_VERSION_PATCH 0)
  endif()
  configure_file(${resources}/NimbrelVersion.h.in ${generated}/NimbrelVersion.h @ONLY)

  target_sources(${target} PRIVATE ${rc})
  set_property(SOURCE ${rc} APPEND PROPERTY INCLUDE_DIRECTORIES ${resources} ${resources}/../images ${generated})
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${manifest} ${icon} ${generated}/NimbrelVersion.h)
  if(MSVC)
    # The linker writes the manifest, merging this one into its own.
    target_sources(${target} PRIVATE ${manifest})
  else()
    set_property(SOURCE ${rc} APPEND PROPERTY COMPILE_DEFINITIONS NIMBREL_EMBED_MANIFEST)
  endif()
  set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
endfunction()
