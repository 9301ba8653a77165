# The compiler settings every target of this project shares: one interface target, linked by
# pz_use_warnings() into each target the project builds (not into Qt, GoogleTest or libzip).
# PZ_WERROR turns the warnings into errors; CI switches it on, a user's build leaves it off so
# that a newer compiler's new warning does not stop them.
option(PZ_WERROR "Treat compiler warnings as errors (CI)" OFF)

# The C++ list; the fuzzers, built by clang outside CMake's targets, take it from here as well.
set(PZ_CXX_WARNINGS -Wall -Wextra -Wshadow -Wconversion -Wpedantic -Wold-style-cast
                    -Wnon-virtual-dtor)
set(PZ_C_WARNINGS -Wall -Wextra -Wshadow -Wconversion -Wpedantic)
if(PZ_WERROR)
  list(APPEND PZ_CXX_WARNINGS -Werror)
  list(APPEND PZ_C_WARNINGS -Werror)
endif()

add_library(pz_warnings INTERFACE)
target_compile_options(pz_warnings INTERFACE
  "$<$<COMPILE_LANGUAGE:CXX>:${PZ_CXX_WARNINGS}>" "$<$<COMPILE_LANGUAGE:C>:${PZ_C_WARNINGS}>")

# Links pz_warnings into every compiled target defined in DIR and the folders below it.
function(pz_use_warnings dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      target_link_libraries(${target} PRIVATE pz_warnings)
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    pz_use_warnings(${sub})
  endforeach()
endfunction()
