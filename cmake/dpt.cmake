# dpt_add_program(<name> <cli path>)
# Builds the test program against the CLI at <cli path>. Only the one translation
# unit that holds the path is compiled per program; everything else is shared.
function(dpt_add_program name cli_path)
    add_executable(${name} ${PROJECT_SOURCE_DIR}/src/entry/main.cpp
                           ${PROJECT_SOURCE_DIR}/src/cli/cli_path.cpp)
    target_compile_definitions(${name} PRIVATE "DPT_TARNIX_EXECUTABLE=\"${cli_path}\"")
    target_link_libraries(${name} PRIVATE dpt_race dpt_harness)
    if(NOT TARNIX_EXECUTABLE)
        add_dependencies(${name} tarnix)
    endif()
endfunction()
