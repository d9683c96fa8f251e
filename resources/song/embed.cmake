# Turns a binary file into a C++ source defining a byte array.
# -DINPUT=<file> -DOUTPUT=<source> -DNAME=<array name> (in namespace resources).
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}"
  "// Generated from ${INPUT} when the project is built.\n"
  "#include \"resources/song/song.h\"\n\n"
  "namespace resources {\n\n"
  "const unsigned char ${NAME}[] = {\n${bytes}\n};\n"
  "const std::size_t ${NAME}Size = ${size};\n\n"
  "} // namespace resources\n")
