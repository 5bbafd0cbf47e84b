# Writes a C++ source that holds each flag PNG as a byte array, so the program carries its flags
# without resource files or Qt's resource system.
#   cmake -DFLAG_DIR=<folder> -DCODES=<code,code,...> -DOUTPUT=<file.cpp> -P EmbedFlags.cmake
# For each code the folder holds <code>.png; velk::flagdata::<code> is a span over its bytes.
string(REPLACE "," ";" codes "${CODES}")
set(text "// Generated at build time from medals/flags/*.png by medals/EmbedFlags.cmake. Do not edit.\n")
string(APPEND text "#include <cstdint>\n#include <span>\n\nnamespace velk::flagdata {\n")
foreach(code IN LISTS codes)
  file(READ "${FLAG_DIR}/${code}.png" hex HEX)
  string(LENGTH "${hex}" length)
  math(EXPR size "${length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # A line break after every 16 bytes keeps the file readable for a diff tool.
  string(REPEAT "0x[0-9a-f][0-9a-f]," 16 line)
  string(REGEX REPLACE "(${line})" "\\1\n" bytes "${bytes}")
  string(APPEND text "namespace {\nconst std::uint8_t ${code}_bytes[${size}] = {\n${bytes}};\n} // namespace\n")
  string(APPEND text "extern const std::span<const std::uint8_t> ${code};\n")
  string(APPEND text "constinit const std::span<const std::uint8_t> ${code}(${code}_bytes);\n\n")
endforeach()
string(APPEND text "} // namespace velk::flagdata\n")
file(WRITE "${OUTPUT}.tmp" "${text}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
