// The client's menu 103: the OPTION and HELP pop-ups of the main window.
#pragma once

void RegisterMenuResources();
