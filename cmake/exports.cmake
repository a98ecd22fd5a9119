# The export list MORVANTEPORTIO.def is the one place that names the exported
# functions; every build that needs the names reads them from it.

# The exports with their ordinals, as a list of name@ordinal.
function(morvante_read_numbered_exports def_file out_var)
    file(STRINGS "${def_file}" lines REGEX "^[ \t]+[A-Za-z_][A-Za-z0-9_]*[ \t]+@[0-9]+")
    set(numbered "")
    foreach(line IN LISTS lines)
        string(REGEX MATCH "([A-Za-z_][A-Za-z0-9_]*)[ \t]+@([0-9]+)" _ "${line}")
        list(APPEND numbered "${CMAKE_MATCH_1}@${CMAKE_MATCH_2}")
    endforeach()
    set(${out_var} "${numbered}" PARENT_SCOPE)
endfunction()

# The export names alone.
function(morvante_read_exports def_file out_var)
    morvante_read_numbered_exports("${def_file}" numbered)
    list(TRANSFORM numbered REPLACE "@[0-9]+$" "")
    set(${out_var} "${numbered}" PARENT_SCOPE)
endfunction()

# An ELF version script that keeps the exports global and everything else local.
function(morvante_write_version_script def_file out_file)
    morvante_read_exports("${def_file}" names)
    list(JOIN names ";\n    " body)
    file(WRITE "${out_file}" "{\n  global:\n    ${body};\n  local: *;\n};\n")
endfunction()
