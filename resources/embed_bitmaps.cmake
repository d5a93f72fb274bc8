# Writes OUTPUT, a C++ source that registers every file of BITMAP_DIR as a resource:
# NNN-name.bmp as bitmap NNN, NNN-name.ico as icon NNN.
file(GLOB files ${BITMAP_DIR}/*.bmp ${BITMAP_DIR}/*.ico)
list(SORT files)
set(arrays "")
set(entries "")
foreach(file IN LISTS files)
  get_filename_component(name ${file} NAME)
  if(NOT name MATCHES "^([0-9]+)-[a-z0-9-]+\\.(bmp|ico)$")
    message(FATAL_ERROR "${name}: a resource file is named <id>-<name>.bmp or .ico")
  endif()
  set(id ${CMAKE_MATCH_1})
  if(CMAKE_MATCH_2 STREQUAL "ico")
    set(type RT_ICON)
  else()
    set(type RT_BITMAP)
  endif()
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # Forty bytes a line keeps the generated file readable in a debugger.
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){40})" "\\1\n    " bytes "${bytes}")
  string(APPEND arrays "// ${name}\nconst unsigned char kResource${id}[${size}] = {\n    ${bytes}\n};\n\n")
  string(APPEND entries "    {${type}, ${id}, kResource${id}, ${size}},\n")
endforeach()

file(WRITE ${OUTPUT}.new "// Generated from resources/bitmaps by embed_bitmaps.cmake: do not edit.
#include <windows.h>

#include \"resources/bitmap_table.h\"

namespace {

${arrays}const MURMEL_RESOURCE kBitmapResources[] = {
${entries}};

}  // namespace

void RegisterBitmapResources() {
  RegisterResourceTable(kBitmapResources, sizeof(kBitmapResources) / sizeof(kBitmapResources[0]));
}
")
# Only a changed table rebuilds the library.
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
