# dpt_add_program(<name> <cli path>)
# Builds the test program against the CLI at <cli path>. Only the one translation
# unit that holds the path is compiled per program; everything else is shared.
function(dpt_add_program name cli_path)
    add_executable(${name} ${PROJECT_SOURCE_DIR}/src/entry/main.cpp
                           ${PROJECT_SOURCE_DIR}/src/cli/cli_path.cpp)
    target_compile_definitions(${name} PRIVATE "DPT_TARNIX_EXECUTABLE=\"${cli_path}\"")
    target_link_libraries(${name} PRIVATE dpt_race dpt_harness)
    # Backtraces name the program's own functions only when its symbols are exported.
    set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON)
    # Users run the race in loops: a start without shared C++ libraries to load is faster.
    # Sanitizer builds keep their runtimes.
    if(NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
        target_link_options(${name} PRIVATE -static-libstdc++ -static-libgcc)
    endif()
    if(NOT TARNIX_EXECUTABLE)
        add_dependencies(${name} tarnix)
    endif()
endfunction()
