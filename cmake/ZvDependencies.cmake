# Every dependency comes from the distribution's packages; nothing is fetched.
# fmt 7 to 10: LogLine.h selects on FMT_VERSION where their APIs differ.
find_package(fmt 7...<11 REQUIRED)       # used header-only: fmt::fmt-header-only
find_package(Boost 1.74 REQUIRED)        # Format, Algorithm, Date_Time, Uuid, Function (headers)
find_path(UUID_INCLUDE_DIR uuid/uuid.h REQUIRED)
find_library(UUID_LIBRARY uuid REQUIRED)
add_library(zv::uuid UNKNOWN IMPORTED)
set_target_properties(zv::uuid PROPERTIES
  IMPORTED_LOCATION "${UUID_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${UUID_INCLUDE_DIR}")
find_package(Threads REQUIRED)
# The classification library: FFTW3 in single precision (through its
# pkg-config file, as an imported target) and nlohmann-json for its data file.
find_package(PkgConfig REQUIRED)
pkg_check_modules(ZV_FFTW3F REQUIRED IMPORTED_TARGET GLOBAL fftw3f)
add_library(zv::fftw3f ALIAS PkgConfig::ZV_FFTW3F)
find_package(nlohmann_json 3 REQUIRED)
