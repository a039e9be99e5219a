// The program icon, 32x32 and 16x16: a receiver with its display and tuning
// knob. A light outline keeps it readable on dark panels, the dark body on
// light ones.
#pragma once

// Pixel rows, laid out as the image is.
// clang-format off

namespace qlr::icon {

inline const char* const Icon32[] = {
    "32 32 13 1",
    "  c None",
    "A c #9A6A1A",
    "G c #2FA872",
    "K c #6E7884",
    "a c #F5A623",
    "b c #262C34",
    "d c #0B3A2C",
    "g c #63F5A6",
    "h c #48525F",
    "k c #BAC2CC",
    "o c #E6EAEE",
    "s c #151A20",
    "w c #FFFFFF",
    "                                ",
    "                            aa  ",
    "                            aa  ",
    "                           Kk   ",
    "                          Kk    ",
    "                          k     ",
    "                         Kk     ",
    "                        Kk      ",
    "  oooooooooooooooooooooooooooo  ",
    " ohhhhhhhhhhhhhhhhhhhhhhhhhhhho ",
    " obbbbbbbbbbbbbbbbbbbbbbbbbbbbo ",
    " obbsssssssssssssssbbbbbbbbbbbo ",
    " obbsddgdddddddgddsbbbbbbbbbbbo ",
    " obbsdgGgdddddgGgdsbbbbKKKKbbbo ",
    " obbsdGdGdddddGdGdsbbKKkwwkKKbo ",
    " obbsgdddgdddgdddgsbbKkkwwkkKbo ",
    " obbsGdddGdddGdddGsbKkkkkkkkkKo ",
    " obbsdddddgdgdddddsbKkkkkkkkkKo ",
    " obbsdddddGgGdddddsbKkkkkkkkkKo ",
    " obbsssssssssssssssbKkkkkkkkkKo ",
    " obbbbbbbbbbbbbbbbbbbKkkkkkkKbo ",
    " obbbbbbbbbbbbbbbbbbbKKkkkkKKbo ",
    " obbaaaabKKKKbKKKKbbbbbKKKKbbbo ",
    " obbaaaabKKKKbKKKKbbbbbbbbbbbbo ",
    " obbAAAAbssssbssssbbbbbbbbbbbbo ",
    " obbbbbbbbbbbbbbbbbbbbbbbbbbbbo ",
    " osssssssssssssssssssssssssssso ",
    "  oooooooooooooooooooooooooooo  ",
    "                                ",
    "                                ",
    "                                ",
    "                                "
};

inline const char* const Icon16[] = {
    "16 16 10 1",
    "  c None",
    "K c #6E7884",
    "a c #F5A623",
    "b c #262C34",
    "d c #0B3A2C",
    "g c #63F5A6",
    "k c #BAC2CC",
    "o c #E6EAEE",
    "s c #151A20",
    "w c #FFFFFF",
    "              aa",
    "              Ka",
    "             K  ",
    "            K   ",
    " oooooooooooooo ",
    "obbbbbbbbbbbbbbo",
    "obdddddddbbKKbbo",
    "obdggddddbKwkKbo",
    "obgddgddgKkkkkKo",
    "obddddggdKkkkkKo",
    "obdddddddbKkkKbo",
    "obbbbbbbbbbKKbbo",
    "obaabKKbbbbbbbbo",
    "osssssssssssssso",
    " oooooooooooooo ",
    "                "
};

}  // namespace qlr::icon
