// The client's dialog templates: About (106), User Profile (107), Manage Address Book (108).
#pragma once

// Registers the three templates as dialog resources; call once before the first dialog.
void RegisterDialogResources();
