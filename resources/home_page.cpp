#include "resources/home_page.h"

#ifndef MURMELPOST_HOME_URL
#error "MURMELPOST_HOME_URL must be defined by the build"
#endif

const char16_t HOME_PAGE_URL[] = u"" MURMELPOST_HOME_URL;
