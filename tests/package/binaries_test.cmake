# The binaries as `cmake --install` ships them, read from their files
# without running them (no Wine):
#
#   cmake -DBUILD_DIR=... -DWORK_DIR=... [-DCONFIG=...] -P binaries_test.cmake
#
# Each row of the table below is checked for: no debug section and no
# symbol (a string table for long section names may stay); at most its size
# limit; the toolchain's stack protector linked in; ASLR and DEP marked, and
# high-entropy ASLR in a 64-bit image; no section both writable and
# executable.

# file               most KiB (0: no limit)
set(binaries
    "bin/Kestrum.ocx     160"
    "bin/kestrum.exe     0")

set(install_dir ${WORK_DIR}/install)
file(REMOVE_RECURSE ${install_dir})
set(config_args "")
if(CONFIG)
    set(config_args --config ${CONFIG})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${install_dir} ${config_args}
    OUTPUT_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install ${BUILD_DIR} failed")
endif()

# The little-endian unsigned number of size bytes at offset (an expression).
function(read_number out file offset size)
    math(EXPR offset "${offset}")
    file(READ ${file} hex OFFSET ${offset} LIMIT ${size} HEX)
    string(REGEX MATCHALL ".." bytes "${hex}")
    list(REVERSE bytes)
    list(JOIN bytes "" hex)
    math(EXPR value "0x0${hex}")
    set(${out} ${value} PARENT_SCOPE)
endfunction()

# The zero-terminated text of at most size bytes at offset (an expression).
function(read_text out file offset size)
    math(EXPR offset "${offset}")
    file(READ ${file} hex OFFSET ${offset} LIMIT ${size} HEX)
    string(REGEX MATCHALL ".." bytes "${hex}")
    set(text "")
    foreach(byte IN LISTS bytes)
        if(byte STREQUAL "00")
            break()
        endif()
        math(EXPR code "0x${byte}")
        string(ASCII ${code} char)
        string(APPEND text "${char}")
    endforeach()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(failures "")
foreach(row IN LISTS binaries)
    string(REGEX MATCHALL "[^ ]+" fields "${row}")
    list(GET fields 0 name)
    list(GET fields 1 limit)
    set(file ${install_dir}/${name})
    if(NOT EXISTS ${file})
        list(APPEND failures "${name}: not installed")
        continue()
    endif()

    file(SIZE ${file} size)
    math(EXPR kib "(${size} + 1023) / 1024")
    math(EXPR most "${limit} * 1024")
    if(limit GREATER 0 AND size GREATER most)
        list(APPEND failures "${name}: ${kib} KiB, more than ${limit} KiB")
    endif()

    # COFF file header after "PE\0\0", then the optional header.
    read_number(pe ${file} 60 4)
    read_number(signature ${file} ${pe} 4)
    if(NOT signature EQUAL 0x4550)
        list(APPEND failures "${name}: not a PE image")
        continue()
    endif()
    math(EXPR coff "${pe} + 4")
    read_number(section_count ${file} "${coff} + 2" 2)
    read_number(symbol_table ${file} "${coff} + 8" 4)
    read_number(symbol_count ${file} "${coff} + 12" 4)
    read_number(optional_size ${file} "${coff} + 16" 2)
    math(EXPR optional "${coff} + 20")
    read_number(magic ${file} ${optional} 2)
    read_number(dll_characteristics ${file} "${optional} + 70" 2)

    if(symbol_count GREATER 0)
        list(APPEND failures "${name}: ${symbol_count} symbols")
    endif()

    # Section headers: a name of "/N" lies at offset N of the string table,
    # which follows the symbols.
    math(EXPR strings "${symbol_table} + ${symbol_count} * 18")
    math(EXPR header "${optional} + ${optional_size}")
    foreach(i RANGE 1 ${section_count})
        read_text(section ${file} ${header} 8)
        if(section MATCHES "^/([0-9]+)$")
            read_text(section ${file} "${strings} + ${CMAKE_MATCH_1}" 64)
        endif()
        read_number(flags ${file} "${header} + 36" 4)
        if(section MATCHES "^\\.z?debug")
            list(APPEND failures "${name}: debug section ${section}")
        endif()
        math(EXPR write_execute "${flags} & 0xA0000000")
        if(write_execute EQUAL 0xA0000000)
            list(APPEND failures "${name}: section ${section} is both writable and executable")
        endif()
        math(EXPR header "${header} + 40")
    endforeach()

    # DYNAMIC_BASE, NX_COMPAT, and HIGH_ENTROPY_VA for PE32+.
    set(marks "DYNAMIC_BASE 0x40" "NX_COMPAT 0x100")
    if(magic EQUAL 0x20b)
        list(APPEND marks "HIGH_ENTROPY_VA 0x20")
    endif()
    foreach(mark IN LISTS marks)
        string(REPLACE " " ";" mark "${mark}")
        list(GET mark 0 mark_name)
        list(GET mark 1 bit)
        math(EXPR marked "${dll_characteristics} & ${bit}")
        if(marked EQUAL 0)
            list(APPEND failures "${name}: ${mark_name} not marked")
        endif()
    endforeach()

    # MinGW's stack protector (libssp) reports in these words.
    file(STRINGS ${file} protector REGEX "stack smashing detected" LIMIT_COUNT 1)
    if(NOT protector)
        list(APPEND failures "${name}: no stack protector linked in")
    endif()
    message(STATUS "${name}: ${size} bytes (${kib} KiB), ${section_count} sections, ${symbol_count} symbols")
endforeach()

if(failures)
    list(JOIN failures "\n  " text)
    message(FATAL_ERROR "installed binaries:\n  ${text}")
endif()
