// The client's string table.
#pragma once

void RegisterStringResources();
