# Warnings are errors everywhere in the project's own code.
add_compile_options(-Wall -Wextra -Werror)

# GCC 12 (Debian 12's compiler) reports -Wrestrict on std::basic_string's own copies once -O3
# inlines them (GCC bugs 105329 and 105651): never in our code, and only in optimised builds.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    add_compile_options(-Wno-restrict)
endif()
