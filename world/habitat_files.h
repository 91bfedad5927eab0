// Habitat files: binary PPM pictures of the display habitat. The operations
// on a world (Biotope::SaveHabitat, LoadHabitat, HabitatRGBtoHSL and the
// inspection tools DrawHabitat, DrawInfo, ReInitCommunity and the seeded
// ClearHabitat) are members of Biotope, defined in habitat_files.cpp; this
// header holds what goes with them.
#pragma once

// Row orders of a habitat file, the topDown argument of SaveHabitat and
// LoadHabitat. Habitat row 0 is the bottom row of the screen.
// The file starts with the screen's top row: the picture as the screen shows it.
inline constexpr bool kTopRowFirst = false;
// The file starts with the screen's bottom row, habitat row 0.
inline constexpr bool kBottomRowFirst = true;
