# Compiler and linker settings of a shipped-style Windows program, shared by the
# tool and the yardstick it is measured against.
function(windows_program_options target)
    target_compile_options(${target} PRIVATE
        $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -Os -ffunction-sections -fdata-sections>)
    # The runtime is linked in statically so that only system DLLs are imported;
    # subsystem 4.0 lets every 32-bit Windows load it, and no time stamp goes
    # into the header so that a build can be reproduced byte for byte.
    target_link_options(${target} PRIVATE
        -static -static-libgcc -static-libstdc++ -s
        -Wl,--subsystem,windows:4.0 -Wl,--gc-sections -Wl,--no-insert-timestamp)
endfunction()
