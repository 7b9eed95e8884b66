# The build tag that the plug-in's version line shows as its file version:
#
#   <major>.<minor>.<patch>-<build number>-<build time>-<source revision>
#
# e.g. 3.13.1-171-20250314T092653-3f2a9c0d1b7e. The build number is the last
# component of the project version; the build time is UTC, written
# yyyymmddThhmmss, and follows SOURCE_DATE_EPOCH when it is set (string(TIMESTAMP)
# honours it), so a reproducible build gets a reproducible tag; the source
# revision is the first 12 hex digits of the checked-out commit, or twelve
# zeros when the sources are not a git checkout of their own.
#
# The tag is fixed at configure time. In a checkout, configuring depends on
# the files that name the current commit, so a new commit re-runs the
# configure step and the tag follows it.
#
# Script mode prints the tag, for the tests of this file:
#   cmake -DZV_VERSION=3.13.1.171 -DZV_SOURCE_DIR=<dir> -P ZvBuildTag.cmake

# Sets `out_revision` to the 12-digit revision of the checkout at `source_dir`
# and `out_git_files` to the files whose change means a new commit (empty
# outside a checkout).
function(zv_source_revision out_revision out_git_files source_dir)
  set(revision 000000000000)
  set(git_files "")
  find_program(ZV_GIT_EXECUTABLE git)
  if(ZV_GIT_EXECUTABLE AND IS_DIRECTORY "${source_dir}")
    # Only a checkout whose top level is the source tree counts: sources
    # unpacked somewhere inside another repository are not a checkout.
    execute_process(COMMAND "${ZV_GIT_EXECUTABLE}" -C "${source_dir}" rev-parse --show-toplevel
                    OUTPUT_VARIABLE toplevel RESULT_VARIABLE toplevel_rc
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    file(REAL_PATH "${source_dir}" source_real)
    if(toplevel_rc EQUAL 0)
      file(REAL_PATH "${toplevel}" toplevel_real)
    endif()
    if(toplevel_rc EQUAL 0 AND toplevel_real STREQUAL source_real)
      execute_process(COMMAND "${ZV_GIT_EXECUTABLE}" -C "${source_dir}" rev-parse --verify --quiet HEAD
                      OUTPUT_VARIABLE head RESULT_VARIABLE head_rc
                      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      if(head_rc EQUAL 0 AND head MATCHES "^[0-9a-f]+$")
        string(SUBSTRING "${head}" 0 12 revision)
      endif()
      # HEAD, the branch file it points at, packed-refs where branch files
      # end up after a gc, and HEAD's log, which every commit and checkout
      # appends to (also when the branch file is not there yet).
      set(paths HEAD packed-refs logs/HEAD)
      execute_process(COMMAND "${ZV_GIT_EXECUTABLE}" -C "${source_dir}" symbolic-ref --quiet HEAD
                      OUTPUT_VARIABLE branch RESULT_VARIABLE branch_rc
                      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      if(branch_rc EQUAL 0)
        list(APPEND paths "${branch}")
      endif()
      foreach(path IN LISTS paths)
        execute_process(COMMAND "${ZV_GIT_EXECUTABLE}" -C "${source_dir}" rev-parse --git-path "${path}"
                        OUTPUT_VARIABLE git_path RESULT_VARIABLE git_path_rc
                        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(git_path_rc EQUAL 0)
          get_filename_component(git_path "${git_path}" ABSOLUTE BASE_DIR "${source_dir}")
          if(EXISTS "${git_path}")
            list(APPEND git_files "${git_path}")
          endif()
        endif()
      endforeach()
    endif()
  endif()
  set(${out_revision} "${revision}" PARENT_SCOPE)
  set(${out_git_files} "${git_files}" PARENT_SCOPE)
endfunction()

# Sets `out_tag` to the build tag of `version` (four dot-separated numbers)
# built from `source_dir`, and `out_git_files` as zv_source_revision does.
function(zv_build_tag out_tag out_git_files version source_dir)
  if(NOT version MATCHES "^([0-9]+\\.[0-9]+\\.[0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "zv_build_tag: version '${version}' is not major.minor.patch.build")
  endif()
  set(release "${CMAKE_MATCH_1}")
  set(build_number "${CMAKE_MATCH_2}")
  string(TIMESTAMP build_time "%Y%m%dT%H%M%S" UTC)
  zv_source_revision(revision git_files "${source_dir}")
  set(${out_tag} "${release}-${build_number}-${build_time}-${revision}" PARENT_SCOPE)
  set(${out_git_files} "${git_files}" PARENT_SCOPE)
endfunction()

# Writes `output` from `template`, in which @ZV_FILE_VERSION@,
# @ZV_PRODUCT_VERSION@ and @ZV_COMPANY_NAME@ stand for the build tag, the
# project version and `company`.
function(zv_generate_version_header template output company)
  zv_build_tag(tag git_files "${PROJECT_VERSION}" "${PROJECT_SOURCE_DIR}")
  set(ZV_FILE_VERSION "${tag}")
  set(ZV_PRODUCT_VERSION "${PROJECT_VERSION}")
  set(ZV_COMPANY_NAME "${company}")
  configure_file("${template}" "${output}" @ONLY)
  if(git_files)
    set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${git_files})
  endif()
  message(STATUS "Module file version: ${tag}")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  zv_build_tag(tag git_files "${ZV_VERSION}" "${ZV_SOURCE_DIR}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "${tag}")
endif()
