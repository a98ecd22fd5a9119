# The export list MORVANTEPORTIO.def is the one place that names the exported
# functions; every build that needs the names reads them from it.
function(morvante_read_exports def_file out_var)
    file(STRINGS "${def_file}" lines REGEX "^[ \t]+[A-Za-z_][A-Za-z0-9_]*[ \t]+@[0-9]+")
    set(names "")
    foreach(line IN LISTS lines)
        string(REGEX MATCH "[A-Za-z_][A-Za-z0-9_]*" name "${line}")
        list(APPEND names "${name}")
    endforeach()
    set(${out_var} "${names}" PARENT_SCOPE)
endfunction()

# An ELF version script that keeps the exports global and everything else local.
function(morvante_write_version_script def_file out_file)
    morvante_read_exports("${def_file}" names)
    list(JOIN names ";\n    " body)
    file(WRITE "${out_file}" "{\n  global:\n    ${body};\n  local: *;\n};\n")
endfunction()
