#pragma once
// The remembered window placement's values in the registry under HKEY_CURRENT_USER.
#include "app/placement.h"

// Whatever of the five values is present and of its type; the rest stays empty.
PlacementValues readPlacementValues(const std::wstring& keyPath = PlacementKey);
void writePlacementValues(const PlacementValues& values, const std::wstring& keyPath = PlacementKey);
