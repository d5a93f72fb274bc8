# Writes OUTPUT, a C++ source that holds every page file of SITE_DIR as text, so that the
# server serves its help site without an install folder.
file(GLOB files ${SITE_DIR}/*.html)
list(SORT files)
set(literals "")
set(entries "")
set(index 0)
foreach(file IN LISTS files)
  get_filename_component(name ${file} NAME)
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  # Every byte escaped: no page text can end the literal or form a trigraph.
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" bytes "${hex}")
  string(REGEX REPLACE "((\\\\x[0-9a-f][0-9a-f]){32})" "\\1\"\n    \"" bytes "${bytes}")
  string(APPEND literals "// ${name}\nconstexpr char kFile${index}[] =\n    \"${bytes}\";\n\n")
  string(APPEND entries "      {\"${name}\", {kFile${index}, ${size}}},\n")
  math(EXPR index "${index} + 1")
endforeach()

file(WRITE ${OUTPUT}.new "// Generated from server/help_site by embed_help_site.cmake: do not edit.
#include \"server/help_site.h\"

namespace murmel::server {
namespace {

${literals}}  // namespace

std::span<const HelpSiteFile> HelpSiteFiles() {
  static constexpr HelpSiteFile kFiles[] = {
${entries}  };
  return kFiles;
}

}  // namespace murmel::server
")
# Only a changed page rebuilds the library.
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
