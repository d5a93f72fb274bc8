#include "server/help_site.h"

#include <algorithm>

namespace murmel::server {
namespace {

struct Route {
  std::string_view path;
  std::string_view file;
  std::string_view heading;  // also the start of the window title
};

// The paths are the ones the client builds from its home-page address.
constexpr Route kRoutes[] = {
    {"/", "home.html", "Murmelpost voice e-mail"},
    {"/help/", "help.html", "Murmelpost Help"},
    {"/help/helpquick/", "helpquick.html", "Murmelpost Quick Tutorial"},
    {"/alpha/ce.html", "ce.html", "Murmelpost for CE Tutorial"},
    {"/help/help1/", "help1.html", "Trouble Recording"},
    {"/help/help2/", "help2.html", "Trouble Playing Back Before Sending"},
    {"/help/help3/", "help3.html", "Trouble Sending"},
    {"/help/help4/", "help4.html", "Trouble Address Book"},
};

void ReplaceFirst(std::string& text, std::string_view from, std::string_view to) {
  if (const auto at = text.find(from); at != std::string::npos) {
    text.replace(at, from.size(), to);
  }
}

std::string Render(std::string_view path, std::string_view heading, std::string_view content) {
  std::string page(HelpSiteFileText("layout.html"));
  std::string title(heading);
  if (path != "/") title += " - Murmelpost";
  ReplaceFirst(page, "{{title}}", title);
  // Screen readers announce the page's own entry in the navigation as the current one.
  if (!path.empty()) {
    const std::string link = "href=\"" + std::string(path) + "\"";
    ReplaceFirst(page, link + ">", link + " aria-current=\"page\">");
  }
  ReplaceFirst(page, "{{heading}}", heading);
  // Last, so that nothing in a page's text is taken for a placeholder.
  ReplaceFirst(page, "{{content}}", content);
  return page;
}

}  // namespace

std::string_view HelpSiteFileText(std::string_view name) {
  const auto files = HelpSiteFiles();
  const auto found = std::find_if(files.begin(), files.end(),
                                  [&](const HelpSiteFile& file) { return file.name == name; });
  return found == files.end() ? std::string_view() : found->text;
}

std::string RenderSitePage(std::string_view heading, std::string_view content) {
  return Render("", heading, content);
}

HelpSite::HelpSite() {
  for (const Route& route : kRoutes) {
    pages_.emplace(route.path, Render(route.path, route.heading, HelpSiteFileText(route.file)));
  }
  notFound_ = RenderSitePage("Page not found", HelpSiteFileText("not-found.html"));
}

const std::string* HelpSite::Page(std::string_view path) const {
  const auto found = pages_.find(path);
  return found == pages_.end() ? nullptr : &found->second;
}

std::string HtmlEscape(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '&':
        escaped += "&amp;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped.push_back(c);
    }
  }
  return escaped;
}

}  // namespace murmel::server
