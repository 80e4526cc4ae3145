# Writes a C++ source that holds resource files as byte arrays, for the native build.
#   cmake -DOUTPUT=file.cpp -DRESOURCES="NAME=path;NAME=path" -P EmbedResources.cmake
# The names are those the Win32 build gives the same files as RCDATA resources.
if(NOT OUTPUT OR NOT RESOURCES)
  message(FATAL_ERROR "EmbedResources: OUTPUT and RESOURCES are required")
endif()

set(body "// Generated from the resource files when the program is built; do not edit.\n")
string(APPEND body "#include \"platform/posix/EmbeddedResources.h\"\n\nnamespace platform {\nnamespace embedded {\nnamespace {\n")
set(table "")
set(index 0)
foreach(entry IN LISTS RESOURCES)
  string(FIND "${entry}" "=" eq)
  string(SUBSTRING "${entry}" 0 ${eq} name)
  math(EXPR from "${eq} + 1")
  string(SUBSTRING "${entry}" ${from} -1 path)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" hexlen)
  math(EXPR size "${hexlen} / 2")
  # Sixteen bytes a line.
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
  string(APPEND body "const unsigned char data${index}[] = {\n    ${bytes}0x00};\n")
  string(APPEND table "    {\"${name}\", data${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
string(APPEND body "}  // namespace\n\nconst Resource Resources[] = {\n${table}};\n")
string(APPEND body "const std::size_t ResourceCount = ${index};\n\n}  // namespace embedded\n}  // namespace platform\n")

# Rewrite only on change, so that an unchanged resource rebuilds nothing.
set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL body)
  file(WRITE "${OUTPUT}" "${body}")
endif()
