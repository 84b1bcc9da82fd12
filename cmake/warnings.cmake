# Warnings every target of ours compiles with, per compiler family; the
# presets make them errors (CMAKE_COMPILE_WARNING_AS_ERROR).
add_library(project_warnings INTERFACE)
if(MSVC)
  target_compile_options(project_warnings INTERFACE
    /W4            # MSVC's highest level short of /Wall's system-header noise
    /permissive-   # standard conformance, as GCC and Clang give by default
  )
else()
  target_compile_options(project_warnings INTERFACE
    -Wall
    -Wextra
    -Wpedantic
    -Wshadow       # a local hiding another is a bug waiting to happen
    -Wconversion   # int sizes and indices must not narrow silently
  )
endif()
