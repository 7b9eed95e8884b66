# Installs the build at ZV_BUILD_DIR into a fresh ZV_PREFIX and checks the
# plug-in folder the host sees: the plug-in and the memory library side by
# side, the classification library with its data folder in ZVAudioSdk/, the
# run paths kept, and the tests' stand-in SDK not shipped.
#   cmake -DZV_BUILD_DIR=<build> -DZV_PREFIX=<dir> -P CheckInstallLayout.cmake
file(REMOVE_RECURSE "${ZV_PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${ZV_BUILD_DIR}" --prefix "${ZV_PREFIX}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

foreach(file AudioAnalytics_Zelvani.so libzv_memory.so
             ZVAudioSdk/libzv_audio_analytics.so ZVAudioSdk/share/model.json)
  if(NOT EXISTS "${ZV_PREFIX}/plugins/${file}")
    message(FATAL_ERROR "missing: plugins/${file}")
  endif()
endforeach()
# The tests' stand-in, known by its scripting table, is never shipped.
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
file(READ_ELF "${ZV_PREFIX}/plugins/ZVAudioSdk/libzv_audio_analytics.so" RUNPATH runpath RPATH rpath)
if(NOT runpath STREQUAL "$ORIGIN;$ORIGIN/.." OR rpath)
  message(FATAL_ERROR "installed library: RUNPATH '${runpath}', RPATH '${rpath}'")
endif()
message(STATUS "install layout ok: ${installed}")
