// Everything the client loads by id: strings, bitmaps, icon, menu and dialog templates.
#pragma once

// Registers the client's resources with the platform; call once before the first Load*.
void RegisterClientResources();
