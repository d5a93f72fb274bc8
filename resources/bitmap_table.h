// The client's bitmaps and icon, compiled in from resources/bitmaps.
#pragma once

void RegisterBitmapResources();
