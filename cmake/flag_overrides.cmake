# Initial compiler flags per build type, read by CMake before it fills the
# cache. Shipped builds optimise with -O2 and target the generic processor of
# the platform (no -march=native), so a binary runs on any machine of its kind.
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-O2 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELWITHDEBINFO_INIT "-O2 -g -DNDEBUG")
