// The help and home pages that the client's Help menu opens, built into the server from
// server/help_site: one shared frame around each page's own text.
#pragma once

#include <map>
#include <span>
#include <string>
#include <string_view>

namespace murmel::server {

struct HelpSiteFile {
  std::string_view name;  // file name under server/help_site
  std::string_view text;
};

// Generated at build time from server/help_site/*.html.
std::span<const HelpSiteFile> HelpSiteFiles();

// The text of one file under server/help_site, empty when there is none.
std::string_view HelpSiteFileText(std::string_view name);
// Text safe inside an element or a quoted attribute.
std::string HtmlEscape(std::string_view text);
// A page outside the help navigation in the site's frame; content is HTML.
std::string RenderSitePage(std::string_view heading, std::string_view content);

class HelpSite {
 public:
  HelpSite();

  // The whole page at an exact path, or null: the client asks for exactly these paths.
  const std::string* Page(std::string_view path) const;
  const std::string& NotFound() const { return notFound_; }

 private:
  std::map<std::string, std::string, std::less<>> pages_;
  std::string notFound_;
};

}  // namespace murmel::server
