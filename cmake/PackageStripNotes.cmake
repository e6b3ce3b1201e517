# CPack pre-build script: drops the .comment and .note sections from the staged programs
# (Debian's dh_strip does the same), after CPack has stripped them.
file(GLOB_RECURSE _programs ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*)
foreach(program ${_programs})
    execute_process(COMMAND objcopy --remove-section=.comment --remove-section=.note ${program}
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
