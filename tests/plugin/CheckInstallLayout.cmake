# Installs the build at ZV_BUILD_DIR into a fresh ZV_PREFIX and checks the
# plug-in folder the host sees: the plug-in and the memory library side by
# side, the plug-in's run path kept, and the tests' stand-in SDK not shipped.
#   cmake -DZV_BUILD_DIR=<build> -DZV_PREFIX=<dir> -P CheckInstallLayout.cmake
file(REMOVE_RECURSE "${ZV_PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${ZV_BUILD_DIR}" --prefix "${ZV_PREFIX}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

foreach(file AudioAnalytics_Zelvani.so libzv_memory.so)
  if(NOT EXISTS "${ZV_PREFIX}/plugins/${file}")
    message(FATAL_ERROR "missing: plugins/${file}")
  endif()
endforeach()
# A shipped SDK may sit in plugins/ZVAudioSdk/, but never the tests'
# stand-in, which is known by its scripting table.
file(GLOB_RECURSE installed RELATIVE "${ZV_PREFIX}" "${ZV_PREFIX}/*")
foreach(file IN LISTS installed)
  if(file MATCHES "zv_audio_analytics")
    file(STRINGS "${ZV_PREFIX}/${file}" standin_marks REGEX "zvStandin_Controls")
    if(standin_marks)
      message(FATAL_ERROR "the stand-in SDK was installed: ${file}")
    endif()
  endif()
endforeach()

# READ_ELF hands the run path over as a list.
file(READ_ELF "${ZV_PREFIX}/plugins/AudioAnalytics_Zelvani.so" RUNPATH runpath RPATH rpath)
if(NOT runpath STREQUAL "$ORIGIN/ZVAudioSdk;$ORIGIN" OR rpath)
  message(FATAL_ERROR "installed plug-in: RUNPATH '${runpath}', RPATH '${rpath}'")
endif()
message(STATUS "install layout ok: ${installed}")
