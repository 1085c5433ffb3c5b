# Turns a file into a C++ source with a byte array and its length: cmake -DINPUT=f -DOUTPUT=f.cpp
# -DSYMBOL=kName [-DCOPY=f] -P EmbedFile.cmake. COPY keeps the exact bytes embedded, for the tests
# that compare installed files with them. The symbols have C linkage so the declaring header needs no
# knowledge of how the bytes were produced.
if(NOT DEFINED INPUT OR NOT DEFINED OUTPUT OR NOT DEFINED SYMBOL)
  message(FATAL_ERROR "EmbedFile.cmake needs INPUT, OUTPUT and SYMBOL")
endif()
file(SIZE "${INPUT}" size)
file(READ "${INPUT}" hex HEX)
# 32 bytes per line keep the generated file readable in a diff tool and cheap to compile.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){32})" "\\1\n" body "${body}")
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
     "// Generated from ${name} (${size} bytes); do not edit.\n"
     "extern \"C\" {\n"
     "extern const unsigned char ${SYMBOL}[];\n"
     "extern const unsigned int ${SYMBOL}Size;\n"
     "const unsigned char ${SYMBOL}[] = {\n${body}\n};\n"
     "const unsigned int ${SYMBOL}Size = ${size};\n"
     "}\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
if(DEFINED COPY)
  configure_file("${INPUT}" "${COPY}" COPYONLY)
endif()
