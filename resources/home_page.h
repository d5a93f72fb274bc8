// The product's web site, a build option: the help menu and the About box point there.
#pragma once

// Without a trailing slash, e.g. u"http://localhost:8110".
extern const char16_t HOME_PAGE_URL[];
